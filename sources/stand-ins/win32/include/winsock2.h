// WinSock names over BSD sockets, for the Linux build.
//
// Code written for WinSock keeps its names: SOCKET, INVALID_SOCKET, SOCKET_ERROR,
// closesocket and WSAGetLastError, which answers with the WSA error code of the calling
// thread's last socket failure. socket, connect, inet_addr, inet_ntoa and the byte-order
// conversions are the system's own. As on Windows, writing to a connection the peer has
// closed fails with an error instead of raising SIGPIPE: loading this library ignores
// SIGPIPE unless the program has installed a handler of its own.
//
// Time-outs are written the Windows way too, so that one code path serves both systems:
//   - ioctlsocket(s, FIONBIO, &on) switches a socket to non-blocking and back; a connect
//     on a non-blocking socket then fails with WSAEWOULDBLOCK while it is under way.
//   - WSAPoll over WSAPOLLFD (the system's struct pollfd) waits for POLLRDNORM /
//     POLLWRNORM, reports POLLERR / POLLHUP, and answers the count of ready entries, 0 on
//     time-out or SOCKET_ERROR.
//   - setsockopt / getsockopt, recv and send take WinSock's parameter types when called
//     with a SOCKET and char buffers: SO_RCVTIMEO and SO_SNDTIMEO are a DWORD of
//     milliseconds, SO_ERROR answers a WSA code, and a blocking receive or send that ran
//     out of time fails with WSAETIMEDOUT. Calls with POSIX types (an int descriptor and
//     void pointers, a struct timeval) reach the system's functions unchanged; an int
//     descriptor with char buffers is ambiguous and does not compile.
//   - WSAPOLLFD's fd is an int here and a SOCKET on Windows: assign it (entry.fd = s)
//     rather than brace-initialising, which would narrow.
// ws2tcpip.h adds name resolution and IPv6 addresses.
#ifndef STANDIN_WIN32_WINSOCK2_H
#define STANDIN_WIN32_WINSOCK2_H

#include <windows.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/types.h>  // u_long

typedef UINT_PTR SOCKET;

#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

// POLLRDNORM, POLLWRNORM, POLLERR and POLLHUP are the system's (poll.h): the values differ
// from Windows', the names do not.
typedef struct pollfd WSAPOLLFD, *PWSAPOLLFD, *LPWSAPOLLFD;

#define WSABASEERR 10000
#define WSAEINTR 10004L
#define WSAEBADF 10009L
#define WSAEACCES 10013L
#define WSAEFAULT 10014L
#define WSAEINVAL 10022L
#define WSAEMFILE 10024L
#define WSAEWOULDBLOCK 10035L
#define WSAEINPROGRESS 10036L
#define WSAEALREADY 10037L
#define WSAENOTSOCK 10038L
#define WSAEMSGSIZE 10040L
#define WSAEPROTONOSUPPORT 10043L
#define WSAEAFNOSUPPORT 10047L
#define WSAEADDRINUSE 10048L
#define WSAEADDRNOTAVAIL 10049L
#define WSAENETDOWN 10050L
#define WSAENETUNREACH 10051L
#define WSAECONNABORTED 10053L
#define WSAECONNRESET 10054L
#define WSAENOBUFS 10055L
#define WSAEISCONN 10056L
#define WSAENOTCONN 10057L
#define WSAESHUTDOWN 10058L
#define WSAETIMEDOUT 10060L
#define WSAECONNREFUSED 10061L
#define WSAEHOSTUNREACH 10065L
#define WSAHOST_NOT_FOUND 11001L

#ifdef __cplusplus
extern "C" {
#endif

STANDIN_API int WINAPI closesocket(SOCKET s);
STANDIN_API int WINAPI WSAGetLastError(void);

// FIONBIO only: *argp non-zero makes `s` non-blocking, zero blocking again. Any other
// command fails with WSAEINVAL.
STANDIN_API int WINAPI ioctlsocket(SOCKET s, long cmd, u_long* argp);

// Waits until one of `count` entries is ready or `timeoutMs` passed (negative: no limit).
// Returns the number of entries with revents set, 0 on time-out, SOCKET_ERROR on failure.
STANDIN_API int WINAPI WSAPoll(WSAPOLLFD* fds, ULONG count, INT timeoutMs);

#ifdef __cplusplus
}

// WinSock's signatures beside the system's. Overload resolution picks these for calls
// written the Windows way (a SOCKET, char buffers, int lengths).

// SO_RCVTIMEO and SO_SNDTIMEO take a DWORD of milliseconds (0: no limit); every other
// option reaches the system unchanged.
STANDIN_API int setsockopt(SOCKET s, int level, int name, const char* value, int length);
// SO_ERROR answers the pending WSA error code, SO_RCVTIMEO and SO_SNDTIMEO a DWORD of
// milliseconds; every other option comes from the system unchanged.
STANDIN_API int getsockopt(SOCKET s, int level, int name, char* value, int* length);
// As the system's, except that a blocking socket whose SO_RCVTIMEO / SO_SNDTIMEO ran out
// fails with WSAETIMEDOUT (a non-blocking one with nothing to do: WSAEWOULDBLOCK), and
// send never raises SIGPIPE.
STANDIN_API int recv(SOCKET s, char* buffer, int length, int flags);
STANDIN_API int send(SOCKET s, const char* buffer, int length, int flags);
#endif

#endif  // STANDIN_WIN32_WINSOCK2_H
