// The TCP connection from the extension to a group's application-server instance: one per
// request, opened by connectToInstance, closed when its holder goes or by close(). Never
// kept or reused between requests.
//
// Owned by the IIS worker thread that runs the request's HttpExtensionProc; no other thread
// touches it. All calls block, without time-outs, as WinSock's blocking sockets do.
#ifndef BREVANT_ADAPTER_INSTANCE_CONNECTION_H
#define BREVANT_ADAPTER_INSTANCE_CONNECTION_H

#include <winsock2.h>  // before windows.h, as WinSock 2 asks
#include <windows.h>
#include <httpext.h>

#include <cstddef>
#include <cstdint>

#include "native/adapter/adapter_groups.h"

namespace brevant::adapter {

class InstanceConnection {
  public:
    InstanceConnection() = default;
    explicit InstanceConnection(SOCKET socket) : socket_(socket) {}
    ~InstanceConnection() { close(); }
    InstanceConnection(InstanceConnection&& other) noexcept;
    InstanceConnection& operator=(InstanceConnection&& other) noexcept;
    InstanceConnection(const InstanceConnection&) = delete;
    InstanceConnection& operator=(const InstanceConnection&) = delete;

    bool isOpen() const { return socket_ != INVALID_SOCKET; }
    void close();

    // Sends all `length` bytes, in as many sends as the socket takes; false when one fails.
    bool sendAll(const void* data, size_t length);

    // Receives at most `length` bytes; answers the count, 0 when the instance has closed the
    // connection, -1 when the receive failed.
    int receiveSome(void* buffer, size_t length);

    // Receives exactly `length` bytes, however they are split on the way; false when the
    // connection ends or fails first.
    bool receiveExact(void* buffer, size_t length);

    // A 4-byte unsigned integer in network byte order, read whole.
    bool receiveUint32(uint32_t* value);

  private:
    SOCKET socket_ = INVALID_SOCKET;
};

// Connects to `group`'s instance (address and port in network byte order). When the socket
// cannot be opened or the connection fails, the client gets the failure page and the
// answer is not open.
InstanceConnection connectToInstance(EXTENSION_CONTROL_BLOCK* ecb, const AdapterGroup& group);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_INSTANCE_CONNECTION_H
