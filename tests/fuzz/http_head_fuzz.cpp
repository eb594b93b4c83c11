// isapihost's request framing against a client whose bytes are the input: the heads read
// and parsed as a connection reads them (head_reading.h), each request's body taken by a
// handler through the connection's Exchange, then the next pipelined request, until a head
// is refused, the client ends, or a request does not let the connection be kept.
//
// Input: two bytes of settings, then the client's bytes. The transport hands them over in
// pieces whose lengths come from the bytes themselves, so that heads, lines and bodies are
// split everywhere.
//
//   split byte   0: each read takes all it can; n: a piece is 1 + (its first byte % n) long
//   read byte    the handler reads the body this many bytes at a time (0: 8 KiB, which
//                bypasses the buffer)
#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "stand-ins/isapihost/http/connection_exchange.h"
#include "stand-ins/isapihost/http/exchange.h"
#include "stand-ins/isapihost/http/head_parser.h"
#include "stand-ins/isapihost/http/head_reading.h"
#include "stand-ins/isapihost/http/http_server.h"
#include "stand-ins/isapihost/http/read_buffer.h"
#include "stand-ins/isapihost/http/transport.h"

namespace {

using isapihost::IoResult;
using isapihost::IoStatus;

constexpr size_t kMaxRequests = 64;
constexpr size_t kDirectRead = 8192;  // at least half the buffer: read past it

// The client: the input in pieces, then an orderly close; what the server writes is kept.
class ScriptedTransport final : public isapihost::Transport {
  public:
    ScriptedTransport(const uint8_t* data, size_t size, uint8_t split)
        : Transport(-1), data_(data), size_(size), split_(split) {}

    IoResult tryRead(void* buffer, size_t size) override {
        if (offset_ == size_) {
            return {IoStatus::Closed, 0};
        }
        size_t piece = size_ - offset_;
        if (split_ != 0) {
            piece = std::min<size_t>(piece, 1 + data_[offset_] % split_);
        }
        piece = std::min(piece, size);
        std::copy(data_ + offset_, data_ + offset_ + piece, static_cast<uint8_t*>(buffer));
        offset_ += piece;
        return {IoStatus::Done, piece};
    }

    IoResult tryWrite(const void* data, size_t size) override {
        written.append(static_cast<const char*>(data), size);
        return {IoStatus::Done, size};
    }

    std::string written;

  private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
    uint8_t split_;
};

// The handler's part: exactly the body, as the extensions read it. False when the client
// ended or failed first.
bool readBody(isapihost::ConnectionExchange& exchange, uint64_t length, size_t pieceSize) {
    std::vector<char> piece(pieceSize);
    while (length > 0) {
        ssize_t n = exchange.readSome(piece.data(), std::min<uint64_t>(length, pieceSize));
        if (n <= 0) {
            return false;
        }
        if (static_cast<uint64_t>(n) > length) {
            std::abort();  // a read past the body would take the next request's bytes
        }
        length -= static_cast<uint64_t>(n);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    size_t maxHeadBytes = isapihost::ServerLimits().maxHeadBytes;
    size_t pieceSize = data[1] == 0 ? kDirectRead : data[1];
    ScriptedTransport transport(data + 2, size - 2, data[0]);
    isapihost::ReadBuffer buffer(isapihost::readBufferCapacity(maxHeadBytes));
    isapihost::HeadParser parser(maxHeadBytes);
    isapihost::RequestHead head;
    isapihost::ConnectionInfo info;
    isapihost::ConnectionExchange exchange(transport, buffer, head, info, std::chrono::seconds(1));

    for (size_t request = 0; request < kMaxRequests; ++request) {
        parser.reset(&head);
        bool started = false;
        if (readRequestHead(transport, buffer, parser, started) !=
            isapihost::HeadReading::Complete) {
            break;
        }
        size_t headBytes = parser.headBytes();
        if (headBytes > buffer.size() || headBytes > maxHeadBytes || head.method.empty() ||
            head.rawHeaders.size() >= headBytes) {
            std::abort();
        }
        buffer.consume(headBytes);
        exchange.begin(headBytes, parser.expectsContinue());
        if (!readBody(exchange, head.contentLength, pieceSize) || !head.clientWantsKeepAlive ||
            !exchange.bodyConsumed()) {
            break;
        }
    }
    return 0;
}
