// WinSock's non-blocking connect, WSAPoll and millisecond time-outs over loopback sockets.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

class Sockets : public testing::Test {
  protected:
    ~Sockets() override {
        for (SOCKET s : open_)
            closesocket(s);
    }
    SOCKET open() { return open_.emplace_back(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)); }
    // A loopback port bound to a socket that does not listen (yet): connects are refused.
    sockaddr_in boundPort() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        SOCKET s = open();
        bind(s, reinterpret_cast<sockaddr*>(&address), size);
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
        return address;
    }
    // The client end of a loopback connection whose server end never writes.
    SOCKET quietConnection() {
        sockaddr_in address = boundPort();
        listen(open_.back(), 1);
        SOCKET client = open();
        EXPECT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return client;
    }
    static int millisecondsSince(std::chrono::steady_clock::time_point start) {
        auto spent = std::chrono::steady_clock::now() - start;
        return static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(spent).count());
    }
    std::vector<SOCKET> open_;
};

TEST_F(Sockets, NonBlockingConnectToAClosedPortEndsRefusedThroughWSAPoll) {
    SOCKET s = open();
    u_long on = 1;
    ASSERT_EQ(ioctlsocket(s, FIONBIO, &on), 0);
    sockaddr_in address = boundPort();
    int error =
        connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) ? WSAGetLastError() : 0;
    if (error == WSAEWOULDBLOCK) {
        WSAPOLLFD entry{};
        entry.fd = s;  // as on Windows, where fd is a SOCKET
        entry.events = POLLWRNORM;
        ASSERT_EQ(WSAPoll(&entry, 1, 5000), 1);
        EXPECT_NE(entry.revents & (POLLERR | POLLHUP), 0);
        int size = sizeof error;
        ASSERT_EQ(getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size), 0);
    }
    EXPECT_EQ(error, WSAECONNREFUSED);
}

TEST_F(Sockets, WSAPollAnswersZeroWhenTheTimeIsUp) {
    WSAPOLLFD entry{};
    entry.fd = quietConnection();
    entry.events = POLLRDNORM;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WSAPoll(&entry, 1, 150), 0);
    EXPECT_GE(millisecondsSince(start), 150);
    EXPECT_LT(millisecondsSince(start), 250);
}

TEST_F(Sockets, ReceiveTimeOutIsADwordOfMillisecondsAndEndsInWSAETIMEDOUT) {
    SOCKET s = quietConnection();
    DWORD limit = 200, readBack = 0;
    int size = sizeof readBack;
    ASSERT_EQ(
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit),
        0);
    ASSERT_EQ(getsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&readBack), &size), 0);
    EXPECT_EQ(readBack, limit);
    char byte;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(recv(s, &byte, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
    EXPECT_GE(millisecondsSince(start), 200);
    EXPECT_LT(millisecondsSince(start), 300);
}

TEST_F(Sockets, NonBlockingReceiveWithNothingToReadWouldBlock) {
    SOCKET s = quietConnection();
    u_long on = 1;
    ASSERT_EQ(ioctlsocket(s, FIONBIO, &on), 0);
    char byte;
    EXPECT_EQ(recv(s, &byte, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST_F(Sockets, IoctlsocketKnowsOnlyFIONBIO) {
    u_long count = 0;
    EXPECT_EQ(ioctlsocket(open(), FIONREAD, &count), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST(NameResolution, LocalhostHasALoopbackAddress) {
    addrinfo hints{}, *found = nullptr;
    hints.ai_socktype = SOCK_STREAM;
    ASSERT_EQ(getaddrinfo("localhost", "80", &hints, &found), 0);
    char text[INET6_ADDRSTRLEN] = "";
    const void* address =
        found->ai_family == AF_INET6
            ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(found->ai_addr)->sin6_addr)
            : &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    inet_ntop(found->ai_family, address, text, sizeof text);
    freeaddrinfo(found);
    EXPECT_TRUE(std::string(text) == "127.0.0.1" || std::string(text) == "::1") << text;
}

}  // namespace
