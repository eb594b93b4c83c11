// The in-memory form of HKEY_LOCAL_MACHINE: a key tree (key_tree.h) whose keys hold values.
//
// Value names match without regard to case, as key names do; values stay in creation
// order, and subkeys are held in the order Windows enumerates them, by their upper-case
// form. Not thread-safe: RegistryStore owns the tree and serialises all access to it.
#ifndef STANDIN_WIN32_REGISTRY_REGISTRY_TREE_H
#define STANDIN_WIN32_REGISTRY_REGISTRY_TREE_H

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "stand-ins/win32/src/key_tree.h"

namespace standin::registry {

// The predefined root's name as REGEDIT4 files spell it.
inline constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";

struct RegistryValue {
    std::string name;  // "" is the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegistryValues {
    using Entry = RegistryValue;
    using EntryId = std::string_view;
    static constexpr ChildOrder kChildOrder = ChildOrder::kByName;

    static EntryId idOf(const Entry& value) { return value.name; }
    static bool matches(const Entry& value, EntryId name) {
        return equalIgnoringCase(value.name, name);
    }
    // A value set again keeps the spelling it was created with.
    static void replace(Entry& existing, Entry given) {
        existing.type = given.type;
        existing.data = std::move(given.data);
    }
};

using RegistryKey = TreeKey<RegistryValues>;

}  // namespace standin::registry

#endif  // STANDIN_WIN32_REGISTRY_REGISTRY_TREE_H
