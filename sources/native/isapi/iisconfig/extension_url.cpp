// getExtensionURL: the URL under which IIS runs the extension, found from the virtual
// directory that maps the module's own directory; the metabase is searched when there is
// one, else older IIS's virtual roots in the registry.
#include <string>

#include "native/isapi/log/native_log.h"
#include "native/isapi/iisconfig/server_settings.h"
#include "native/isapi/iisconfig/virtual_dir.h"

namespace brevant::isapi::iisconfig {

std::string getExtensionURL(const std::string& dllPath) {
    if (dllPath.empty()) {
        return kFallbackExtensionURL;  // nothing to look for
    }
    std::string url;
    bool metabaseAvailable = true;
    bool found = findMetabaseVirtualDir(dllPath, &url, &metabaseAvailable);
    if (!metabaseAvailable) {
        found = findRegistryVirtualRoot(dllPath, &url);
    }
    if (!found) {
        logMessage("ERROR - need to create a virtual directory with execute permission", true);
        logMessage("for the directory where the DLL is located.", true);
        return kFallbackExtensionURL;
    }
    return url;
}

}  // namespace brevant::isapi::iisconfig
