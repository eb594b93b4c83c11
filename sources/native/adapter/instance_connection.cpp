#include "native/adapter/instance_connection.h"

#include <ws2tcpip.h>

#include <climits>
#include <cstdio>

#include "native/adapter/adapter_extension.h"
#include "native/adapter/debug_output.h"
#include "native/adapter/instance_choice.h"

namespace brevant::adapter {

namespace {

// One send or receive moves at most this much: WinSock counts in int.
constexpr size_t kMaxTransfer = INT_MAX;

constexpr const char kOpenSocketPage[] =
    "<html><head><title>Brevant Failure</title></head><body bgcolor=#ffffff>"
    "<center><h2><font color=#FF0000>Failed to open socket</font></h2>"
    "</center></body></html>";

// A failed socket or connect, with the WinSock error taken before anything can change it.
ConnectAttempt failedAttempt(SOCKET socket, bool noSocket) {
    ConnectAttempt attempt;
    attempt.error = WSAGetLastError();
    attempt.noSocket = noSocket;
    if (socket != INVALID_SOCKET) {
        closesocket(socket);
    }
    return attempt;
}

// Waits for a non-blocking connect to end, at most `timeout` ms.
bool finishConnect(SOCKET socket, uint32_t timeout, int* error) {
    WSAPOLLFD poll = {};
    poll.fd = socket;
    poll.events = POLLWRNORM;
    int ready = WSAPoll(&poll, 1, static_cast<INT>(timeout));
    if (ready == 0) {
        *error = WSAETIMEDOUT;
        return false;
    }
    if (ready < 0) {
        *error = WSAGetLastError();
        return false;
    }
    int result = 0;
    int size = sizeof result;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&result), &size) != 0) {
        *error = WSAGetLastError();
        return false;
    }
    *error = result;
    return result == 0;
}

// One address: blocking as WinSock connects, or, with a time-out, non-blocking and then
// waited for.
ConnectAttempt connectAddress(const sockaddr* address, int length, uint32_t timeout,
                              bool socketFailureIsFatal) {
    SOCKET socket = ::socket(address->sa_family, SOCK_STREAM, 0);
    if (socket == INVALID_SOCKET) {
        return failedAttempt(socket, socketFailureIsFatal);
    }
    if (timeout == 0) {
        if (connect(socket, address, length) != 0) {
            return failedAttempt(socket, false);
        }
        return ConnectAttempt{socket, 0, false};
    }
    u_long nonBlocking = 1;
    if (ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) {
        return failedAttempt(socket, false);
    }
    int error = 0;
    if (connect(socket, address, length) != 0) {
        error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK || !finishConnect(socket, timeout, &error)) {
            closesocket(socket);
            ConnectAttempt attempt;
            attempt.error = error;
            return attempt;
        }
    }
    nonBlocking = 0;
    if (ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) {
        return failedAttempt(socket, false);
    }
    return ConnectAttempt{socket, 0, false};
}

// An IPv4 literal as the instance entry has always been read; a name or an IPv6 literal at
// each of its addresses in the resolver's order.
ConnectAttempt connectInstance(const AdapterInstance& instance, uint32_t timeout) {
    if (instance.resolveFailed) {
        ConnectAttempt attempt;
        attempt.error = WSAHOST_NOT_FOUND;
        return attempt;
    }
    if (instance.resolved.empty()) {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = instance.address;
        address.sin_port = instance.port;
        return connectAddress(reinterpret_cast<const sockaddr*>(&address), sizeof address, timeout,
                              true);
    }
    ConnectAttempt attempt;
    for (const InstanceAddress& address : instance.resolved) {
        attempt = connectAddress(reinterpret_cast<const sockaddr*>(&address.address),
                                 address.length, timeout, false);
        if (attempt.socket != INVALID_SOCKET) {
            break;
        }
    }
    return attempt;
}

// The page names the instance as the group's record has it: an IPv4 literal as the address
// and port it reads as, a name or an IPv6 literal as written.
void sendConnectFailurePage(EXTENSION_CONTROL_BLOCK* ecb, const AdapterGroup& group,
                            const AdapterInstance& instance, int error) {
    char where[160];  // an entry within the limits of the model, whole; the page fits 512 bytes
    if (instance.resolved.empty() && !instance.resolveFailed) {
        in_addr address = {};
        address.s_addr = instance.address;
        std::snprintf(where, sizeof where, "%s:%hu", inet_ntoa(address), ntohs(instance.port));
    } else {
        std::snprintf(where, sizeof where, "%s", instance.entry.c_str());
    }
    char page[kFailurePageSize];
    std::snprintf(page, sizeof page,
                  "<html><head><title>Brevant Failure</title></head><body bgcolor=#ffffff>"
                  "<center><h2><font color=#FF0000>Failed to connect to Brevant instance "
                  "%.*s at %s</font></h2>"
                  "<p>The error number is %d"
                  "</center></body></html>",
                  static_cast<int>(kGroupNameSize - 1), group.name, where, error);
    sendFailurePage(ecb, page);
}

}  // namespace

InstanceConnection::InstanceConnection(InstanceConnection&& other) noexcept
    : socket_(other.socket_),
      instance_(other.instance_),
      buffer_(std::move(other.buffer_)),
      reused_(other.reused_),
      timedOut_(other.timedOut_) {
    other.socket_ = INVALID_SOCKET;
}

InstanceConnection& InstanceConnection::operator=(InstanceConnection&& other) noexcept {
    if (this != &other) {
        close();
        socket_ = other.socket_;
        instance_ = other.instance_;
        buffer_ = std::move(other.buffer_);
        reused_ = other.reused_;
        timedOut_ = other.timedOut_;
        other.socket_ = INVALID_SOCKET;
    }
    return *this;
}

void InstanceConnection::close() {
    if (socket_ != INVALID_SOCKET) {
        closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }
}

bool InstanceConnection::drained() const {
    return isQuiet(socket_);
}

IdleConnection InstanceConnection::release(int64_t now) {
    IdleConnection idle{socket_, std::move(buffer_), now};
    socket_ = INVALID_SOCKET;
    return idle;
}

bool InstanceConnection::sendAll(const void* data, size_t length) {
    const char* next = static_cast<const char*>(data);
    while (length > 0) {
        size_t piece = length < kMaxTransfer ? length : kMaxTransfer;
        int sent = static_cast<int>(send(socket_, next, static_cast<int>(piece), 0));
        if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        next += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

int InstanceConnection::receiveSome(void* buffer, size_t length) {
    size_t piece = length < kMaxTransfer ? length : kMaxTransfer;
    for (;;) {
        int received =
            static_cast<int>(recv(socket_, static_cast<char*>(buffer), static_cast<int>(piece), 0));
        if (received == SOCKET_ERROR) {
            int error = WSAGetLastError();
            if (error == WSAEINTR) {
                continue;  // a signal, not the instance
            }
            timedOut_ = error == WSAETIMEDOUT;
            return -1;
        }
        return received;
    }
}

bool InstanceConnection::receiveExact(void* buffer, size_t length) {
    char* next = static_cast<char*>(buffer);
    while (length > 0) {
        int received = receiveSome(next, length);
        if (received <= 0) {
            return false;
        }
        next += received;
        length -= static_cast<size_t>(received);
    }
    return true;
}

bool InstanceConnection::receiveUint32(uint32_t* value) {
    uint32_t networkOrder = 0;
    if (!receiveExact(&networkOrder, sizeof networkOrder)) {
        return false;
    }
    *value = ntohl(networkOrder);
    return true;
}

InstanceConnection connectToInstance(EXTENSION_CONTROL_BLOCK* ecb, const AdapterGroup& group,
                                     bool fresh) {
    std::unique_ptr<char[]> keptBuffer;  // of the idle connection taken, if one is
    InstanceChoice choice =
        connectByPolicy(group, steadyMilliseconds, [&](const AdapterInstance& instance) {
            if (!fresh && instance.pool) {
                std::optional<IdleConnection> idle = instance.pool->take(
                    steadyMilliseconds(), int64_t{group.keepAliveTimeout} * 1000);
                if (idle) {
                    keptBuffer = std::move(idle->buffer);
                    return ConnectAttempt{idle->socket, 0, false, true};
                }
            }
            return connectInstance(instance, group.connectTimeout);
        });
    if (choice.noSocket) {
        debugOut("Failed to open socket.\n");
        sendFailurePage(ecb, kOpenSocketPage);
        return InstanceConnection();
    }
    if (choice.socket == INVALID_SOCKET) {
        debugOut("Failed to connect to Brevant.\n");
        sendConnectFailurePage(ecb, group, *choice.instance, choice.error);
        return InstanceConnection();
    }
    if (choice.reused) {  // set up when it was made
        return InstanceConnection(choice.socket, choice.instance, std::move(keptBuffer), true);
    }
    // The body goes to the instance in pieces of 4 KiB, far below a segment: without this,
    // each piece waits for the instance's delayed acknowledgement of the one before.
    int noDelay = 1;
    setsockopt(choice.socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
    if (group.replyTimeout != 0) {
        // Milliseconds in a DWORD, as WinSock takes them; a receive or send that waits longer
        // fails with WSAETIMEDOUT.
        DWORD timeout = group.replyTimeout;
        setsockopt(choice.socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof timeout);
        setsockopt(choice.socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof timeout);
    }
    if (group.keepAlive != 0) {
        return InstanceConnection(choice.socket, choice.instance,
                                  std::make_unique<char[]>(kKeptPieceSize), false);
    }
    return InstanceConnection(choice.socket, choice.instance);
}

}  // namespace brevant::adapter
