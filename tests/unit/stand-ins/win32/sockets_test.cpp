// WinSock's non-blocking connect, WSAPoll and millisecond time-outs over loopback sockets, as
// the adapter uses them: what Linux reports is turned into what Windows would.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono_literals::operator""ms;

// A client socket and a loopback port whose socket listens only when a test says so.
class Sockets : public testing::Test {
  protected:
    Sockets() {
        address_.sin_family = AF_INET;
        address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(server_, reinterpret_cast<sockaddr*>(&address_), size_);
        getsockname(server_, reinterpret_cast<sockaddr*>(&address_), &size_);
        entry_.fd = client_;  // as on Windows, where fd is a SOCKET
    }
    ~Sockets() override {
        closesocket(client_);
        closesocket(server_);
    }
    // The WSA code of the client's connect to the port, 0 when it succeeded.
    int connectClient() {
        bool failed = connect(client_, reinterpret_cast<sockaddr*>(&address_), size_) != 0;
        return failed ? WSAGetLastError() : 0;
    }
    sockaddr_in address_{};
    socklen_t size_ = sizeof address_;
    SOCKET server_ = socket(AF_INET, SOCK_STREAM, 0), client_ = socket(AF_INET, SOCK_STREAM, 0);
    WSAPOLLFD entry_{};
    u_long on_ = 1;
};

TEST_F(Sockets, NonBlockingConnectToAPortNobodyListensOnEndsRefused) {
    ASSERT_EQ(ioctlsocket(client_, FIONBIO, &on_), 0);
    int error = connectClient(), size = sizeof error;
    entry_.events = POLLWRNORM;
    if (error == WSAEWOULDBLOCK && WSAPoll(&entry_, 1, 5000) == 1) {
        getsockopt(client_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
    }
    EXPECT_EQ(error, WSAECONNREFUSED);
}

// Linux says EAGAIN for both; Windows tells a time-out from a socket that would block.
TEST_F(Sockets, AReceiveTimesOutInDwordMillisecondsOrWouldBlockWhenNonBlocking) {
    listen(server_, 1);
    ASSERT_EQ(connectClient(), 0);
    DWORD limit = 200;
    char* byte = reinterpret_cast<char*>(&limit);
    ASSERT_EQ(setsockopt(client_, SOL_SOCKET, SO_RCVTIMEO, byte, sizeof limit), 0);
    auto start = Clock::now();
    EXPECT_EQ(recv(client_, byte, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
    EXPECT_GE((Clock::now() - start) / 1ms, 200);
    EXPECT_LT((Clock::now() - start) / 1ms, 400);
    ASSERT_EQ(ioctlsocket(client_, FIONBIO, &on_), 0);
    EXPECT_EQ(recv(client_, byte, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

}  // namespace
