#include "stand-ins/isapihost/http/connection_exchange.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <poll.h>

namespace isapihost {

namespace {
const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
}

void ConnectionExchange::begin(size_t headBytes, bool expectsContinue) {
    bytesSent_ = 0;
    bytesReceived_ = headBytes;
    bodyRead_ = 0;
    expectsContinue_ = expectsContinue;
    failed_ = false;
    ended_ = false;
}

bool ConnectionExchange::wait(IoStatus status, Clock::time_point deadline) {
    pollfd entry{transport_.fd(),
                 static_cast<short>(status == IoStatus::WantWrite ? POLLOUT : POLLIN), 0};
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        int ready = poll(&entry, 1, static_cast<int>(std::min<int64_t>(left.count(), INT32_MAX)));
        if (ready > 0) {
            return true;  // readable, writable, or an error the next call will report
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
}

ssize_t ConnectionExchange::receive(void* buffer, size_t size) {
    Clock::time_point deadline = Clock::now() + timeout_;
    for (;;) {
        IoResult r = transport_.tryRead(buffer, size);
        switch (r.status) {
            case IoStatus::Done:
                return static_cast<ssize_t>(r.bytes);
            case IoStatus::Closed:
                ended_ = true;
                return 0;
            case IoStatus::Failed:
                failed_ = true;
                return -1;
            case IoStatus::WantRead:
            case IoStatus::WantWrite:
                if (!wait(r.status, deadline)) {
                    failed_ = true;
                    return -1;
                }
                break;
        }
    }
}

ssize_t ConnectionExchange::readSome(void* buffer, size_t size) {
    if (failed_) {
        return -1;
    }
    if (size == 0) {
        return 0;
    }
    if (buffer_.empty()) {
        if (ended_) {
            return 0;
        }
        // The client waits for our word before it sends the body, unless the handler has
        // already answered.
        if (expectsContinue_) {
            expectsContinue_ = false;
            if (bytesSent_ == 0 && !send(kContinue, sizeof kContinue - 1, false)) {
                return -1;
            }
        }
        if (size >= buffer_.capacity() / 2) {
            ssize_t n = receive(buffer, size);
            if (n > 0) {
                bytesReceived_ += static_cast<uint64_t>(n);
                bodyRead_ += static_cast<uint64_t>(n);
            }
            return n;
        }
        ssize_t n = receive(buffer_.space(), buffer_.spaceSize());
        if (n <= 0) {
            return n;
        }
        buffer_.commit(static_cast<size_t>(n));
    }
    size_t n = buffer_.take(buffer, size);
    bytesReceived_ += n;
    bodyRead_ += n;
    return static_cast<ssize_t>(n);
}

bool ConnectionExchange::send(const char* data, size_t size, bool count) {
    Clock::time_point deadline = Clock::now() + timeout_;
    while (size > 0) {
        IoResult r = transport_.tryWrite(data, size);
        switch (r.status) {
            case IoStatus::Done:
                data += r.bytes;
                size -= r.bytes;
                if (count) {
                    bytesSent_ += r.bytes;
                }
                // The time-out is for a client that stops reading, not for a long response.
                deadline = Clock::now() + timeout_;
                break;
            case IoStatus::Closed:
            case IoStatus::Failed:
                failed_ = true;
                return false;
            case IoStatus::WantRead:
            case IoStatus::WantWrite:
                if (!wait(r.status, deadline)) {
                    failed_ = true;
                    return false;
                }
                break;
        }
    }
    return true;
}

bool ConnectionExchange::writeAll(const void* data, size_t size) {
    if (failed_) {
        return false;
    }
    return send(static_cast<const char*>(data), size, true);
}

}  // namespace isapihost
