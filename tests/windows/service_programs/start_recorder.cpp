// The service suite's start command: leaves "<own path>.ran", then stays as a server does.
#include <windows.h>

#include <cstdio>

int main() {
    char path[MAX_PATH + 8];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 1;
    }
    std::snprintf(path + length, sizeof path - length, ".ran");
    HANDLE mark =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark == INVALID_HANDLE_VALUE) {
        return 1;
    }
    CloseHandle(mark);
    Sleep(INFINITE);
    return 0;
}
