// Small helpers of the Win32 tests, built against the stand-in and against Windows alike:
// nothing beyond the Windows API and the standard library.
#ifndef TESTS_UNIT_STAND_INS_WIN32_PORTABLE_WIN32_HELPERS_H
#define TESTS_UNIT_STAND_INS_WIN32_PORTABLE_WIN32_HELPERS_H

#include <windows.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace win32test {

inline std::vector<BYTE> bytesOf(const std::string& text) {
    return std::vector<BYTE>(text.begin(), text.end());
}

// A string's bytes with its terminating zero, as REG_SZ data is normally written.
inline std::vector<BYTE> terminated(const std::string& text) {
    return bytesOf(std::string(text) + '\0');
}

// The key, created with all rights where missing; nullptr (and the error) when that fails.
inline HKEY createKey(HKEY parent, const std::string& path, LONG* error = nullptr,
                      DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, disposition);
    if (error != nullptr) {
        *error = status;
    }
    return key;
}

inline LONG setValue(HKEY key, const char* name, DWORD type, const std::vector<BYTE>& data) {
    return RegSetValueExA(key, name, 0, type, data.data(), DWORD(data.size()));
}

// The value's bytes; nothing when it cannot be read.
inline std::optional<std::vector<BYTE>> queryValue(HKEY key, const char* name,
                                                   DWORD* type = nullptr) {
    std::vector<BYTE> data(4096);
    DWORD size = DWORD(data.size());
    if (RegQueryValueExA(key, name, nullptr, type, data.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    data.resize(size);
    return data;
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

// Runs body(t) for t = 0 .. threads - 1, each on a thread of its own, and waits for them.
template <typename Body>
void onThreads(int threads, Body body) {
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t) {
        running.emplace_back(body, t);
    }
    for (std::thread& thread : running) {
        thread.join();
    }
}

// The module's file name with its full path; the program's for nullptr.
inline std::string moduleFileName(HMODULE module) {
    char path[1024];
    return std::string(path, GetModuleFileNameA(module, path, sizeof path));
}

inline std::string folderOf(const std::string& path) {
    return path.substr(0, path.find_last_of("/\\") + 1);
}

inline HANDLE openFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

}  // namespace win32test

#endif  // TESTS_UNIT_STAND_INS_WIN32_PORTABLE_WIN32_HELPERS_H
