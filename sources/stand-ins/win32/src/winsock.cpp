// The WinSock names over BSD sockets: error codes, closing, non-blocking mode, WSAPoll.
#include <winsock2.h>

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "stand-ins/win32/src/internal.h"

namespace standin {

int wsaErrorFromErrno(int err) {
    switch (err) {
        case 0:
            return 0;
        case EINTR:
            return WSAEINTR;
        case EBADF:
            return WSAEBADF;
        case EACCES:
        case EPERM:
            return WSAEACCES;
        case EFAULT:
            return WSAEFAULT;
        case EINVAL:
            return WSAEINVAL;
        case EMFILE:
        case ENFILE:
            return WSAEMFILE;
        case EWOULDBLOCK:
            return WSAEWOULDBLOCK;
        case EINPROGRESS:
            // A connect under way on a non-blocking socket. WinSock's WSAEINPROGRESS means
            // something else (a blocking call already running); Windows says WSAEWOULDBLOCK.
            return WSAEWOULDBLOCK;
        case EALREADY:
            return WSAEALREADY;
        case ENOTSOCK:
            return WSAENOTSOCK;
        case EMSGSIZE:
            return WSAEMSGSIZE;
        case EPROTONOSUPPORT:
            return WSAEPROTONOSUPPORT;
        case EAFNOSUPPORT:
            return WSAEAFNOSUPPORT;
        case EADDRINUSE:
            return WSAEADDRINUSE;
        case EADDRNOTAVAIL:
            return WSAEADDRNOTAVAIL;
        case ENETDOWN:
            return WSAENETDOWN;
        case ENETUNREACH:
            return WSAENETUNREACH;
        case ECONNABORTED:
            return WSAECONNABORTED;
        case ECONNRESET:
            return WSAECONNRESET;
        case ENOBUFS:
        case ENOMEM:
            return WSAENOBUFS;
        case EISCONN:
            return WSAEISCONN;
        case ENOTCONN:
            return WSAENOTCONN;
        case EPIPE:
        case ESHUTDOWN:
            return WSAESHUTDOWN;
        case ETIMEDOUT:
            return WSAETIMEDOUT;
        case ECONNREFUSED:
            return WSAECONNREFUSED;
        case EHOSTUNREACH:
        case EHOSTDOWN:
            return WSAEHOSTUNREACH;
        default:
            return WSAEINVAL;
    }
}

}  // namespace standin

namespace {

// Windows has no SIGPIPE: a send on a connection the peer closed fails with an error.
// Programs that installed a handler of their own keep it.
__attribute__((constructor)) void ignoreBrokenPipeSignal() {
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
        signal(SIGPIPE, SIG_IGN);
    }
}

}  // namespace

extern "C" {

int WINAPI closesocket(SOCKET s) {
    if (close(static_cast<int>(s)) != 0) {
        return SOCKET_ERROR;
    }
    return 0;
}

// The socket functions are the system's own and leave their failure in errno; WinSock
// keeps it per thread as well, so the translation of errno is the thread's last error.
int WINAPI WSAGetLastError(void) {
    return standin::wsaErrorFromErrno(errno);
}

int WINAPI ioctlsocket(SOCKET s, long cmd, u_long* argp) {
    if (cmd != static_cast<long>(FIONBIO)) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    if (argp == nullptr) {
        errno = EFAULT;
        return SOCKET_ERROR;
    }
    int nonBlocking = *argp != 0 ? 1 : 0;
    return ioctl(static_cast<int>(s), FIONBIO, &nonBlocking) == 0 ? 0 : SOCKET_ERROR;
}

int WINAPI WSAPoll(WSAPOLLFD* fds, ULONG count, INT timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int wait = timeoutMs;
    for (;;) {
        int ready = poll(fds, count, wait);
        if (ready >= 0) {
            return ready;
        }
        if (errno != EINTR) {
            return SOCKET_ERROR;
        }
        // WinSock does not stop for signals: wait out what is left of the time.
        if (timeoutMs > 0) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
    }
}

}  // extern "C"
