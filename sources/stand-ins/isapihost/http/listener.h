// One listening socket: accepts connections and starts each on a strand of its own.
// A failed accept for want of descriptors pauses accepting briefly instead of spinning.
//
// Thread safety: open() from the thread that sets the server up; the accept loop runs on
// the listener's strand; close() from any thread.
#ifndef ISAPIHOST_HTTP_LISTENER_H
#define ISAPIHOST_HTTP_LISTENER_H

#include <cstdint>
#include <memory>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include "stand-ins/isapihost/http/http_server.h"
#include "stand-ins/isapihost/http/server_context.h"
#include "stand-ins/isapihost/http/tls_context.h"

namespace isapihost {

class Listener {
  public:
    Listener(boost::asio::io_context& io, ServerContext& server);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Binds and listens, then starts accepting. The bound port, or 0 with *error set.
    uint16_t open(const ListenerConfig& config, std::string* error);
    void close();

  private:
    void acceptNext();

    boost::asio::io_context& io_;
    ServerContext& server_;
    boost::asio::strand<boost::asio::io_context::executor_type> strand_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer pause_;
    std::unique_ptr<TlsContext> tls_;
    bool closed_ = false;  // on the strand
};

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_LISTENER_H
