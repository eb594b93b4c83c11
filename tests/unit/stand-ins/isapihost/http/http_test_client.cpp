#include "http_test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <gtest/gtest.h>

namespace httptest {

std::string Response::header(const std::string& name) const {
    std::string wanted = "\r\n" + name + ":";
    size_t at = 0;
    while ((at = head.find("\r\n", at)) != std::string::npos) {
        if (strncasecmp(head.c_str() + at, wanted.c_str(), wanted.size()) == 0) {
            size_t start = at + wanted.size();
            while (start < head.size() && head[start] == ' ') {
                ++start;
            }
            return head.substr(start, head.find("\r\n", start) - start);
        }
        at += 2;
    }
    return "";
}

Client::Client(uint16_t port, std::chrono::milliseconds receiveTimeout) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{static_cast<time_t>(receiveTimeout.count() / 1000),
                    static_cast<suseconds_t>(receiveTimeout.count() % 1000 * 1000)};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

Client::~Client() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

ssize_t Client::rawRead(char* buffer, size_t size) {
    return recv(fd_, buffer, size, 0);
}

ssize_t Client::rawWrite(const char* data, size_t size) {
    return ::send(fd_, data, size, MSG_NOSIGNAL);
}

bool Client::send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = rawWrite(bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

Response Client::readResponse(bool headOnly) {
    Response response;
    char buffer[65536];
    size_t headEnd;
    while ((headEnd = pending_.find("\r\n\r\n")) == std::string::npos) {
        ssize_t n = rawRead(buffer, sizeof buffer);
        if (n <= 0) {
            return response;
        }
        pending_.append(buffer, static_cast<size_t>(n));
    }
    response.head = pending_.substr(0, headEnd + 4);
    pending_.erase(0, headEnd + 4);
    int status = atoi(response.head.c_str() + 9);
    size_t length = 0;
    if (!headOnly && status >= 200 && status != 204 && status != 304) {
        length = strtoull(response.header("Content-Length").c_str(), nullptr, 10);
    }
    while (pending_.size() < length) {
        ssize_t n = rawRead(buffer, sizeof buffer);
        if (n <= 0) {
            return response;
        }
        pending_.append(buffer, static_cast<size_t>(n));
    }
    response.body = pending_.substr(0, length);
    pending_.erase(0, length);
    response.status = status;
    return response;
}

std::string Client::readUntilClose() {
    std::string all;
    all.swap(pending_);
    char buffer[65536];
    ssize_t n;
    while ((n = rawRead(buffer, sizeof buffer)) > 0) {
        all.append(buffer, static_cast<size_t>(n));
    }
    return all;
}

bool Client::closedByServer() {
    char byte;
    return pending_.empty() && rawRead(&byte, 1) == 0;
}

void Client::shutdownSending() {
    ::shutdown(fd_, SHUT_WR);
}

TlsClient::TlsClient(uint16_t port, const std::string& certificateFile, const std::string& keyFile)
    : Client(port) {
    context_ = SSL_CTX_new(TLS_client_method());
    if (!certificateFile.empty()) {
        SSL_CTX_use_certificate_file(context_, certificateFile.c_str(), SSL_FILETYPE_PEM);
        SSL_CTX_use_PrivateKey_file(context_, keyFile.c_str(), SSL_FILETYPE_PEM);
    }
    if (fd_ < 0) {
        return;
    }
    SSL* ssl = SSL_new(context_);
    SSL_set_fd(ssl, fd_);
    if (SSL_connect(ssl) == 1) {
        ssl_ = ssl;
    } else {
        SSL_free(ssl);
    }
}

TlsClient::~TlsClient() {
    if (ssl_ != nullptr) {
        SSL_shutdown(ssl_);
        SSL_free(ssl_);
    }
    SSL_CTX_free(context_);
}

ssize_t TlsClient::rawRead(char* buffer, size_t size) {
    if (ssl_ == nullptr) {
        return -1;
    }
    int n = SSL_read(ssl_, buffer, static_cast<int>(size));
    return n > 0 ? n : (SSL_get_error(ssl_, n) == SSL_ERROR_ZERO_RETURN ? 0 : -1);
}

ssize_t TlsClient::rawWrite(const char* data, size_t size) {
    return ssl_ == nullptr ? -1 : SSL_write(ssl_, data, static_cast<int>(size));
}

std::string okResponse(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

isapihost::AfterResponse answer(isapihost::Exchange& exchange, const std::string& body) {
    std::string response = okResponse(body);
    return exchange.writeAll(response.data(), response.size()) ? isapihost::AfterResponse::KeepAlive
                                                               : isapihost::AfterResponse::Close;
}

RunningServer::RunningServer(isapihost::RequestHandler& handler,
                             const isapihost::ServerLimits& limits,
                             const isapihost::ListenerConfig& listener)
    : server_(handler, limits) {
    std::string error;
    port_ = server_.listen(listener, &error);
    EXPECT_NE(port_, 0) << error;
    thread_ = std::thread([this] {
        server_.run();
        returned_ = true;
    });
}

RunningServer::~RunningServer() {
    server_.stop();
    thread_.join();
}

bool RunningServer::stop(std::chrono::milliseconds limit) {
    server_.stop();
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!returned_ && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return returned_;
}

isapihost::ServerLimits testLimits() {
    isapihost::ServerLimits limits;
    limits.workerThreads = 4;
    limits.connectionTimeout = std::chrono::seconds(5);
    limits.headerTimeout = std::chrono::seconds(5);
    limits.keepAliveTimeout = std::chrono::seconds(5);
    return limits;
}

bool readBody(isapihost::Exchange& exchange, std::string* body) {
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

isapihost::AfterResponse echo(isapihost::Exchange& exchange) {
    std::string body;
    if (!readBody(exchange, &body)) {
        return isapihost::AfterResponse::Close;
    }
    return answer(exchange, exchange.head().method + " " + exchange.head().target + " " + body);
}

long long msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

}  // namespace httptest
