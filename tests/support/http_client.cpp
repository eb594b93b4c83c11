#include "http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace testsupport {

namespace {

std::string lowerCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The status line and the headers of `head` (which ends with the empty line).
void parseHead(const std::string& head, HttpResponse* response) {
    size_t lineEnd = head.find("\r\n");
    response->statusLine = head.substr(0, lineEnd);
    size_t space = response->statusLine.find(' ');
    if (space != std::string::npos) {
        response->status = std::atoi(response->statusLine.c_str() + space + 1);
    }
    for (size_t start = lineEnd + 2; start + 2 < head.size(); start = lineEnd + 2) {
        lineEnd = head.find("\r\n", start);
        std::string line = head.substr(start, lineEnd - start);
        size_t colon = line.find(':');
        if (colon != std::string::npos) {
            size_t value = line.find_first_not_of(' ', colon + 1);
            response->headers[lowerCase(line.substr(0, colon))] =
                value == std::string::npos ? "" : line.substr(value);
        }
    }
}

}  // namespace

HttpConnection::HttpConnection(int port, int timeoutSeconds) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        return;
    }
    timeval timeout{timeoutSeconds, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close();
    }
}

HttpConnection::~HttpConnection() {
    close();
}

void HttpConnection::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

ssize_t HttpConnection::receive(char* buffer, size_t size) {
    return recv(fd_, buffer, size, 0);
}

ssize_t HttpConnection::transmit(const char* data, size_t size) {
    return ::send(fd_, data, size, MSG_NOSIGNAL);
}

bool HttpConnection::send(const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        ssize_t n = fd_ < 0 ? -1 : transmit(bytes.data() + sent, bytes.size() - sent);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool HttpConnection::fill() {
    if (ended_ || fd_ < 0) {
        return false;
    }
    char buffer[65536];
    ssize_t n = receive(buffer, sizeof buffer);
    if (n <= 0) {
        ended_ = true;
        return false;
    }
    pending_.append(buffer, static_cast<size_t>(n));
    return true;
}

HttpResponse HttpConnection::read(bool headRequest) {
    std::string body;
    HttpResponse response =
        readStreamed([&body](std::string_view piece) { body.append(piece); }, headRequest);
    response.body = std::move(body);
    response.raw += response.body;
    return response;
}

HttpResponse HttpConnection::readStreamed(const std::function<void(std::string_view)>& consume,
                                          bool headRequest) {
    HttpResponse response;
    size_t headEnd;
    while ((headEnd = pending_.find("\r\n\r\n")) == std::string::npos) {
        if (!fill()) {
            response.raw.swap(pending_);
            return response;
        }
    }
    response.raw = pending_.substr(0, headEnd + 4);
    pending_.erase(0, headEnd + 4);
    parseHead(response.raw, &response);
    if (headRequest || response.status / 100 == 1 || response.status == 204 ||
        response.status == 304) {
        return response;
    }
    // Without a length, the body ends with the connection.
    auto length = response.headers.find("content-length");
    size_t left = length == response.headers.end()
                      ? SIZE_MAX
                      : std::strtoull(length->second.c_str(), nullptr, 10);
    while (left > 0 && (!pending_.empty() || fill())) {
        const size_t piece = std::min(left, pending_.size());
        consume(std::string_view(pending_).substr(0, piece));
        pending_.erase(0, piece);
        left -= piece;
    }
    return response;
}

std::string HttpConnection::readAll() {
    while (fill()) {
    }
    std::string all;
    all.swap(pending_);
    return all;
}

bool HttpConnection::closedByServer(int waitMilliseconds) {
    pollfd descriptor{fd_, POLLIN, 0};
    if (!pending_.empty() || poll(&descriptor, 1, waitMilliseconds) <= 0) {
        return false;
    }
    char byte;
    ssize_t n = receive(&byte, 1);
    if (n > 0) {
        pending_ += byte;
    }
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

void HttpConnection::shutdownSending() {
    ::shutdown(fd_, SHUT_WR);
}

HttpResponse httpRequest(int port, const std::string& method, const std::string& target,
                         const std::string& extraHeaders, const std::string& body) {
    HttpConnection connection(port);
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                          "Connection: close\r\n" + extraHeaders;
    if (!body.empty()) {
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    if (!connection.send(request + "\r\n" + body)) {
        return HttpResponse();
    }
    return connection.read(method == "HEAD");
}

std::string cookieSet(const HttpResponse& response) {
    const auto header = response.headers.find("set-cookie");
    return header == response.headers.end() ? ""
                                            : header->second.substr(0, header->second.find(';'));
}

}  // namespace testsupport
