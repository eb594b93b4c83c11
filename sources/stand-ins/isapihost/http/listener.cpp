#include "stand-ins/isapihost/http/listener.h"

#include <chrono>

#include <boost/asio/post.hpp>

#include "stand-ins/isapihost/http/connection.h"

namespace isapihost {

namespace asio = boost::asio;
using asio::ip::tcp;

Listener::Listener(asio::io_context& io, ServerContext& server)
    : io_(io),
      server_(server),
      strand_(asio::make_strand(io)),
      acceptor_(strand_),
      pause_(strand_) {}

Listener::~Listener() = default;

uint16_t Listener::open(const ListenerConfig& config, std::string* error) {
    std::string where = config.address + ":" + std::to_string(config.port);
    if (config.tls) {
        tls_ = TlsContext::create(config, error);
        if (!tls_) {
            return 0;
        }
    }
    boost::system::error_code ec;
    asio::ip::address address = asio::ip::make_address(config.address, ec);
    if (ec) {
        *error = "cannot listen on " + where + ": not an IP address";
        return 0;
    }
    tcp::endpoint endpoint(address, config.port);
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec) {
        acceptor_.set_option(tcp::acceptor::reuse_address(true), ec);
    }
    if (!ec) {
        acceptor_.bind(endpoint, ec);
    }
    if (!ec) {
        acceptor_.listen(tcp::acceptor::max_listen_connections, ec);
    }
    uint16_t port = 0;
    if (!ec) {
        port = acceptor_.local_endpoint(ec).port();
    }
    if (ec) {
        *error = "cannot listen on " + where + ": " + ec.message();
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        return 0;
    }
    asio::post(strand_, [this] { acceptNext(); });
    return port;
}

void Listener::close() {
    asio::post(strand_, [this] {
        closed_ = true;
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        pause_.cancel();
    });
}

void Listener::acceptNext() {
    if (closed_) {
        return;
    }
    // Each connection gets its own strand: its handlers never run two at a time, while
    // different connections run on both I/O threads.
    acceptor_.async_accept(
        asio::make_strand(io_), [this](const boost::system::error_code& ec, tcp::socket socket) {
            if (closed_ || ec == asio::error::operation_aborted) {
                return;
            }
            if (!ec) {
                if (!server_.stopping.load()) {
                    Connection::start(server_, std::move(socket), tls_.get());
                }
                acceptNext();
                return;
            }
            if (ec == asio::error::no_descriptors || ec == asio::error::no_buffer_space ||
                ec == asio::error::no_memory) {
                // Out of descriptors: try again when some connections may have closed.
                pause_.expires_after(std::chrono::milliseconds(50));
                pause_.async_wait([this](const boost::system::error_code& waited) {
                    if (!waited) {
                        acceptNext();
                    }
                });
                return;
            }
            acceptNext();  // the client gave up before we took it (ECONNABORTED and the like)
        });
}

}  // namespace isapihost
