#include "http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace testsupport {

HttpConnection::HttpConnection(int port, int timeoutSeconds) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
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
        ::close(fd_);
        fd_ = -1;
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

bool HttpConnection::send(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
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
    ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) {
        ended_ = true;
        return false;
    }
    pending_.append(buffer, static_cast<size_t>(n));
    return true;
}

HttpResponse HttpConnection::read(bool headRequest, bool untilClose) {
    HttpResponse response;
    size_t headEnd;
    while ((headEnd = pending_.find("\r\n\r\n")) == std::string::npos) {
        if (!fill()) {
            response.raw = pending_;
            response.connectionClosed = true;
            pending_.clear();
            return response;
        }
    }
    std::string head = pending_.substr(0, headEnd + 4);
    pending_.erase(0, headEnd + 4);
    response.raw = head;
    response.statusLine = head.substr(0, head.find("\r\n"));
    auto space = response.statusLine.find(' ');
    if (space != std::string::npos) {
        response.status = std::atoi(response.statusLine.c_str() + space + 1);
    }
    size_t lineStart = head.find("\r\n") + 2;
    while (lineStart < headEnd) {
        size_t lineEnd = head.find("\r\n", lineStart);
        std::string line = head.substr(lineStart, lineEnd - lineStart);
        auto colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            for (char& c : name)
                c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            response.headers[name] = value;
        }
        lineStart = lineEnd + 2;
    }
    auto length = response.headers.find("content-length");
    if (headRequest || response.status == 304 || response.status / 100 == 1) {
        return response;
    }
    if (length != response.headers.end() && !untilClose) {
        size_t wanted = static_cast<size_t>(std::strtoull(length->second.c_str(), nullptr, 10));
        while (pending_.size() < wanted && fill()) {
        }
        size_t take = std::min(wanted, pending_.size());
        response.body = pending_.substr(0, take);
        pending_.erase(0, take);
    } else {
        while (fill()) {
        }
        response.body = pending_;
        pending_.clear();
        response.connectionClosed = true;
    }
    response.raw += response.body;
    return response;
}

std::string HttpConnection::readAll() {
    while (fill()) {
    }
    std::string all = pending_;
    pending_.clear();
    return all;
}

bool HttpConnection::closedByServer(int waitMilliseconds) {
    if (!pending_.empty()) {
        return false;
    }
    pollfd descriptor{fd_, POLLIN, 0};
    if (poll(&descriptor, 1, waitMilliseconds) <= 0) {
        return false;
    }
    char byte;
    ssize_t n = recv(fd_, &byte, 1, MSG_PEEK);
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

HttpResponse httpRequest(int port, const std::string& method, const std::string& target,
                         const std::string& extraHeaders, const std::string& body) {
    HttpConnection connection(port);
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                          "Connection: close\r\n" + extraHeaders;
    if (!body.empty()) {
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    request += "\r\n" + body;
    if (!connection.send(request)) {
        return HttpResponse();
    }
    return connection.read(method == "HEAD");
}

}  // namespace testsupport
