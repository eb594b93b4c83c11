// The in-memory form of the metabase: a key tree (key_tree.h) whose keys hold properties.
//
// Key names are UTF-8. Children and properties stay in creation order, the order in which
// the metabase enumerates them. Not thread-safe: MetabaseStore owns the tree and serialises
// all access to it.
#ifndef STANDIN_WIN32_METABASE_METABASE_TREE_H
#define STANDIN_WIN32_METABASE_METABASE_TREE_H

#include <windows.h>

#include <utility>
#include <vector>

#include "stand-ins/win32/src/key_tree.h"

namespace standin::metabase {

// How deep keys may be made. Far beyond what IIS configurations use, and it keeps the
// recursive walks over the tree (writing it, freeing it) to a small stack.
inline constexpr size_t kMaxKeyDepth = 128;

// One property as SetData stores it. `data` always has the form its type demands (see
// property_records.h), whoever made it.
struct Property {
    DWORD identifier = 0;
    DWORD attributes = 0;
    DWORD userType = 0;
    DWORD dataType = 0;
    std::vector<BYTE> data;
};

struct MetabaseProperties {
    using Entry = Property;
    using EntryId = DWORD;
    static constexpr ChildOrder kChildOrder = ChildOrder::kCreation;

    static EntryId idOf(const Entry& property) { return property.identifier; }
    static bool matches(const Entry& property, EntryId identifier) {
        return property.identifier == identifier;
    }
    static void replace(Entry& existing, Entry given) { existing = std::move(given); }
};

using MetabaseKey = TreeKey<MetabaseProperties>;

}  // namespace standin::metabase

#endif  // STANDIN_WIN32_METABASE_METABASE_TREE_H
