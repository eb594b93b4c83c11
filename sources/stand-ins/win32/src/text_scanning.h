// Character tests shared by the readers of the stand-in's text files, the REGEDIT4
// registry and the metabase, so that both read blanks and hexadecimal digits alike.
#ifndef STANDIN_WIN32_TEXT_SCANNING_H
#define STANDIN_WIN32_TEXT_SCANNING_H

namespace standin {

inline bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The digit's value, or -1 for a character that is not a hexadecimal digit.
inline int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace standin

#endif  // STANDIN_WIN32_TEXT_SCANNING_H
