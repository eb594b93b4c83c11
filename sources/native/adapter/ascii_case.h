// Letter case as the adapter compares it: only A to Z change, whatever the locale, so that
// other 8-bit characters from a file or a client stay as they came. Pure; any thread.
#ifndef BREVANT_ADAPTER_ASCII_CASE_H
#define BREVANT_ADAPTER_ASCII_CASE_H

namespace brevant::adapter {

inline char toLowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_ASCII_CASE_H
