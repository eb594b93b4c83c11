// Letter case and hexadecimal digits as HTTP, the configuration files and the registry text
// define them: only A to Z change case, whatever the locale, so that other 8-bit characters
// from a file or a client stay as they came. Header-only, so that the stand-ins use the same
// definitions as the connectors. Pure; any thread.
#ifndef BREVANT_COMMON_ASCII_TEXT_H
#define BREVANT_COMMON_ASCII_TEXT_H

#include <string>
#include <string_view>

namespace brevant::ascii {

inline char toLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline char toUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = toLower(c);
    }
    return lower;
}

// Orders texts by their upper-case form, byte by byte as unsigned values, as Windows orders
// registry and metabase names: negative, zero or positive.
inline int compareIgnoringCase(std::string_view a, std::string_view b) {
    size_t common = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < common; ++i) {
        auto x = static_cast<unsigned char>(toUpper(a[i]));
        auto y = static_cast<unsigned char>(toUpper(b[i]));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

inline bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && compareIgnoringCase(a, b) == 0;
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

}  // namespace brevant::ascii

#endif  // BREVANT_COMMON_ASCII_TEXT_H
