#include "server_fixture.h"

namespace httptest {

AfterResponse answer(Exchange& exchange, const std::string& body) {
    std::string response =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    return exchange.writeAll(response.data(), response.size()) ? AfterResponse::KeepAlive
                                                               : AfterResponse::Close;
}

bool readBody(Exchange& exchange, std::string* body) {
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

AfterResponse echo(Exchange& exchange) {
    std::string body;
    if (!readBody(exchange, &body)) {
        return AfterResponse::Close;
    }
    return answer(exchange, exchange.head().method + " " + exchange.head().target + " " + body);
}

long long msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

isapihost::ServerLimits HttpServerTest::limits(unsigned workers, int timeoutSeconds) {
    isapihost::ServerLimits limits;
    limits.workerThreads = workers;
    limits.connectionTimeout = limits.headerTimeout = limits.keepAliveTimeout =
        std::chrono::seconds(timeoutSeconds);
    return limits;
}

void HttpServerTest::start(Serve serve, const isapihost::ServerLimits& limits,
                           const isapihost::ListenerConfig& listener) {
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

bool HttpServerTest::stop() {
    server_->stop();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!returned_ && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return returned_;
}

void HttpServerTest::end() {
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
    server_.reset();
}

HttpResponse HttpServerTest::exchange(const std::string& request) const {
    auto client = connect();
    EXPECT_TRUE(client->send(request));
    return client->read();
}

}  // namespace httptest
