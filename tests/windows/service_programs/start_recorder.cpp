// The start command of the Wine service suite: leaves "<own path>.ran" beside itself, so
// the suite sees that the service ran it, and then stays alive as a server would.
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
