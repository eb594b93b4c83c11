// The registry functions of the Win32 API. Each checks its arguments as Windows does and
// then works on RegistryStore, which holds the contents, through a handle from OpenKeys.
//
// Where Windows' answer was not worth copying, the stand-in is stricter than Windows, so
// that code which works on it also works there:
//   RegDeleteKeyA with a NULL or empty subkey, which deletes the handle's own key on
//   Windows, is ERROR_INVALID_PARAMETER.
//   RegSetValueExA with NULL data and a nonzero size is ERROR_INVALID_PARAMETER (Windows:
//   ERROR_NOACCESS, from touching the address).
//   Key and value names with control characters, which a REGEDIT4 line cannot hold, are
//   ERROR_INVALID_PARAMETER.
//   RegSetValueExA stores exactly the bytes it is given. Windows also adds the terminating
//   zero of a string when the byte just past the data happens to be zero, reading beyond
//   what the caller passed; the stand-in does not look there.
// And looser: REG_OPTION_VOLATILE keys are kept in the file like any other.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "stand-ins/win32/src/registry/api_conventions.h"
#include "stand-ins/win32/src/registry/open_keys.h"
#include "stand-ins/win32/src/registry/registry_store.h"
#include "stand-ins/win32/src/registry/registry_tree.h"

namespace {

using standin::createKey;
using standin::findKey;
using standin::KeyPath;
using standin::registry::appendSubKey;
using standin::registry::copyData;
using standin::registry::copyName;
using standin::registry::grantedAccess;
using standin::registry::guarded;
using standin::registry::injected;
using standin::registry::isStorableName;
using standin::registry::nameFits;
using standin::registry::OpenKey;
using standin::registry::OpenKeys;
using standin::registry::RegistryKey;
using standin::registry::RegistryStore;
using standin::registry::RegistryValue;
using standin::registry::resolve;

// The key a handle names (`base`) and the subkey below it that is to be opened or
// created (`opened`, with the access asked for), as RegOpenKeyExA and RegCreateKeyExA
// both begin.
LONG resolveSubKey(HKEY key, LPCSTR subKey, REGSAM desired, OpenKey* base, OpenKey* opened) {
    LONG status = resolve(key, 0, base);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    *opened = OpenKey{base->path, grantedAccess(desired)};
    return appendSubKey(subKey, &opened->path);
}

// Whether the subkey `opened` below `base` exists; ERROR_KEY_DELETED when `base` itself is gone.
LONG lookUpSubKey(const OpenKey& base, const OpenKey& opened, bool* exists) {
    return RegistryStore::instance().read([&](const RegistryKey& root, const FILETIME&) {
        if (findKey(root, base.path) == nullptr) {
            return LONG(ERROR_KEY_DELETED);
        }
        *exists = findKey(root, opened.path) != nullptr;
        return LONG(ERROR_SUCCESS);
    });
}

// Runs `use` on the key that handle `key` names, if the handle grants `access`; a key that
// another handle deleted meanwhile is ERROR_KEY_DELETED.
template <typename Use>
LONG readKey(HKEY key, REGSAM access, Use use) {
    OpenKey opened;
    LONG status = resolve(key, access, &opened);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return RegistryStore::instance().read([&](const RegistryKey& root, const FILETIME& lastWrite) {
        const RegistryKey* found = findKey(root, opened.path);
        return found != nullptr ? LONG(use(*found, lastWrite)) : LONG(ERROR_KEY_DELETED);
    });
}

// As readKey, for a change of the key.
template <typename Change>
LONG changeKey(HKEY key, REGSAM access, Change change) {
    OpenKey opened;
    LONG status = resolve(key, access, &opened);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return RegistryStore::instance().write([&](RegistryKey& root) {
        RegistryKey* found = findKey(root, opened.path);
        return found != nullptr ? LONG(change(*found)) : LONG(ERROR_KEY_DELETED);
    });
}

}  // namespace

extern "C" {

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM desired,
                          PHKEY result) {
    LONG failure;
    if (injected("RegOpenKeyExA", &failure)) {
        return failure;
    }
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    return guarded([&]() -> LONG {
        OpenKey base;
        OpenKey opened;
        LONG status = resolveSubKey(key, subKey, desired, &base, &opened);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        bool exists = false;
        status = lookUpSubKey(base, opened, &exists);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (!exists) {
            return LONG(ERROR_FILE_NOT_FOUND);
        }
        *result = OpenKeys::instance().add(std::move(opened));
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR /*keyClass*/,
                            DWORD /*options*/, REGSAM desired, LPSECURITY_ATTRIBUTES /*security*/,
                            PHKEY result, LPDWORD disposition) {
    LONG failure;
    if (injected("RegCreateKeyExA", &failure)) {
        return failure;
    }
    if (reserved != 0 || subKey == nullptr || result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    return guarded([&]() -> LONG {
        OpenKey base;
        OpenKey opened;
        LONG status = resolveSubKey(key, subKey, desired, &base, &opened);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (!std::all_of(opened.path.begin() + base.path.size(), opened.path.end(),
                         isStorableName)) {
            return ERROR_INVALID_PARAMETER;
        }
        bool exists = false;
        status = lookUpSubKey(base, opened, &exists);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        DWORD outcome = REG_OPENED_EXISTING_KEY;
        if (!exists) {
            // Opening an existing key asks nothing of the parent's handle; creating one does.
            if ((base.granted & KEY_CREATE_SUB_KEY) == 0) {
                return ERROR_ACCESS_DENIED;
            }
            status = RegistryStore::instance().write([&](RegistryKey& root) {
                if (findKey(root, base.path) == nullptr) {
                    return LONG(ERROR_KEY_DELETED);
                }
                bool created = false;
                createKey(root, opened.path, &created);
                // Another process may have created it since it was looked for.
                outcome = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
                return LONG(ERROR_SUCCESS);
            });
            if (status != ERROR_SUCCESS) {
                return status;
            }
        }
        *result = OpenKeys::instance().add(std::move(opened));
        if (disposition != nullptr) {
            *disposition = outcome;
        }
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize) {
    LONG failure;
    if (injected("RegQueryValueExA", &failure)) {
        return failure;
    }
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    return guarded([&]() -> LONG {
        return readKey(key, KEY_QUERY_VALUE, [&](const RegistryKey& found, const FILETIME&) {
            const RegistryValue* value = found.findEntry(valueName != nullptr ? valueName : "");
            if (value == nullptr) {
                return LONG(ERROR_FILE_NOT_FOUND);
            }
            if (type != nullptr) {
                *type = value->type;
            }
            return copyData(*value, data, dataSize);
        });
    });
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD /*reserved*/, DWORD type,
                           const BYTE* data, DWORD dataSize) {
    LONG failure;
    if (injected("RegSetValueExA", &failure)) {
        return failure;
    }
    std::string_view name = valueName != nullptr ? valueName : "";
    if ((data == nullptr && dataSize > 0) || !isStorableName(name)) {
        return ERROR_INVALID_PARAMETER;
    }
    return guarded([&]() -> LONG {
        std::vector<BYTE> bytes(data, data + dataSize);
        return changeKey(key, KEY_SET_VALUE, [&](RegistryKey& found) {
            found.setEntry({std::string(name), type, std::move(bytes)});
            return LONG(ERROR_SUCCESS);
        });
    });
}

LONG WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize,
                          LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    LONG failure;
    if (injected("RegEnumValueA", &failure)) {
        return failure;
    }
    if (valueName == nullptr || valueNameSize == nullptr || reserved != nullptr ||
        (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    return guarded([&]() -> LONG {
        return readKey(key, KEY_QUERY_VALUE, [&](const RegistryKey& found, const FILETIME&) {
            if (index >= found.entries().size()) {
                return LONG(ERROR_NO_MORE_ITEMS);
            }
            const RegistryValue& value = found.entries()[index];
            if (type != nullptr) {
                *type = value.type;
            }
            bool dataFits = data == nullptr || value.data.size() <= *dataSize;
            if (!nameFits(value.name, valueNameSize) || !dataFits) {
                if (dataSize != nullptr) {
                    *dataSize = DWORD(value.data.size());
                }
                return LONG(ERROR_MORE_DATA);
            }
            copyName(value.name, valueName, valueNameSize);
            return copyData(value, data, dataSize);
        });
    });
}

LONG WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                          LPSTR keyClass, LPDWORD classSize, PFILETIME lastWriteTime) {
    LONG failure;
    if (injected("RegEnumKeyExA", &failure)) {
        return failure;
    }
    if (name == nullptr || nameSize == nullptr || reserved != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return guarded([&]() -> LONG {
        return readKey(
            key, KEY_ENUMERATE_SUB_KEYS, [&](const RegistryKey& found, const FILETIME& lastWrite) {
                if (index >= found.children().size()) {
                    return LONG(ERROR_NO_MORE_ITEMS);
                }
                const std::string& subkeyName = found.children()[index]->name();
                // Keys have no class here: an empty one still needs room for its terminator.
                bool classFits = keyClass == nullptr || classSize == nullptr || *classSize > 0;
                if (!nameFits(subkeyName, nameSize) || !classFits) {
                    return LONG(ERROR_MORE_DATA);
                }
                copyName(subkeyName, name, nameSize);
                if (classSize != nullptr) {
                    if (keyClass != nullptr) {
                        keyClass[0] = '\0';
                    }
                    *classSize = 0;
                }
                if (lastWriteTime != nullptr) {
                    *lastWriteTime = lastWrite;
                }
                return LONG(ERROR_SUCCESS);
            });
    });
}

LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    LONG failure;
    if (injected("RegDeleteKeyA", &failure)) {
        return failure;
    }
    if (subKey == nullptr || *subKey == '\0') {
        return ERROR_INVALID_PARAMETER;
    }
    return guarded([&]() -> LONG {
        OpenKey base;
        LONG status = resolve(key, 0, &base);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        KeyPath path = base.path;
        status = appendSubKey(subKey, &path);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        return RegistryStore::instance().write([&](RegistryKey& root) {
            if (findKey(root, base.path) == nullptr) {
                return LONG(ERROR_KEY_DELETED);
            }
            RegistryKey* target = findKey(root, path);
            if (target == nullptr) {
                return LONG(ERROR_FILE_NOT_FOUND);
            }
            if (!target->children().empty()) {
                return LONG(ERROR_ACCESS_DENIED);  // Windows deletes only leaf keys
            }
            KeyPath parent(path.begin(), path.end() - 1);
            findKey(root, parent)->removeChild(path.back());
            return LONG(ERROR_SUCCESS);
        });
    });
}

LONG WINAPI RegCloseKey(HKEY key) {
    LONG failure;
    if (injected("RegCloseKey", &failure)) {
        return failure;
    }
    if (key == HKEY_LOCAL_MACHINE) {
        return ERROR_SUCCESS;  // closing a predefined key is allowed and changes nothing
    }
    return guarded([&]() -> LONG {
        return OpenKeys::instance().remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    });
}

}  // extern "C"
