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
#include <string_view>
#include <vector>

#include "scripted_transport.h"
#include "stand-ins/isapihost/http/connection_exchange.h"
#include "stand-ins/isapihost/http/exchange.h"
#include "stand-ins/isapihost/http/head_parser.h"
#include "stand-ins/isapihost/http/head_reading.h"
#include "stand-ins/isapihost/http/http_server.h"
#include "stand-ins/isapihost/http/read_buffer.h"

namespace {

constexpr size_t kMaxRequests = 64;
constexpr size_t kDirectRead = 8192;  // at least half the buffer: read past it
constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

// The client's bytes in pieces: whole when `split` is 0, else each piece 1 + (its first
// byte % split) long.
std::vector<std::string_view> piecesOf(const uint8_t* data, size_t size, uint8_t split) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> pieces;
    while (!bytes.empty()) {
        size_t length = split == 0 ? bytes.size() : 1 + static_cast<uint8_t>(bytes[0]) % split;
        pieces.push_back(bytes.substr(0, length));
        bytes.remove_prefix(pieces.back().size());
    }
    return pieces;
}

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
    testsupport::ScriptedTransport transport(piecesOf(data + 2, size - 2, data[0]));
    isapihost::ReadBuffer buffer(isapihost::readBufferCapacity(maxHeadBytes));
    isapihost::HeadParser parser(maxHeadBytes);
    isapihost::RequestHead head;
    isapihost::ConnectionInfo info;
    isapihost::ConnectionExchange exchange(transport, buffer, head, info, std::chrono::seconds(1));

    size_t continuesAllowed = 0;  // one for each request that expected it
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
        continuesAllowed += parser.expectsContinue() ? 1 : 0;
        exchange.begin(headBytes, parser.expectsContinue());
        if (!readBody(exchange, head.contentLength, pieceSize) || !head.clientWantsKeepAlive ||
            !exchange.bodyConsumed()) {
            break;
        }
    }
    // The server's only words here are interim answers.
    std::string_view written = transport.written;
    for (; written.starts_with(kContinue); written.remove_prefix(kContinue.size())) {
        if (continuesAllowed-- == 0) {
            std::abort();
        }
    }
    if (!written.empty()) {
        std::abort();
    }
    return 0;
}
