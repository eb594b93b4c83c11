// Small helpers of the Win32 tests, built against the stand-in and against Windows alike:
// nothing beyond the Windows API and the standard library.
#ifndef TESTS_UNIT_STAND_INS_WIN32_PORTABLE_WIN32_HELPERS_H
#define TESTS_UNIT_STAND_INS_WIN32_PORTABLE_WIN32_HELPERS_H

#include <windows.h>

#include <string>
#include <vector>

namespace win32test {

inline std::vector<BYTE> bytesOf(const std::string& text) {
    return std::vector<BYTE>(text.begin(), text.end());
}

// A string's bytes with its terminating zero, as REG_SZ data is normally written.
inline std::vector<BYTE> terminated(const std::string& text) {
    std::vector<BYTE> bytes = bytesOf(text);
    bytes.push_back(0);
    return bytes;
}

// The names of a key's values (or, with `subkeys`, of its subkeys) in enumeration order.
inline std::vector<std::string> namesIn(HKEY key, bool subkeys = false) {
    std::vector<std::string> names;
    char name[256];
    DWORD size = sizeof name;
    while ((subkeys ? RegEnumKeyExA(key, DWORD(names.size()), name, &size, nullptr, nullptr,
                                    nullptr, nullptr)
                    : RegEnumValueA(key, DWORD(names.size()), name, &size, nullptr, nullptr,
                                    nullptr, nullptr)) == ERROR_SUCCESS) {
        names.emplace_back(name, size);
        size = sizeof name;
    }
    return names;
}

inline HANDLE openFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

}  // namespace win32test

#endif  // TESTS_UNIT_STAND_INS_WIN32_PORTABLE_WIN32_HELPERS_H
