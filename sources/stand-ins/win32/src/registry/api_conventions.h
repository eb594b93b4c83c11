// The conventions that the registry functions share: the syntax of subkey paths, handles
// and their access rights, the buffer protocols of the functions that hand out names and
// data, and no exception across the C API. Stateless; any thread may call.
#ifndef STANDIN_WIN32_REGISTRY_API_CONVENTIONS_H
#define STANDIN_WIN32_REGISTRY_API_CONVENTIONS_H

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "stand-ins/win32/src/internal.h"
#include "stand-ins/win32/src/registry/open_keys.h"
#include "stand-ins/win32/src/registry/registry_tree.h"

namespace standin::registry {

inline constexpr REGSAM kMaximumAllowed = 0x02000000;
inline constexpr REGSAM kWow64Views = 0x0100 | 0x0200;  // KEY_WOW64_64KEY, KEY_WOW64_32KEY

// Generic rights as Windows maps them for keys; the stand-in has a single registry view.
inline REGSAM grantedAccess(REGSAM desired) {
    REGSAM granted = desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL |
                                 kMaximumAllowed | kWow64Views);
    if (desired & GENERIC_READ) {
        granted |= KEY_READ;
    }
    if (desired & GENERIC_WRITE) {
        granted |= KEY_WRITE;
    }
    if (desired & GENERIC_EXECUTE) {
        granted |= KEY_EXECUTE;
    }
    if (desired & (GENERIC_ALL | kMaximumAllowed)) {
        granted |= KEY_ALL_ACCESS;
    }
    return granted;
}

// The key a handle designates, provided the handle grants `needed`. Of the predefined
// roots only HKEY_LOCAL_MACHINE exists here.
inline LONG resolve(HKEY handle, REGSAM needed, OpenKey* key) {
    if (handle == HKEY_LOCAL_MACHINE) {
        *key = OpenKey{{}, KEY_ALL_ACCESS};
    } else if (std::optional<OpenKey> found = OpenKeys::instance().find(handle)) {
        *key = std::move(*found);
    } else {
        return ERROR_INVALID_HANDLE;
    }
    return (key->granted & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Appends the components of a subkey argument. As on Windows, runs of backslashes and a
// trailing one do not count, but a leading one makes the path bad.
inline LONG appendSubKey(LPCSTR subKey, KeyPath* path) {
    if (subKey == nullptr) {
        return ERROR_SUCCESS;
    }
    std::string_view rest(subKey);
    if (!rest.empty() && rest.front() == '\\') {
        return ERROR_BAD_PATHNAME;
    }
    while (!rest.empty()) {
        size_t separator = rest.find('\\');
        if (separator != 0) {
            path->emplace_back(rest.substr(0, separator));
        }
        rest.remove_prefix(separator == std::string_view::npos ? rest.size() : separator + 1);
    }
    return ERROR_SUCCESS;
}

// Names end up inside REGEDIT4 lines, which control characters would break.
inline bool isStorableName(std::string_view name) {
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

inline bool isStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The name protocol of the enumerations: *size is the buffer's size with room for the
// terminator on the way in, the name's length without it on the way out.
inline bool nameFits(const std::string& name, const DWORD* size) {
    return name.size() < *size;
}

inline void copyName(const std::string& name, LPSTR buffer, LPDWORD size) {
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *size = DWORD(name.size());
}

// The data protocol of RegQueryValueExA and RegEnumValueA.
inline LONG copyData(const RegistryValue& value, LPBYTE data, LPDWORD dataSize) {
    DWORD size = DWORD(value.data.size());
    if (data == nullptr) {
        if (dataSize != nullptr) {
            *dataSize = size;
        }
        return ERROR_SUCCESS;
    }
    if (size > *dataSize) {
        *dataSize = size;
        return ERROR_MORE_DATA;
    }
    if (size > 0) {
        std::memcpy(data, value.data.data(), size);
    }
    // Like Windows, end a string stored without its zero when the buffer has room for
    // one, without counting it.
    if (isStringType(value.type) && size > 0 && size < *dataSize && data[size - 1] != 0) {
        data[size] = 0;
    }
    *dataSize = size;
    return ERROR_SUCCESS;
}

// No exception crosses the C API.
template <typename Body>
inline LONG guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_GEN_FAILURE;
    }
}

inline bool injected(const char* function, LONG* result) {
    DWORD error = ERROR_SUCCESS;
    if (!standin::injectedFailure(function, &error)) {
        return false;
    }
    *result = LONG(error);
    return true;
}

}  // namespace standin::registry

#endif  // STANDIN_WIN32_REGISTRY_API_CONVENTIONS_H
