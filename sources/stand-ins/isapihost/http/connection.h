// One client connection, from accept to close. Its path, in order:
//
//   accept -> [TLS handshake] -> read head -> worker runs the handler -> keep-alive? -> read head
//                                    |                                    '-> close (lingering)
//                                    '-> 400 / 408 / 411 -> close (lingering)
//
// The I/O side (handshake, head reading, the server's own error responses, lingering close)
// runs asynchronously on the connection's strand and holds no thread while the client is
// slow or idle. A complete head goes to the worker pool; the worker then owns the connection
// until the handler returns and hands it back to the strand.
//
// Time-outs: the header time-out runs from accept (handshake included) and, on a kept-alive
// connection, from the first byte of the next head; a head that is incomplete by then gets
// 408, while a connection that sent nothing at all is closed without a word (IIS does the
// same). A kept-alive connection with no next request closes after the keep-alive time-out.
//
// Thread: the strand runs every member but work(), which runs on a worker while the phase is
// InWorker; the two never overlap. closeIfIdle() may be called from any thread.
#ifndef ISAPIHOST_HTTP_CONNECTION_H
#define ISAPIHOST_HTTP_CONNECTION_H

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "stand-ins/isapihost/http/connection_exchange.h"
#include "stand-ins/isapihost/http/exchange.h"
#include "stand-ins/isapihost/http/head_parser.h"
#include "stand-ins/isapihost/http/read_buffer.h"
#include "stand-ins/isapihost/http/server_context.h"
#include "stand-ins/isapihost/http/transport.h"
#include "stand-ins/isapihost/http/worker_pool.h"

namespace isapihost {

class TlsContext;

class Connection final : public WorkerJob, public std::enable_shared_from_this<Connection> {
  public:
    using Socket = boost::asio::ip::tcp::socket;

    // Takes a freshly accepted socket, whose executor must be a strand of its own; `tls` is
    // null on a plain listener and must outlive the connection.
    static void start(ServerContext& server, Socket socket, const TlsContext* tls);

    Connection(ServerContext& server, Socket socket, std::unique_ptr<Transport> transport,
               ConnectionInfo info);
    ~Connection() override;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Runs the handler for the head just read (worker thread).
    void work() override;

    // Closes the connection unless a request is being served on it or answered.
    void closeIfIdle();

  private:
    enum class Phase { Handshake, Head, InWorker, Responding, Lingering, Closed };
    using Step = void (Connection::*)();

    void begin();
    void continueHandshake();
    void startHead(bool keptAlive);
    void continueHead();
    void dispatch();
    void afterResponse(bool keepAlive, bool graceful);
    void respondAndClose(int status);
    void continueRespond();
    void startLinger();
    void continueLinger();
    void closeNow();

    void enterPhase(Phase phase);
    void waitFor(IoStatus status, Step next);
    void armTimer(std::chrono::milliseconds after);
    void onTimeout();

    ServerContext& server_;
    Socket socket_;
    boost::asio::steady_timer timer_;
    std::unique_ptr<Transport> transport_;
    ConnectionInfo info_;
    ReadBuffer buffer_;
    HeadParser parser_;
    RequestHead head_;
    ConnectionExchange exchange_;

    Phase phase_ = Phase::Handshake;
    bool headStarted_ = false;  // a byte of the current head has arrived
    bool keptAlive_ = false;    // waiting for the next request under the keep-alive time-out
    // Completions of waits and timers armed before the latest one are stale and ignored.
    uint64_t waitGeneration_ = 0;
    uint64_t timerGeneration_ = 0;
    std::string response_;  // the server's own error response being written
    size_t responseWritten_ = 0;
};

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_CONNECTION_H
