// findRegistryVirtualRoot: older IIS's virtual roots, one registry value each, searched for
// the one that maps the module's directory. A value is named "/alias,..." and holds
// "physical directory,...,access mask" with the mask's last digit last.
#include <windows.h>

#include <string>

#include "native/isapi/registry/registry_text.h"
#include "native/isapi/iisconfig/virtual_dir.h"

namespace brevant::isapi::iisconfig {

namespace {

constexpr char kVirtualRootsKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots";
constexpr DWORD kNameBufferSize = 256;
constexpr DWORD kNameSizeOffered = 255;
constexpr DWORD kDataSize = 512;
constexpr int kExecuteBit = 4;

std::string beforeFirstComma(const std::string& text) {
    return text.substr(0, text.find(','));
}

}  // namespace

bool findRegistryVirtualRoot(const std::string& dllPath, std::string* result) {
    RegistryKey roots;
    if (!roots.open(kVirtualRootsKey)) {
        return false;
    }
    for (DWORD index = 0;; ++index) {
        char name[kNameBufferSize] = {};
        DWORD nameSize = kNameSizeOffered;
        // One byte more than offered, so the data ends even when it holds no zero.
        BYTE data[kDataSize + 1];
        DWORD dataSize = kDataSize;
        if (RegEnumValueA(roots.get(), index, name, &nameSize, nullptr, nullptr, data, &dataSize) !=
            ERROR_SUCCESS) {
            return false;
        }
        data[dataSize] = 0;
        const std::string text(reinterpret_cast<const char*>(data));
        if (!holdsModule(beforeFirstComma(text), dllPath)) {
            continue;
        }
        result->append(moduleURL(beforeFirstComma(name)));
        int access = text.empty() ? 0 : text.back() - '0';
        if ((access & kExecuteBit) == 0) {
            reportMissingExecutePermission();
        }
        return true;
    }
}

}  // namespace brevant::isapi::iisconfig
