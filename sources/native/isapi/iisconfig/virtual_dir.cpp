#include "native/isapi/iisconfig/virtual_dir.h"

#include "native/common/basics/ascii_text.h"
#include "native/isapi/isapi_platform.h"
#include "native/isapi/log/native_log.h"

namespace brevant::isapi::iisconfig {

bool holdsModule(const std::string& physicalPath, const std::string& dllPath) {
    if (physicalPath.size() > dllPath.size()) {
        return false;
    }
    for (std::string::size_type i = 0; i < physicalPath.size(); ++i) {
        if (ascii::toLower(physicalPath[i]) != ascii::toLower(dllPath[i])) {
            return false;
        }
    }
    return true;
}

std::string moduleURL(const std::string& alias) {
    return alias + "/" + kModuleFileName;
}

void reportMissingExecutePermission() {
    logMessage("ERROR - the virtual directory for the directory where the", true);
    logMessage("DLL is located needs execute permission.", true);
}

}  // namespace brevant::isapi::iisconfig
