#include "registry_key.h"

namespace brevant::isapi::iisconfig {

RegistryKey::~RegistryKey() {
    if (key_ != nullptr) {
        RegCloseKey(key_);
    }
}

bool RegistryKey::open(const char* path) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return false;
    }
    key_ = opened;
    return true;
}

}  // namespace brevant::isapi::iisconfig
