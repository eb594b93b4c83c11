// The TCP connection from the extension to one of a group's application-server instances,
// opened by connectToInstance and closed when its holder goes or by close(). One per request,
// unless the group has `keepalive`: then an instance that ends an exchange with command 3
// leaves it open, and the connection goes to the instance's pool for a later request.
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
#include <memory>
#include <utility>

#include "native/adapter/adapter_groups.h"
#include "native/adapter/connection_pool.h"

namespace brevant::adapter {

class InstanceConnection {
  public:
    InstanceConnection() = default;
    explicit InstanceConnection(SOCKET socket, const AdapterInstance* instance = nullptr)
        : socket_(socket), instance_(instance) {}
    // A connection of a group with `keepalive`, with its relay buffer; `reused` when it
    // served an earlier request.
    InstanceConnection(SOCKET socket, const AdapterInstance* instance,
                       std::unique_ptr<char[]> buffer, bool reused)
        : socket_(socket), instance_(instance), buffer_(std::move(buffer)), reused_(reused) {}
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

    // The relay buffer of kKeptPieceSize bytes of a `keepalive` group's connection; null for
    // the others, which relay through 4 KiB on the stack.
    char* keptBuffer() const { return buffer_.get(); }
    bool reused() const { return reused_; }

    // Nothing is readable: the instance has sent nothing beyond what was received.
    bool drained() const;

    // Hands the open connection and its buffer over, to be kept idle from `now` on; the
    // connection is closed afterwards, as far as this holder is concerned.
    IdleConnection release(int64_t now);

  private:
    SOCKET socket_ = INVALID_SOCKET;
    const AdapterInstance* instance_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    bool reused_ = false;
    bool timedOut_ = false;
};

// Connects to one of `group`'s instances, as its balance policy says, with its connect
// time-out, and gives the connection its reply time-out. In a group with `keepalive`, an
// idle connection that the chosen instance's pool still holds is taken first, unless
// `fresh`. When no socket can be opened or no instance connects, the client gets the failure
// page and the answer is not open.
InstanceConnection connectToInstance(EXTENSION_CONTROL_BLOCK* ecb, const AdapterGroup& group,
                                     bool fresh = false);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_INSTANCE_CONNECTION_H
