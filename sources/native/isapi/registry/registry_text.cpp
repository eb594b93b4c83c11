#include "native/isapi/registry/registry_text.h"

#include <vector>

namespace brevant::isapi {

RegistryKey::~RegistryKey() {
    if (key_ != nullptr) {
        RegCloseKey(key_);
    }
}

bool RegistryKey::open(const std::string& path) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return false;
    }
    key_ = opened;
    return true;
}

RegistryTextResult readRegistryText(HKEY key, const char* name, std::string* text) {
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return RegistryTextResult::kNoSize;
    }
    // One zero byte more than the value: it ends the text when the value itself holds none.
    std::vector<BYTE> value(static_cast<size_t>(size) + 1, 0);
    DWORD read = size;
    if (RegQueryValueExA(key, name, nullptr, nullptr, value.data(), &read) != ERROR_SUCCESS) {
        return RegistryTextResult::kNotRead;
    }
    *text = reinterpret_cast<const char*>(value.data());
    return RegistryTextResult::kRead;
}

}  // namespace brevant::isapi
