// Test clients and a running server for the HTTP core's tests: blocking sockets on
// 127.0.0.1 with a receive time-out, so that a server fault fails a test instead of
// hanging it.
#ifndef TESTS_UNIT_STAND_INS_ISAPIHOST_HTTP_HTTP_TEST_CLIENT_H
#define TESTS_UNIT_STAND_INS_ISAPIHOST_HTTP_HTTP_TEST_CLIENT_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include <openssl/ssl.h>

#include "stand-ins/isapihost/http/exchange.h"
#include "stand-ins/isapihost/http/http_server.h"

namespace httptest {

struct Response {
    int status = 0;  // 0 when no whole response arrived
    std::string head;
    std::string body;
    std::string header(const std::string& name) const;  // "" when absent
};

class Client {
  public:
    explicit Client(uint16_t port,
                    std::chrono::milliseconds receiveTimeout = std::chrono::seconds(10));
    virtual ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connected() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    bool send(const std::string& bytes);
    // One response, read by its Content-Length (no body when `headOnly`, 1xx, 204 or 304).
    Response readResponse(bool headOnly = false);
    // All bytes until the server closes (or the receive time-out).
    std::string readUntilClose();
    // Whether the server closes the connection without sending anything more.
    bool closedByServer();
    void shutdownSending();

  protected:
    virtual ssize_t rawRead(char* buffer, size_t size);
    virtual ssize_t rawWrite(const char* data, size_t size);

    int fd_ = -1;
    std::string pending_;  // read but not yet returned
};

// A TLS client (OpenSSL) that may present a certificate.
class TlsClient final : public Client {
  public:
    TlsClient(uint16_t port, const std::string& certificateFile = "",
              const std::string& keyFile = "");
    ~TlsClient() override;
    bool handshakeDone() const { return ssl_ != nullptr; }

  private:
    ssize_t rawRead(char* buffer, size_t size) override;
    ssize_t rawWrite(const char* data, size_t size) override;

    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
};

// A handler made of a function, counting the requests it began and finished.
class FunctionHandler final : public isapihost::RequestHandler {
  public:
    explicit FunctionHandler(std::function<isapihost::AfterResponse(isapihost::Exchange&)> serve)
        : serve_(std::move(serve)) {}
    isapihost::AfterResponse handle(isapihost::Exchange& exchange) override {
        ++started;
        isapihost::AfterResponse after = serve_(exchange);
        ++finished;
        return after;
    }
    std::atomic<int> started{0};
    std::atomic<int> finished{0};

  private:
    std::function<isapihost::AfterResponse(isapihost::Exchange&)> serve_;
};

// "HTTP/1.1 200 OK" with Content-Length and `body`.
std::string okResponse(const std::string& body);
// Writes okResponse(body) and keeps the connection.
isapihost::AfterResponse answer(isapihost::Exchange& exchange, const std::string& body);

// An HttpServer listening on a free port and running on its own thread until destroyed.
class RunningServer {
  public:
    RunningServer(isapihost::RequestHandler& handler, const isapihost::ServerLimits& limits,
                  const isapihost::ListenerConfig& listener = {});
    ~RunningServer();
    uint16_t port() const { return port_; }
    // Stops the server; true when run() returned within `limit`.
    bool stop(std::chrono::milliseconds limit = std::chrono::seconds(20));

  private:
    isapihost::HttpServer server_;
    uint16_t port_ = 0;
    std::atomic<bool> returned_{false};
    std::thread thread_;
};

isapihost::ServerLimits testLimits();  // small pool, short time-outs

// The body by Content-Length; false when the connection ends first.
bool readBody(isapihost::Exchange& exchange, std::string* body);
// Answers "<method> <target> <body>".
isapihost::AfterResponse echo(isapihost::Exchange& exchange);
long long msSince(std::chrono::steady_clock::time_point start);

}  // namespace httptest

#endif  // TESTS_UNIT_STAND_INS_ISAPIHOST_HTTP_HTTP_TEST_CLIENT_H
