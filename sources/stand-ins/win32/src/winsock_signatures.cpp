// setsockopt, getsockopt, recv and send with WinSock's signatures: time-outs in DWORD
// milliseconds where Linux takes a struct timeval, WSA codes where Linux answers errno
// values, and WSAETIMEDOUT for a blocking call that ran out of time.
#include <winsock2.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "stand-ins/win32/src/internal.h"

namespace {

bool isTimeOutOption(int level, int name) {
    return level == SOL_SOCKET && (name == SO_RCVTIMEO || name == SO_SNDTIMEO);
}

int fail(int err) {
    errno = err;
    return SOCKET_ERROR;
}

// Linux reports an expired SO_RCVTIMEO / SO_SNDTIMEO as EAGAIN, as it does a non-blocking
// socket with nothing to do; WinSock tells the two apart.
void reportTimeOutOnBlockingSocket(int fd, int flags) {
    if ((errno != EAGAIN && errno != EWOULDBLOCK) || (flags & MSG_DONTWAIT) != 0) {
        return;
    }
    int saved = errno;
    int mode = fcntl(fd, F_GETFL);
    errno = mode >= 0 && (mode & O_NONBLOCK) == 0 ? ETIMEDOUT : saved;
}

}  // namespace

int setsockopt(SOCKET s, int level, int name, const char* value, int length) {
    int fd = static_cast<int>(s);
    if (length < 0 || (value == nullptr && length != 0)) {
        return fail(EFAULT);
    }
    if (!isTimeOutOption(level, name)) {
        return ::setsockopt(fd, level, name, static_cast<const void*>(value),
                            static_cast<socklen_t>(length))
                   ? SOCKET_ERROR
                   : 0;
    }
    DWORD milliseconds = 0;
    if (value == nullptr || length < static_cast<int>(sizeof milliseconds)) {
        return fail(EFAULT);
    }
    std::memcpy(&milliseconds, value, sizeof milliseconds);
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(milliseconds / 1000);
    limit.tv_usec = static_cast<suseconds_t>(milliseconds % 1000 * 1000);
    return ::setsockopt(fd, level, name, &limit, sizeof limit) ? SOCKET_ERROR : 0;
}

int getsockopt(SOCKET s, int level, int name, char* value, int* length) {
    int fd = static_cast<int>(s);
    if (length == nullptr || *length < 0 || (value == nullptr && *length != 0)) {
        return fail(EFAULT);
    }
    bool answersError = level == SOL_SOCKET && name == SO_ERROR;
    if (!answersError && !isTimeOutOption(level, name)) {
        socklen_t size = static_cast<socklen_t>(*length);
        if (::getsockopt(fd, level, name, static_cast<void*>(value), &size) != 0) {
            return SOCKET_ERROR;
        }
        *length = static_cast<int>(size);
        return 0;
    }
    DWORD answer = 0;
    if (*length < static_cast<int>(sizeof answer)) {
        return fail(EFAULT);
    }
    if (answersError) {
        int pending = 0;
        socklen_t size = sizeof pending;
        if (::getsockopt(fd, level, name, &pending, &size) != 0) {
            return SOCKET_ERROR;
        }
        answer = static_cast<DWORD>(standin::wsaErrorFromErrno(pending));
    } else {
        timeval limit{};
        socklen_t size = sizeof limit;
        if (::getsockopt(fd, level, name, &limit, &size) != 0) {
            return SOCKET_ERROR;
        }
        answer = static_cast<DWORD>(limit.tv_sec * 1000 + limit.tv_usec / 1000);
    }
    std::memcpy(value, &answer, sizeof answer);
    *length = sizeof answer;
    return 0;
}

int recv(SOCKET s, char* buffer, int length, int flags) {
    if (length < 0) {
        return fail(EFAULT);
    }
    int fd = static_cast<int>(s);
    ssize_t got = ::recv(fd, static_cast<void*>(buffer), static_cast<size_t>(length), flags);
    if (got < 0) {
        reportTimeOutOnBlockingSocket(fd, flags);
        return SOCKET_ERROR;
    }
    return static_cast<int>(got);
}

int send(SOCKET s, const char* buffer, int length, int flags) {
    if (length < 0) {
        return fail(EFAULT);
    }
    int fd = static_cast<int>(s);
    ssize_t sent = ::send(fd, static_cast<const void*>(buffer), static_cast<size_t>(length),
                          flags | MSG_NOSIGNAL);
    if (sent < 0) {
        reportTimeOutOnBlockingSocket(fd, flags);
        return SOCKET_ERROR;
    }
    return static_cast<int>(sent);
}
