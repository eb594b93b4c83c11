// A running HttpServer for the HTTP core's tests: a handler made of a function, served on
// a free port of 127.0.0.1 on a thread of its own, and clients to talk to it.
#ifndef TESTS_UNIT_STAND_INS_ISAPIHOST_HTTP_SERVER_FIXTURE_H
#define TESTS_UNIT_STAND_INS_ISAPIHOST_HTTP_SERVER_FIXTURE_H

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "http_client.h"
#include "stand-ins/isapihost/http/exchange.h"
#include "stand-ins/isapihost/http/http_server.h"

namespace httptest {

using isapihost::AfterResponse;
using isapihost::Exchange;
using testsupport::HttpConnection;
using testsupport::HttpResponse;
using Serve = std::function<AfterResponse(Exchange&)>;

// "HTTP/1.1 200 OK" with Content-Length and `body`; keeps the connection when written.
inline AfterResponse answer(Exchange& exchange, const std::string& body) {
    std::string response =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    return exchange.writeAll(response.data(), response.size()) ? AfterResponse::KeepAlive
                                                               : AfterResponse::Close;
}

// The body by Content-Length; false when the connection ends first.
inline bool readBody(Exchange& exchange, std::string* body) {
    char piece[16384];
    while (body->size() < exchange.head().contentLength) {
        ssize_t n = exchange.readSome(piece, sizeof piece);
        if (n <= 0) {
            return false;
        }
        body->append(piece, static_cast<size_t>(n));
    }
    return true;
}

// Answers "<method> <target> <body>".
inline AfterResponse echo(Exchange& exchange) {
    std::string body;
    return readBody(exchange, &body) ? answer(exchange, exchange.head().method + " " +
                                                            exchange.head().target + " " + body)
                                     : AfterResponse::Close;
}

inline long long msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

// "GET <target> HTTP/1.1" with Host and `extra` headers.
inline std::string get(const std::string& target, const std::string& extra = "") {
    return "GET " + target + " HTTP/1.1\r\nHost: test\r\n" + extra + "\r\n";
}

// Counts the requests it began and finished.
class CountingHandler final : public isapihost::RequestHandler {
  public:
    explicit CountingHandler(Serve serve) : serve_(std::move(serve)) {}
    AfterResponse handle(Exchange& exchange) override {
        ++started;
        AfterResponse after = serve_(exchange);
        ++finished;
        return after;
    }
    std::atomic<int> started{0};
    std::atomic<int> finished{0};

  private:
    Serve serve_;
};

// Starts an HttpServer on a free port, running on its own thread until the test ends.
class HttpServerTest : public testing::Test {
  protected:
    ~HttpServerTest() override { end(); }
    // A small pool and short time-outs.
    static isapihost::ServerLimits limits(unsigned workers = 4, int timeoutSeconds = 5) {
        isapihost::ServerLimits limits;
        limits.workerThreads = workers;
        limits.connectionTimeout = limits.headerTimeout = limits.keepAliveTimeout =
            std::chrono::seconds(timeoutSeconds);
        return limits;
    }
    void start(Serve serve, const isapihost::ServerLimits& limits = HttpServerTest::limits(),
               const isapihost::ListenerConfig& listener = {}) {
        end();
        handler_ = std::make_unique<CountingHandler>(std::move(serve));
        server_ = std::make_unique<isapihost::HttpServer>(*handler_, limits);
        std::string error;
        port_ = server_->listen(listener, &error);
        EXPECT_NE(port_, 0) << error;
        returned_ = false;
        thread_ = std::thread([this] {
            server_->run();
            returned_ = true;
        });
    }
    // Stops the server; true when run() returned within 20 s.
    bool stop() {
        server_->stop();
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!returned_ && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return returned_;
    }
    uint16_t port() const { return port_; }
    std::unique_ptr<HttpConnection> connect() const {
        return std::make_unique<HttpConnection>(port(), 10);
    }
    // `request` on a fresh connection, and the one response to it.
    HttpResponse exchange(const std::string& request) const {
        auto client = connect();
        EXPECT_TRUE(client->send(request));
        return client->read();
    }

    std::unique_ptr<CountingHandler> handler_;

  private:
    void end() {  // stops and joins the server of the last start()
        if (thread_.joinable()) {
            server_->stop();
            thread_.join();
        }
        server_.reset();
    }

    std::unique_ptr<isapihost::HttpServer> server_;
    uint16_t port_ = 0;
    std::atomic<bool> returned_{false};
    std::thread thread_;
};

}  // namespace httptest

#endif  // TESTS_UNIT_STAND_INS_ISAPIHOST_HTTP_SERVER_FIXTURE_H
