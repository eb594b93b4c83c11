#include "response_checks.h"

#include <array>
#include <cstdio>
#include <vector>

#include "http_client.h"

namespace testsupport {

namespace {

uint32_t crc32Of(const std::string& data) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

// The shared client, read piece by piece.
class StreamingConnection : public HttpConnection {
  public:
    using HttpConnection::HttpConnection;
    using HttpConnection::receive;
};

}  // namespace

std::string uploadBody(size_t size) {
    std::string body(size, '\0');
    uint32_t state = 0x12345678u;
    for (char& byte : body) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return body;
}

std::string uploadDigest(const std::string& body) {
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", crc32Of(body));
    return "length=" + std::to_string(body.size()) + " crc32=" + crc;
}

unsigned char streamByte(uint64_t offset) {
    return static_cast<unsigned char>('a' + (offset % (32 * 1024)) % 26);
}

CountedResponse countResponse(int port, const std::string& request,
                              const std::function<unsigned char(uint64_t)>& expected) {
    CountedResponse result;
    StreamingConnection connection(port);
    if (!connection.send(request)) {
        return result;
    }
    std::vector<char> buffer(256 * 1024);
    bool inBody = false;
    bool wrong = false;
    for (;;) {
        ssize_t n = connection.receive(buffer.data(), buffer.size());
        if (n == 0) {
            result.closedCleanly = true;
            break;
        }
        if (n < 0) {
            break;
        }
        size_t start = 0;
        if (!inBody) {
            result.head.append(buffer.data(), static_cast<size_t>(n));
            size_t end = result.head.find("\r\n\r\n");
            if (end == std::string::npos) {
                continue;
            }
            size_t bodyInHead = result.head.size() - (end + 4);
            start = static_cast<size_t>(n) - bodyInHead;
            result.head.resize(end + 4);
            inBody = true;
        }
        for (size_t i = start; i < static_cast<size_t>(n); ++i) {
            if (!wrong && static_cast<unsigned char>(buffer[i]) != expected(result.bodyBytes)) {
                wrong = true;
                result.firstWrong = result.bodyBytes;
            }
            ++result.bodyBytes;
        }
    }
    if (!wrong) {
        result.firstWrong = result.bodyBytes;
    }
    return result;
}

}  // namespace testsupport
