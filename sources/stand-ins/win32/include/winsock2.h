// WinSock names over BSD sockets, for the Linux build.
//
// Code written for WinSock 1.1 keeps its names: SOCKET, INVALID_SOCKET, SOCKET_ERROR,
// closesocket and WSAGetLastError, which answers with the WSA error code of the calling
// thread's last socket failure. socket, connect, send, recv, inet_addr, inet_ntoa and the
// byte-order conversions are the system's own. As on Windows, writing to a connection the
// peer has closed fails with an error instead of raising SIGPIPE: loading this library
// ignores SIGPIPE unless the program has installed a handler of its own.
#ifndef STANDIN_WIN32_WINSOCK2_H
#define STANDIN_WIN32_WINSOCK2_H

#include <windows.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

typedef UINT_PTR SOCKET;

#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

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

#ifdef __cplusplus
extern "C" {
#endif

STANDIN_API int WINAPI closesocket(SOCKET s);
STANDIN_API int WINAPI WSAGetLastError(void);

#ifdef __cplusplus
}
#endif

#endif  // STANDIN_WIN32_WINSOCK2_H
