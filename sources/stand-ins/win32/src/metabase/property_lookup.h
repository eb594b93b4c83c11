// Which properties a read at a key sees, as GetData and EnumData find them: the key's own,
// and with METADATA_INHERIT those of its parents stored with METADATA_INHERIT, the
// nearest parent first, each identifier once. With METADATA_PARTIAL_PATH as well, a path
// that does not exist reads as its nearest existing parent, whose properties then count
// as inherited too. A property counts only when it has the user type and data type asked
// for (or ALL_METADATA). Stateless; any thread may call, under the store's lock.
#ifndef STANDIN_WIN32_METABASE_PROPERTY_LOOKUP_H
#define STANDIN_WIN32_METABASE_PROPERTY_LOOKUP_H

#include <iadmw.h>

#include <vector>

#include "stand-ins/win32/src/metabase/metabase_tree.h"

namespace standin::metabase {

// What a read asks for, beside the identifier or index.
struct PropertyQuery {
    DWORD attributes = 0;  // METADATA_INHERIT, METADATA_PARTIAL_PATH
    DWORD userType = ALL_METADATA;
    DWORD dataType = ALL_METADATA;
};

struct VisibleProperty {
    const Property* property = nullptr;
    bool inherited = false;
};

// All that the query sees at `path`, in enumeration order; or
// HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND).
HRESULT visibleProperties(const MetabaseKey& root, const KeyPath& path, const PropertyQuery& query,
                          std::vector<VisibleProperty>* out);

// The property of that identifier that the query sees; MD_ERROR_DATA_NOT_FOUND when it
// sees none, or HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND).
HRESULT findVisibleProperty(const MetabaseKey& root, const KeyPath& path, DWORD identifier,
                            const PropertyQuery& query, VisibleProperty* out);

}  // namespace standin::metabase

#endif  // STANDIN_WIN32_METABASE_PROPERTY_LOOKUP_H
