// The HTTP/1.1 core of isapihost: listeners, connections, the worker pool.
//
// Connections are accepted and request heads read asynchronously (Boost.Asio and Boost
// Beast's parser), so no thread is tied to an idle or half-read connection. A complete
// head goes to a pool of worker threads that run the RequestHandler with blocking I/O.
// Heads over the size limit get 400, heads not complete within the header time-out 408,
// chunked request bodies 411, malformed requests 400; the connection is then closed and
// the server goes on serving. Keep-alive connections wait idle without a thread and are
// closed after the idle time-out.
//
// Thread safety: listen() and run() from one thread; stop() from any thread (typically
// the one that receives SIGTERM); the handler is called on the worker threads.
#ifndef ISAPIHOST_HTTP_HTTP_SERVER_H
#define ISAPIHOST_HTTP_HTTP_SERVER_H

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "stand-ins/isapihost/http/exchange.h"

namespace isapihost {

struct ListenerConfig {
    std::string address = "127.0.0.1";
    uint16_t port = 0;  // 0 picks a free port
    bool tls = false;
    std::string certificateFile;  // PEM; TLS only
    std::string keyFile;          // PEM; TLS only
    std::string clientCaFile;     // PEM; when set, client certificates are requested
};

struct ServerLimits {
    unsigned workerThreads = 32;
    std::chrono::seconds connectionTimeout{120};  // a blocked read or write fails after it
    std::chrono::seconds headerTimeout{120};      // a head not complete by then gets 408
    std::chrono::seconds keepAliveTimeout{120};   // idle keep-alive connections close
    size_t maxHeadBytes = 16384;
};

class HttpServer {
  public:
    HttpServer(RequestHandler& handler, const ServerLimits& limits);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Opens a listener. Returns the bound port, or 0 with *error set.
    uint16_t listen(const ListenerConfig& config, std::string* error);

    // Serves until stop(): then closes the listeners, lets in-flight requests finish and
    // joins the workers before it returns.
    void run();

    // Asks run() to end. Safe to call from any thread, more than once.
    void stop();

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_HTTP_SERVER_H
