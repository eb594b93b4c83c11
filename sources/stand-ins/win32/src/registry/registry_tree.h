// The in-memory form of HKEY_LOCAL_MACHINE: a tree of keys, each holding its values.
//
// Names compare as Windows compares them, by their upper-case form, and keep the spelling
// of whoever created them. Values stay in creation order; subkeys are held in the order
// Windows enumerates them. Not thread-safe: RegistryStore owns the tree and serialises all
// access to it.
#ifndef STANDIN_WIN32_REGISTRY_REGISTRY_TREE_H
#define STANDIN_WIN32_REGISTRY_REGISTRY_TREE_H

#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace standin::registry {

// The predefined root's name as REGEDIT4 files spell it.
inline constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";

// Only ASCII letters fold: the stand-in has no code page to fold anything else with.
inline unsigned char upperAscii(char c) {
    auto byte = static_cast<unsigned char>(c);
    return (byte >= 'a' && byte <= 'z') ? static_cast<unsigned char>(byte - 'a' + 'A') : byte;
}

inline int compareNames(std::string_view a, std::string_view b) {
    size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        unsigned char x = upperAscii(a[i]);
        unsigned char y = upperAscii(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

inline bool sameName(std::string_view a, std::string_view b) {
    return compareNames(a, b) == 0;
}

struct NameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return compareNames(a, b) < 0; }
};

struct RegistryValue {
    std::string name;  // "" is the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// Components of a key's path below the root, e.g. {"SOFTWARE", "Orlena"}.
using KeyPath = std::vector<std::string>;

class RegistryKey {
  public:
    using Subkeys = std::map<std::string, std::unique_ptr<RegistryKey>, NameLess>;

    explicit RegistryKey(std::string name) : name_(std::move(name)) {}

    const std::string& name() const { return name_; }

    const std::vector<RegistryValue>& values() const { return values_; }

    const RegistryValue* findValue(std::string_view name) const {
        for (const RegistryValue& value : values_) {
            if (sameName(value.name, name)) {
                return &value;
            }
        }
        return nullptr;
    }

    // An existing value keeps its spelling and its place in the enumeration order.
    void setValue(std::string_view name, DWORD type, std::vector<BYTE> data) {
        for (RegistryValue& value : values_) {
            if (sameName(value.name, name)) {
                value.type = type;
                value.data = std::move(data);
                return;
            }
        }
        values_.push_back({std::string(name), type, std::move(data)});
    }

    // In enumeration order.
    const Subkeys& subkeys() const { return subkeys_; }

    const RegistryKey* findSubkey(std::string_view name) const {
        auto found = subkeys_.find(name);
        return found == subkeys_.end() ? nullptr : found->second.get();
    }
    RegistryKey* findSubkey(std::string_view name) {
        auto found = subkeys_.find(name);
        return found == subkeys_.end() ? nullptr : found->second.get();
    }

    // The subkey of that name, created with this spelling when there is none.
    RegistryKey& addSubkey(std::string_view name, bool* created = nullptr) {
        auto found = subkeys_.find(name);
        if (created != nullptr) {
            *created = found == subkeys_.end();
        }
        if (found != subkeys_.end()) {
            return *found->second;
        }
        auto key = std::make_unique<RegistryKey>(std::string(name));
        RegistryKey& added = *key;
        subkeys_.emplace(std::string(name), std::move(key));
        return added;
    }

    void removeSubkey(std::string_view name) {
        auto found = subkeys_.find(name);
        if (found != subkeys_.end()) {
            subkeys_.erase(found);
        }
    }

  private:
    std::string name_;
    std::vector<RegistryValue> values_;
    Subkeys subkeys_;
};

// Key is RegistryKey or const RegistryKey.
template <typename Key>
Key* findKey(Key& root, const KeyPath& path) {
    Key* key = &root;
    for (const std::string& component : path) {
        key = key->findSubkey(component);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

// Creates what is missing of `path`; *created tells whether the last key is new.
inline RegistryKey& createKey(RegistryKey& root, const KeyPath& path, bool* created = nullptr) {
    RegistryKey* key = &root;
    bool last = false;
    for (const std::string& component : path) {
        key = &key->addSubkey(component, &last);
    }
    if (created != nullptr) {
        *created = last;
    }
    return *key;
}

}  // namespace standin::registry

#endif  // STANDIN_WIN32_REGISTRY_REGISTRY_TREE_H
