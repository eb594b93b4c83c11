// The words of the metabase file for the numbers of a property: identifiers (MD_VR_PATH),
// user types (FILE), attributes (INHERIT|SECURE) and data types (STRING). Each has a
// writer and a reader; readers take names without regard to case, and numbers, decimal or
// 0x hexadecimal, wherever a name is allowed. Stateless; any thread may call.
#ifndef STANDIN_WIN32_METABASE_PROPERTY_NAMES_H
#define STANDIN_WIN32_METABASE_PROPERTY_NAMES_H

#include <windows.h>

#include <string>
#include <string_view>

namespace standin::metabase {

// Decimal, or hexadecimal after "0x"; false for anything else or a value past 32 bits.
bool parseNumber(std::string_view text, DWORD* value);

// "MD_VR_PATH=3001" for an identifier that iiscnfg.h names, else "3001".
std::string formatIdentifier(DWORD identifier);
// "3001", "MD_VR_PATH" or "MD_VR_PATH=3001"; a name and a number that disagree are false.
bool parseIdentifier(std::string_view text, DWORD* identifier);

std::string formatUserType(DWORD userType);
bool parseUserType(std::string_view text, DWORD* userType);

// "NONE", or names joined by "|", with bits that have no name as one 0x number.
std::string formatAttributes(DWORD attributes);
bool parseAttributes(std::string_view text, DWORD* attributes);

// REQUIRES: isDataType(dataType).
const char* dataTypeName(DWORD dataType);
bool parseDataType(std::string_view text, DWORD* dataType);

}  // namespace standin::metabase

#endif  // STANDIN_WIN32_METABASE_PROPERTY_NAMES_H
