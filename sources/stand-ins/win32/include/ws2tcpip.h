// WinSock's TCP/IP additions (ws2tcpip.h), for the Linux build: name resolution and IPv6
// addresses. getaddrinfo, freeaddrinfo, gai_strerror, struct addrinfo, inet_pton,
// inet_ntop and struct sockaddr_in6 are the system's own, with Windows' names and
// parameters. A failed getaddrinfo answers an EAI_ code on both systems (the numbers
// differ): compare it by name or hand it to gai_strerror, not to WSAGetLastError.
#ifndef STANDIN_WIN32_WS2TCPIP_H
#define STANDIN_WIN32_WS2TCPIP_H

#include <winsock2.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#endif  // STANDIN_WIN32_WS2TCPIP_H
