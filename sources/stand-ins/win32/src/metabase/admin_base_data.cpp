// The methods of IMSAdminBase that store, read, list and remove properties.
//
// Not carried over from IIS: data with METADATA_SECURE is kept in the file as it is, not
// encrypted; METADATA_VOLATILE data is kept in the file like any other; GetData does not
// put the path in for METADATA_INSERT_PATH; METADATA_REFERENCE is not honoured.
#include <vector>

#include "stand-ins/win32/src/metabase/admin_base.h"
#include "stand-ins/win32/src/metabase/metabase_store.h"
#include "stand-ins/win32/src/metabase/property_lookup.h"
#include "stand-ins/win32/src/metabase/property_records.h"

namespace standin::metabase {

namespace {

// The parts of a GetData or EnumData request that must be there.
bool isAnswerable(const METADATA_RECORD* record, const DWORD* required) {
    return record != nullptr && required != nullptr &&
           (record->pbMDData != nullptr || record->dwMDDataLen == 0);
}

PropertyQuery queryOf(const METADATA_RECORD& record) {
    return {record.dwMDAttributes, record.dwMDUserType, record.dwMDDataType};
}

}  // namespace

HRESULT AdminBase::SetData(METADATA_HANDLE handle, LPCWSTR path, PMETADATA_RECORD record) {
    if (record == nullptr) {
        return E_INVALIDARG;
    }
    return atKey(handle, path, METADATA_PERMISSION_WRITE, [&](const KeyPath& key, size_t) {
        Property property;
        HRESULT result = propertyFromRecord(*record, &property);
        if (FAILED(result)) {
            return result;
        }
        return changeKey(key, [&](MetabaseKey& found) {
            found.setEntry(std::move(property));
            return S_OK;
        });
    });
}

HRESULT AdminBase::GetData(METADATA_HANDLE handle, LPCWSTR path, PMETADATA_RECORD record,
                           DWORD* required) {
    if (!isAnswerable(record, required)) {
        return E_INVALIDARG;
    }
    return atKey(handle, path, METADATA_PERMISSION_READ, [&](const KeyPath& key, size_t) {
        return MetabaseStore::instance().read([&](const MetabaseKey& root) {
            VisibleProperty found;
            HRESULT lookup =
                findVisibleProperty(root, key, record->dwMDIdentifier, queryOf(*record), &found);
            if (FAILED(lookup)) {
                return lookup;
            }
            return copyToRecord(*found.property, found.inherited, record, required);
        });
    });
}

HRESULT AdminBase::EnumData(METADATA_HANDLE handle, LPCWSTR path, PMETADATA_RECORD record,
                            DWORD index, DWORD* required) {
    if (!isAnswerable(record, required)) {
        return E_INVALIDARG;
    }
    return atKey(handle, path, METADATA_PERMISSION_READ, [&](const KeyPath& key, size_t) {
        return MetabaseStore::instance().read([&](const MetabaseKey& root) {
            std::vector<VisibleProperty> visible;
            HRESULT lookup = visibleProperties(root, key, queryOf(*record), &visible);
            if (FAILED(lookup)) {
                return lookup;
            }
            if (index >= visible.size()) {
                return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
            }
            return copyToRecord(*visible[index].property, visible[index].inherited, record,
                                required);
        });
    });
}

HRESULT AdminBase::DeleteData(METADATA_HANDLE handle, LPCWSTR path, DWORD identifier,
                              DWORD dataType) {
    return atKey(handle, path, METADATA_PERMISSION_WRITE, [&](const KeyPath& key, size_t) {
        return changeKey(key, [&](MetabaseKey& found) {
            const Property* property = found.findEntry(identifier);
            if (property == nullptr ||
                (dataType != ALL_METADATA && dataType != property->dataType)) {
                return HRESULT(MD_ERROR_DATA_NOT_FOUND);
            }
            found.removeEntry(identifier);
            return S_OK;
        });
    });
}

}  // namespace standin::metabase
