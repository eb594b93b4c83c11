// The TCP connection from the extension to one of a group's application-server instances:
// one per request, opened by connectToInstance, closed when its holder goes or by close().
// Never kept or reused between requests.
//
// Owned by the IIS worker thread that runs the request's HttpExtensionProc; no other thread
// touches it. All calls block, as WinSock's blocking sockets do: without time-outs, unless the
// group sets a connect or reply time-out.
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
    explicit InstanceConnection(SOCKET socket, const AdapterInstance* instance = nullptr)
        : socket_(socket), instance_(instance) {}
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
    // connection, -1 when the receive failed or timed out.
    int receiveSome(void* buffer, size_t length);

    // Receives exactly `length` bytes, however they are split on the way; false when the
    // connection ends or fails first.
    bool receiveExact(void* buffer, size_t length);

    // A 4-byte unsigned integer in network byte order, read whole.
    bool receiveUint32(uint32_t* value);

    // A receive failed because the instance said nothing for the group's reply time-out.
    bool timedOut() const { return timedOut_; }

    // The instance this connection reaches, whose live counters it adds to.
    const AdapterInstance* instance() const { return instance_; }

  private:
    SOCKET socket_ = INVALID_SOCKET;
    const AdapterInstance* instance_ = nullptr;
    bool timedOut_ = false;
};

// Connects to one of `group`'s instances, as its balance policy says, with its connect
// time-out, and gives the connection its reply time-out. When no socket can be opened or no
// instance connects, the client gets the failure page and the answer is not open.
InstanceConnection connectToInstance(EXTENSION_CONTROL_BLOCK* ecb, const AdapterGroup& group);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_INSTANCE_CONNECTION_H
