#include "stand-ins/win32/src/metabase/property_records.h"

#include <cstring>

namespace standin::metabase {

namespace {

char16_t unitAt(const BYTE* data, size_t index) {
    char16_t unit;
    std::memcpy(&unit, data + index * sizeof unit, sizeof unit);
    return unit;
}

// The number of UTF-16 units that the text of `dataType` at `data` takes up to and
// including its final zero, looking at no more than `available` units; 0 when it does not
// end within them.
size_t textUnits(DWORD dataType, const BYTE* data, size_t available) {
    if (dataType != MULTISZ_METADATA) {
        for (size_t i = 0; i < available; ++i) {
            if (unitAt(data, i) == 0) {
                return i + 1;
            }
        }
        return 0;
    }
    // Strings follow one another until an empty one ends the list.
    size_t start = 0;
    for (size_t i = 0; i < available; ++i) {
        if (unitAt(data, i) != 0) {
            continue;
        }
        if (i == start) {
            return i + 1;
        }
        start = i + 1;
    }
    return 0;
}

bool isText(DWORD dataType) {
    return dataType == STRING_METADATA || dataType == EXPANDSZ_METADATA ||
           dataType == MULTISZ_METADATA;
}

}  // namespace

bool isDataType(DWORD dataType) {
    return dataType > ALL_METADATA && dataType < INVALID_END_METADATA;
}

DWORD storedAttributes(DWORD attributes) {
    return attributes & ~DWORD(METADATA_PARTIAL_PATH | METADATA_ISINHERITED);
}

HRESULT propertyFromRecord(const METADATA_RECORD& record, Property* out) {
    if (!isDataType(record.dwMDDataType) ||
        (record.pbMDData == nullptr && record.dwMDDataLen > 0)) {
        return E_INVALIDARG;
    }
    size_t size = record.dwMDDataLen;
    if (record.dwMDDataType == DWORD_METADATA) {
        if (size < sizeof(DWORD)) {
            return E_INVALIDARG;
        }
        size = sizeof(DWORD);
    } else if (isText(record.dwMDDataType)) {
        size_t units = textUnits(record.dwMDDataType, record.pbMDData,
                                 record.pbMDData == nullptr ? 0 : size / sizeof(char16_t));
        if (units == 0) {
            return E_INVALIDARG;
        }
        size = units * sizeof(char16_t);
    }
    out->identifier = record.dwMDIdentifier;
    out->attributes = storedAttributes(record.dwMDAttributes);
    out->userType = record.dwMDUserType;
    out->dataType = record.dwMDDataType;
    out->data.clear();
    if (size > 0) {
        out->data.assign(record.pbMDData, record.pbMDData + size);
    }
    return S_OK;
}

bool matchesTypes(const Property& property, DWORD userType, DWORD dataType) {
    return (userType == ALL_METADATA || userType == property.userType) &&
           (dataType == ALL_METADATA || dataType == property.dataType);
}

HRESULT copyToRecord(const Property& property, bool inherited, METADATA_RECORD* record,
                     DWORD* required) {
    DWORD size = DWORD(property.data.size());
    if (size > record->dwMDDataLen) {
        *required = size;
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    if (size > 0) {
        std::memcpy(record->pbMDData, property.data.data(), size);
    }
    record->dwMDIdentifier = property.identifier;
    record->dwMDAttributes = property.attributes | (inherited ? METADATA_ISINHERITED : 0);
    record->dwMDUserType = property.userType;
    record->dwMDDataType = property.dataType;
    record->dwMDDataLen = size;
    record->dwMDDataTag = 0;
    return S_OK;
}

}  // namespace standin::metabase
