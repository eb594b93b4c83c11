#include "stand-ins/isapihost/http/connection.h"

#include <cerrno>
#include <sys/socket.h>

#include <boost/asio/post.hpp>

#include "stand-ins/isapihost/http/head_reading.h"
#include "stand-ins/isapihost/http/response_framing.h"
#include "stand-ins/isapihost/http/tls_context.h"
#include "stand-ins/isapihost/http/tls_transport.h"

namespace isapihost {

namespace asio = boost::asio;
using std::chrono::milliseconds;

namespace {

// How long a closing connection keeps reading what the client still sends, so that the
// kernel does not answer those bytes with a reset that would destroy our last response
// before the client has read it.
constexpr milliseconds kLingerTime{2000};
// Reads per turn while lingering, so a client that floods does not hold the strand.
constexpr unsigned kLingerReadsPerTurn = 16;

std::string addressText(const asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).to_string();
    }
    return address.to_string();
}

}  // namespace

void Connection::start(ServerContext& server, Socket socket, const TlsContext* tls) {
    boost::system::error_code ec;
    // Responses go out in one or two writes; Nagle would hold the second one back.
    socket.set_option(asio::ip::tcp::no_delay(true), ec);
    // TLS reads through the descriptor itself, and must not block.
    socket.non_blocking(true, ec);
    if (ec) {
        return;
    }
    auto remote = socket.remote_endpoint(ec);
    if (ec) {
        return;  // the client is gone already
    }
    auto local = socket.local_endpoint(ec);
    if (ec) {
        return;
    }
    ConnectionInfo info;
    info.remoteAddress = addressText(remote.address());
    info.remotePort = remote.port();
    info.localAddress = addressText(local.address());
    info.localPort = local.port();

    std::unique_ptr<Transport> transport;
    if (tls != nullptr) {
        transport = TlsTransport::create(tls->context(), socket.native_handle());
        if (!transport) {
            return;
        }
        info.secure = true;
        info.serverCertificateSubject = tls->serverSubject();
    } else {
        transport = std::make_unique<PlainTransport>(socket.native_handle());
    }
    auto connection = std::make_shared<Connection>(server, std::move(socket), std::move(transport),
                                                   std::move(info));
    if (!server.registry.add(connection.get())) {
        return;  // the server is stopping: the socket closes with the connection
    }
    asio::post(connection->socket_.get_executor(), [connection] { connection->begin(); });
}

Connection::Connection(ServerContext& server, Socket socket, std::unique_ptr<Transport> transport,
                       ConnectionInfo info)
    : server_(server),
      socket_(std::move(socket)),
      timer_(socket_.get_executor()),
      transport_(std::move(transport)),
      info_(std::move(info)),
      buffer_(readBufferCapacity(server.limits.maxHeadBytes)),
      parser_(server.limits.maxHeadBytes),
      exchange_(*transport_, buffer_, head_, info_, server.limits.connectionTimeout) {}

Connection::~Connection() {
    server_.registry.remove(this);
}

void Connection::begin() {
    if (phase_ == Phase::Closed) {
        return;  // closed by a stop before it began
    }
    // One header time-out covers the handshake and the first head.
    armTimer(server_.limits.headerTimeout);
    if (info_.secure) {
        continueHandshake();
    } else {
        startHead(false);
    }
}

// ---- TLS handshake ------------------------------------------------------------------------

void Connection::continueHandshake() {
    if (phase_ != Phase::Handshake) {
        return;
    }
    IoResult r = transport_->tryHandshake();
    switch (r.status) {
        case IoStatus::Done:
            info_.certificate = static_cast<TlsTransport&>(*transport_).clientCertificate();
            startHead(false);
            return;
        case IoStatus::WantRead:
        case IoStatus::WantWrite:
            waitFor(r.status, &Connection::continueHandshake);
            return;
        case IoStatus::Closed:
        case IoStatus::Failed:
            closeNow();
            return;
    }
}

// ---- reading a request head ---------------------------------------------------------------

void Connection::startHead(bool keptAlive) {
    enterPhase(Phase::Head);
    headStarted_ = false;
    keptAlive_ = keptAlive;
    parser_.reset(&head_);
    if (keptAlive) {
        armTimer(server_.limits.keepAliveTimeout);
    }
    continueHead();
}

void Connection::continueHead() {
    if (phase_ != Phase::Head) {
        return;
    }
    HeadReading reading = readRequestHead(*transport_, buffer_, parser_, headStarted_);
    if (headStarted_ && keptAlive_) {
        // The next request has begun: from now on it has the header time-out to complete.
        keptAlive_ = false;
        armTimer(server_.limits.headerTimeout);
    }
    switch (reading) {
        case HeadReading::Complete:
            dispatch();
            return;
        case HeadReading::Malformed:
        case HeadReading::TooLarge:
            respondAndClose(400);
            return;
        case HeadReading::Chunked:
            respondAndClose(411);
            return;
        case HeadReading::WantRead:
            waitFor(IoStatus::WantRead, &Connection::continueHead);
            return;
        case HeadReading::WantWrite:
            waitFor(IoStatus::WantWrite, &Connection::continueHead);
            return;
        case HeadReading::Closed:
            closeNow();
            return;
    }
}

// ---- serving the request on a worker ------------------------------------------------------

void Connection::dispatch() {
    size_t headBytes = parser_.headBytes();
    bool expectsContinue = parser_.expectsContinue();
    buffer_.consume(headBytes);  // what remains is body, or the next request
    enterPhase(Phase::InWorker);
    ++timerGeneration_;
    timer_.cancel();
    exchange_.begin(headBytes, expectsContinue);
    server_.workers.submit(shared_from_this());
}

void Connection::work() {
    AfterResponse after = AfterResponse::Close;
    bool threw = false;
    try {
        after = server_.handler.handle(exchange_);
    } catch (...) {
        threw = true;
    }
    try {
        if (threw && exchange_.bytesSent() == 0) {
            std::string response =
                frameErrorResponse(500, "", &head_, false, head_.method != "HEAD");
            exchange_.writeAll(response.data(), response.size());
        }
        bool graceful = !threw && exchange_.sound();
        bool keepAlive = graceful && after == AfterResponse::KeepAlive &&
                         head_.clientWantsKeepAlive && exchange_.bodyConsumed() &&
                         !server_.stopping.load();
        asio::post(socket_.get_executor(), [self = shared_from_this(), keepAlive, graceful] {
            self->afterResponse(keepAlive, graceful);
        });
    } catch (...) {
        // Out of memory: the connection closes when its last owner lets go.
    }
}

void Connection::afterResponse(bool keepAlive, bool graceful) {
    if (phase_ != Phase::InWorker) {
        return;
    }
    if (keepAlive && !server_.stopping.load()) {
        startHead(true);  // pipelined bytes already in the buffer are parsed at once
    } else if (graceful) {
        startLinger();
    } else {
        closeNow();
    }
}

// ---- the server's own answers and closing -------------------------------------------------

void Connection::respondAndClose(int status) {
    enterPhase(Phase::Responding);
    response_ = frameErrorResponse(status, "", nullptr, false, true);
    responseWritten_ = 0;
    armTimer(server_.limits.connectionTimeout);
    continueRespond();
}

void Connection::continueRespond() {
    if (phase_ != Phase::Responding) {
        return;
    }
    while (responseWritten_ < response_.size()) {
        IoResult r = transport_->tryWrite(response_.data() + responseWritten_,
                                          response_.size() - responseWritten_);
        switch (r.status) {
            case IoStatus::Done:
                responseWritten_ += r.bytes;
                break;
            case IoStatus::WantRead:
            case IoStatus::WantWrite:
                waitFor(r.status, &Connection::continueRespond);
                return;
            case IoStatus::Closed:
            case IoStatus::Failed:
                closeNow();
                return;
        }
    }
    startLinger();
}

void Connection::startLinger() {
    enterPhase(Phase::Lingering);
    std::string().swap(response_);
    transport_->shutdownWrite();
    buffer_.clear();
    armTimer(kLingerTime);
    continueLinger();
}

void Connection::continueLinger() {
    if (phase_ != Phase::Lingering) {
        return;
    }
    // Raw reads: whatever the client still sends is thrown away, TLS or not.
    for (unsigned i = 0; i < kLingerReadsPerTurn; ++i) {
        ssize_t n = recv(transport_->fd(), buffer_.space(), buffer_.spaceSize(), MSG_DONTWAIT);
        if (n > 0 || (n < 0 && errno == EINTR)) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        }
        closeNow();  // the client has closed too
        return;
    }
    waitFor(IoStatus::WantRead, &Connection::continueLinger);
}

void Connection::closeIfIdle() {
    asio::post(socket_.get_executor(), [self = shared_from_this()] {
        if (self->phase_ == Phase::Handshake || self->phase_ == Phase::Head) {
            self->closeNow();
        }
    });
}

void Connection::closeNow() {
    if (phase_ == Phase::Closed) {
        return;
    }
    phase_ = Phase::Closed;
    ++waitGeneration_;
    ++timerGeneration_;
    timer_.cancel();
    boost::system::error_code ignored;
    socket_.close(ignored);  // the pending completions release the last owners
}

// ---- waits and time-outs ------------------------------------------------------------------

void Connection::enterPhase(Phase phase) {
    phase_ = phase;
    ++waitGeneration_;
    boost::system::error_code ignored;
    socket_.cancel(ignored);
}

void Connection::waitFor(IoStatus status, Step next) {
    uint64_t generation = ++waitGeneration_;
    socket_.async_wait(
        status == IoStatus::WantWrite ? Socket::wait_write : Socket::wait_read,
        [self = shared_from_this(), generation, next](const boost::system::error_code& ec) {
            if (generation != self->waitGeneration_ || ec == asio::error::operation_aborted) {
                return;
            }
            if (ec) {
                self->closeNow();
                return;
            }
            (self.get()->*next)();
        });
}

void Connection::armTimer(milliseconds after) {
    uint64_t generation = ++timerGeneration_;
    timer_.expires_after(after);
    timer_.async_wait([self = shared_from_this(), generation](const boost::system::error_code& ec) {
        if (ec || generation != self->timerGeneration_) {
            return;
        }
        self->onTimeout();
    });
}

void Connection::onTimeout() {
    switch (phase_) {
        case Phase::Handshake:
            closeNow();
            return;
        case Phase::Head:
            if (headStarted_) {
                respondAndClose(408);
            } else {
                closeNow();  // an idle connection: nothing to answer
            }
            return;
        case Phase::Responding:
        case Phase::Lingering:
            closeNow();
            return;
        case Phase::InWorker:
        case Phase::Closed:
            return;
    }
}

}  // namespace isapihost
