#include "stand-ins/win32/src/metabase/property_lookup.h"

#include <algorithm>

#include "stand-ins/win32/src/metabase/property_records.h"

namespace standin::metabase {

HRESULT visibleProperties(const MetabaseKey& root, const KeyPath& path, const PropertyQuery& query,
                          std::vector<VisibleProperty>* out) {
    std::vector<const MetabaseKey*> chain = existingChain(root, path);
    bool complete = chain.size() == path.size() + 1;
    bool inherit = (query.attributes & METADATA_INHERIT) != 0;
    if (!complete && !(inherit && (query.attributes & METADATA_PARTIAL_PATH) != 0)) {
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    }
    std::vector<DWORD> seen;
    for (size_t depth = chain.size(); depth-- > 0;) {
        bool own = complete && depth == chain.size() - 1;
        if (!own && !inherit) {
            break;
        }
        for (const Property& property : chain[depth]->entries()) {
            if (!matchesTypes(property, query.userType, query.dataType) ||
                (!own && (property.attributes & METADATA_INHERIT) == 0) ||
                std::find(seen.begin(), seen.end(), property.identifier) != seen.end()) {
                continue;
            }
            seen.push_back(property.identifier);
            out->push_back({&property, !own});
        }
    }
    return S_OK;
}

HRESULT findVisibleProperty(const MetabaseKey& root, const KeyPath& path, DWORD identifier,
                            const PropertyQuery& query, VisibleProperty* out) {
    std::vector<VisibleProperty> visible;
    HRESULT result = visibleProperties(root, path, query, &visible);
    if (FAILED(result)) {
        return result;
    }
    for (const VisibleProperty& candidate : visible) {
        if (candidate.property->identifier == identifier) {
            *out = candidate;
            return S_OK;
        }
    }
    return HRESULT(MD_ERROR_DATA_NOT_FOUND);
}

}  // namespace standin::metabase
