// OutputDebugStringA: the debugger output of Windows, as a file.
//
// Each call is one append (a single write to a descriptor opened with O_APPEND), so the
// texts of concurrent callers and processes never mix within a call. Which file is read
// from STANDIN_DEBUG_OUTPUT at every call, so that a test can redirect it; stderr when the
// variable is unset or empty.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "stand-ins/win32/src/internal.h"

namespace {

std::mutex outputMutex;
std::string openPath;  // guarded by outputMutex
int openFd = -1;       // guarded by outputMutex

void writeWhole(int fd, const char* text, size_t length) {
    while (length > 0) {
        ssize_t written = write(fd, text, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;  // nobody to tell: the debugger output is the last resort
        }
        text += written;
        length -= static_cast<size_t>(written);
    }
}

}  // namespace

extern "C" {

void WINAPI OutputDebugStringA(LPCSTR text) {
    if (text == nullptr) {
        return;
    }
    // WinSock's error is errno here: writing debugger output must not change it.
    int savedErrno = errno;
    size_t length = std::strlen(text);
    const char* path = std::getenv("STANDIN_DEBUG_OUTPUT");
    std::lock_guard<std::mutex> lock(outputMutex);
    if (path == nullptr || path[0] == '\0') {
        writeWhole(STDERR_FILENO, text, length);
        errno = savedErrno;
        return;
    }
    if (openFd < 0 || openPath != path) {
        if (openFd >= 0) {
            close(openFd);
        }
        openPath = path;
        openFd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    }
    writeWhole(openFd >= 0 ? openFd : STDERR_FILENO, text, length);
    errno = savedErrno;
}

}  // extern "C"
