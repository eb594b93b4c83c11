// The WinSock names over BSD sockets.
#include <winsock2.h>

#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "stand-ins/win32/src/internal.h"

namespace {

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
            return WSAEINPROGRESS;
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
    return wsaErrorFromErrno(errno);
}

}  // extern "C"
