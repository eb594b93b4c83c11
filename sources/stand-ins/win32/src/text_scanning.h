// Character tests shared by the readers of the stand-in's text files, the REGEDIT4
// registry and the metabase, so that both read blanks and hexadecimal digits alike.
#ifndef STANDIN_WIN32_TEXT_SCANNING_H
#define STANDIN_WIN32_TEXT_SCANNING_H

#include "native/common/basics/ascii_text.h"

namespace standin {

using brevant::ascii::hexDigitValue;

inline bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace standin

#endif  // STANDIN_WIN32_TEXT_SCANNING_H
