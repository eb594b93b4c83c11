// Non-blocking reads and writes on a client connection, the same for plain TCP and TLS,
// so that the asynchronous side (waiting with Asio) and the worker side (waiting with
// poll and a deadline) drive one connection through one interface.
//
// Every call returns at once: Done with the byte count, or what to wait for. The socket
// itself belongs to the connection; a transport only uses its descriptor.
//
// Thread: one thread at a time, whichever holds the connection.
#ifndef ISAPIHOST_HTTP_TRANSPORT_H
#define ISAPIHOST_HTTP_TRANSPORT_H

#include <cstddef>

namespace isapihost {

enum class IoStatus {
    Done,       // `bytes` moved (> 0), or the handshake finished
    WantRead,   // wait until the socket is readable, then call again
    WantWrite,  // wait until the socket is writable, then call again
    Closed,     // the client closed its side in order
    Failed,     // reset, protocol error: the connection is unusable
};

struct IoResult {
    IoStatus status;
    size_t bytes;
};

class Transport {
  public:
    explicit Transport(int fd) : fd_(fd) {}
    virtual ~Transport() = default;
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    int fd() const { return fd_; }

    // REQUIRES: size > 0
    virtual IoResult tryRead(void* buffer, size_t size) = 0;
    virtual IoResult tryWrite(const void* data, size_t size) = 0;

    // One step of the server handshake; plain TCP has none.
    virtual IoResult tryHandshake() { return {IoStatus::Done, 0}; }

    // Ends our sending side as politely as the protocol allows, without waiting: TLS sends
    // its close_notify; then the TCP FIN. Reads of the raw socket may go on (to drain).
    virtual void shutdownWrite();

  protected:
    const int fd_;
};

// TCP without encryption: recv/send on the descriptor.
class PlainTransport final : public Transport {
  public:
    explicit PlainTransport(int fd) : Transport(fd) {}
    IoResult tryRead(void* buffer, size_t size) override;
    IoResult tryWrite(const void* data, size_t size) override;
};

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_TRANSPORT_H
