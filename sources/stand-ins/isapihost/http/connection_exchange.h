// The Exchange a worker thread serves one request through: blocking reads and writes on
// the connection, waiting with poll() so that a client that stops reading or sending makes
// the call fail after the connection time-out instead of holding the worker for ever.
//
// Body bytes that arrived with the head are served from the connection's read buffer
// first. Small reads go through that buffer too, so a handler reading a few bytes at a
// time does not cost a system call each; what is read past the body stays there for the
// next request on the connection.
//
// Thread: the worker serving the request, between begin() (on the I/O strand, before the
// hand-over) and the handler's return.
#ifndef ISAPIHOST_HTTP_CONNECTION_EXCHANGE_H
#define ISAPIHOST_HTTP_CONNECTION_EXCHANGE_H

#include <chrono>

#include "stand-ins/isapihost/http/exchange.h"
#include "stand-ins/isapihost/http/read_buffer.h"
#include "stand-ins/isapihost/http/transport.h"

namespace isapihost {

class ConnectionExchange final : public Exchange {
  public:
    ConnectionExchange(Transport& transport, ReadBuffer& buffer, const RequestHead& head,
                       const ConnectionInfo& connection, std::chrono::milliseconds timeout)
        : transport_(transport),
          buffer_(buffer),
          head_(head),
          connection_(connection),
          timeout_(timeout) {}

    // Starts the next request on the connection: its head took `headBytes` bytes.
    void begin(size_t headBytes, bool expectsContinue);

    const RequestHead& head() const override { return head_; }
    const ConnectionInfo& connection() const override { return connection_; }
    ssize_t readSome(void* buffer, size_t size) override;
    bool writeAll(const void* data, size_t size) override;
    uint64_t bytesSent() const override { return bytesSent_; }
    uint64_t bytesReceived() const override { return bytesReceived_; }

    // No failure and no end of input: the connection can carry another request.
    bool sound() const { return !failed_ && !ended_; }
    // Whether the handler read exactly the request's body, so that the next bytes on the
    // connection are the next request.
    bool bodyConsumed() const { return bodyRead_ == head_.contentLength; }

  private:
    using Clock = std::chrono::steady_clock;

    // Waits for what `status` asks until `deadline`; false on time-out or poll failure.
    bool wait(IoStatus status, Clock::time_point deadline);
    bool send(const char* data, size_t size, bool count);
    ssize_t receive(void* buffer, size_t size);

    Transport& transport_;
    ReadBuffer& buffer_;
    const RequestHead& head_;
    const ConnectionInfo& connection_;
    const std::chrono::milliseconds timeout_;

    uint64_t bytesSent_ = 0;
    uint64_t bytesReceived_ = 0;
    uint64_t bodyRead_ = 0;
    bool expectsContinue_ = false;
    bool failed_ = false;
    bool ended_ = false;
};

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_CONNECTION_EXCHANGE_H
