// The metabase's wide strings and the UTF-8 the stand-in keeps names in: conversion both
// ways, and the syntax of metabase paths. Stateless; any thread may call.
#ifndef STANDIN_WIN32_METABASE_WIDE_TEXT_H
#define STANDIN_WIN32_METABASE_WIDE_TEXT_H

#include <windows.h>

#include <string>
#include <string_view>

#include "stand-ins/win32/src/metabase/metabase_tree.h"

namespace standin::metabase {

// False when `text` holds a surrogate without its partner, which UTF-8 cannot express.
bool utf16ToUtf8(std::u16string_view text, std::string* out);

// False when `text` is not well-formed UTF-8.
bool utf8ToUtf16(std::string_view text, std::u16string* out);

// Appends the components of a metabase path. As in IIS, "/" and "\" both separate, and
// empty components (leading, doubled or trailing separators) do not count; NULL is the
// empty path. E_INVALIDARG for a path that no key name can match.
HRESULT appendPath(LPCWSTR path, KeyPath* out);

// Whether a key may have this name: one to METADATA_MAX_NAME_LEN - 1 UTF-16 units, so
// that EnumKeys can hand it out, and no control characters, which the file cannot hold.
bool isStorableName(std::string_view name);

}  // namespace standin::metabase

#endif  // STANDIN_WIN32_METABASE_WIDE_TEXT_H
