#include "native/adapter/instance_connection.h"

#include <climits>
#include <cstdio>

#include "native/adapter/adapter_extension.h"
#include "native/adapter/debug_output.h"

namespace brevant::adapter {

namespace {

// One send or receive moves at most this much: WinSock counts in int.
constexpr size_t kMaxTransfer = INT_MAX;

constexpr const char kOpenSocketPage[] =
    "<html><head><title>Brevant Failure</title></head><body bgcolor=#ffffff>"
    "<center><h2><font color=#FF0000>Failed to open socket</font></h2>"
    "</center></body></html>";

}  // namespace

InstanceConnection::InstanceConnection(InstanceConnection&& other) noexcept
    : socket_(other.socket_) {
    other.socket_ = INVALID_SOCKET;
}

InstanceConnection& InstanceConnection::operator=(InstanceConnection&& other) noexcept {
    if (this != &other) {
        close();
        socket_ = other.socket_;
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
        if (received == SOCKET_ERROR && WSAGetLastError() == WSAEINTR) {
            continue;  // a signal, not the instance
        }
        return received < 0 ? -1 : received;
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

InstanceConnection connectToInstance(EXTENSION_CONTROL_BLOCK* ecb, const AdapterGroup& group) {
    SOCKET handle = socket(AF_INET, SOCK_STREAM, 0);
    InstanceConnection connection(handle);
    if (!connection.isOpen()) {
        debugOut("Failed to open socket.\n");
        sendFailurePage(ecb, kOpenSocketPage);
        return connection;
    }

    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = group.instance.address;
    address.sin_port = group.instance.port;
    if (connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        int error = WSAGetLastError();  // before anything else can change it
        debugOut("Failed to connect to Brevant.\n");
        in_addr instanceAddress = {};
        instanceAddress.s_addr = group.instance.address;
        char page[kFailurePageSize];
        std::snprintf(page, sizeof page,
                      "<html><head><title>Brevant Failure</title></head><body bgcolor=#ffffff>"
                      "<center><h2><font color=#FF0000>Failed to connect to Brevant instance "
                      "%.*s at %s:%hu</font></h2>"
                      "<p>The error number is %d"
                      "</center></body></html>",
                      static_cast<int>(kGroupNameSize - 1), group.name, inet_ntoa(instanceAddress),
                      ntohs(group.instance.port), error);
        connection.close();
        sendFailurePage(ecb, page);
        return connection;
    }
    // The body goes to the instance in pieces of 4 KiB, far below a segment: without this,
    // each piece waits for the instance's delayed acknowledgement of the one before.
    int noDelay = 1;
    setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
    return connection;
}

}  // namespace brevant::adapter
