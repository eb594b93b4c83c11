// An Exchange without a network: the request head and body are given, what the server
// writes is collected.
#ifndef TESTS_UNIT_STAND_INS_ISAPIHOST_HOST_FAKE_EXCHANGE_H
#define TESTS_UNIT_STAND_INS_ISAPIHOST_HOST_FAKE_EXCHANGE_H

#include <algorithm>
#include <cstring>
#include <string>

#include "stand-ins/isapihost/http/exchange.h"

namespace isapihost {

class FakeExchange : public Exchange {
  public:
    FakeExchange(const std::string& method, const std::string& target, std::vector<Header> headers,
                 std::string body = "")
        : body_(std::move(body)) {
        head_.method = method;
        head_.target = target;
        head_.headers = std::move(headers);
        head_.contentLength = body_.size();
        connection_.remoteAddress = "10.1.2.3";
        connection_.localAddress = "127.0.0.1";
        connection_.localPort = 8081;
    }
    const RequestHead& head() const override { return head_; }
    const ConnectionInfo& connection() const override { return connection_; }
    ssize_t readSome(void* buffer, size_t size) override {
        size_t n = std::min(size, body_.size() - read_);
        std::memcpy(buffer, body_.data() + read_, n);
        read_ += n;
        return static_cast<ssize_t>(n);
    }
    bool writeAll(const void* data, size_t size) override {
        written.append(static_cast<const char*>(data), size);
        ++writes;
        return true;
    }
    uint64_t bytesSent() const override { return written.size(); }
    uint64_t bytesReceived() const override { return read_; }

    RequestHead& mutableHead() { return head_; }
    ConnectionInfo& mutableConnection() { return connection_; }
    std::string written;
    int writes = 0;

  private:
    RequestHead head_;
    ConnectionInfo connection_;
    std::string body_;
    size_t read_ = 0;
};

}  // namespace isapihost

#endif  // TESTS_UNIT_STAND_INS_ISAPIHOST_HOST_FAKE_EXCHANGE_H
