#include "stand-ins/win32/src/services/service_channel.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

namespace standin::services {

namespace {

// Strings of a request are names and arguments; anything longer is not a request.
constexpr uint32_t kMaximumStrings = 4096;
constexpr uint32_t kMaximumStringLength = 65536;

}  // namespace

bool sendAll(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t sent = send(fd, bytes, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes += sent;
        size -= size_t(sent);
    }
    return true;
}

bool receiveAll(int fd, void* data, size_t size, int timeoutMs, bool* timedOut) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char* bytes = static_cast<char*>(data);
    if (timedOut != nullptr) {
        *timedOut = false;
    }
    while (size > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            if (timedOut != nullptr) {
                *timedOut = true;
            }
            return false;
        }
        pollfd readable{fd, POLLIN, 0};
        int ready = poll(&readable, 1, int(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return false;
        }
        if (ready == 0) {
            continue;  // the deadline check above ends it
        }
        ssize_t got = recv(fd, bytes, size, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        size -= size_t(got);
    }
    return true;
}

bool sendStrings(int fd, const std::vector<std::string>& strings) {
    uint32_t count = uint32_t(strings.size());
    if (!sendAll(fd, &count, sizeof(count))) {
        return false;
    }
    for (const std::string& text : strings) {
        uint32_t length = uint32_t(text.size());
        if (!sendAll(fd, &length, sizeof(length)) || !sendAll(fd, text.data(), text.size())) {
            return false;
        }
    }
    return true;
}

bool receiveStrings(int fd, std::vector<std::string>* strings, int timeoutMs) {
    uint32_t count = 0;
    if (!receiveAll(fd, &count, sizeof(count), timeoutMs) || count > kMaximumStrings) {
        return false;
    }
    strings->clear();
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length = 0;
        if (!receiveAll(fd, &length, sizeof(length), timeoutMs) || length > kMaximumStringLength) {
            return false;
        }
        std::string text(length, '\0');
        if (length > 0 && !receiveAll(fd, text.data(), length, timeoutMs)) {
            return false;
        }
        strings->push_back(std::move(text));
    }
    return true;
}

}  // namespace standin::services
