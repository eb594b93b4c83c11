// How properties cross the IMSAdminBase interface: the METADATA_RECORD a caller hands to
// SetData becomes a Property, and a Property goes back into the record and buffer of
// GetData and EnumData. Stateless; any thread may call.
//
// The form of the data is fixed by its type, and checked wherever data comes in:
//   DWORD_METADATA     4 bytes
//   STRING_METADATA,   UTF-16 text and one terminating zero
//   EXPANDSZ_METADATA
//   MULTISZ_METADATA   non-empty UTF-16 strings, each with its zero, and one more zero
//                      that ends the list (a lone zero is the empty list)
//   BINARY_METADATA    any bytes
#ifndef STANDIN_WIN32_METABASE_PROPERTY_RECORDS_H
#define STANDIN_WIN32_METABASE_PROPERTY_RECORDS_H

#include <iadmw.h>

#include <vector>

#include "stand-ins/win32/src/metabase/metabase_tree.h"

namespace standin::metabase {

bool isDataType(DWORD dataType);

// The attributes a property keeps of those it is given: not the bits that only have a
// meaning in requests and answers (METADATA_PARTIAL_PATH, METADATA_ISINHERITED).
DWORD storedAttributes(DWORD attributes);

// The property that SetData stores for `record`. Like IIS, takes strings up to their end
// rather than by dwMDDataLen, but never reads past dwMDDataLen bytes: text that does not
// end within them is E_INVALIDARG.
HRESULT propertyFromRecord(const METADATA_RECORD& record, Property* out);

// Whether `property` is one that a request for these types asks for; ALL_METADATA asks
// for any.
bool matchesTypes(const Property& property, DWORD userType, DWORD dataType);

// The answer protocol of GetData and EnumData: the property into the caller's record and
// buffer, its attributes with METADATA_ISINHERITED when it came from a parent; or, when
// the buffer is too small, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) with the size
// needed in *required.
HRESULT copyToRecord(const Property& property, bool inherited, METADATA_RECORD* record,
                     DWORD* required);

}  // namespace standin::metabase

#endif  // STANDIN_WIN32_METABASE_PROPERTY_RECORDS_H
