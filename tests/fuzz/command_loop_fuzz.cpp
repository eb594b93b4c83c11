// The adapter's side of one exchange with an instance: the request head built from the
// client's headers as IIS lists them (ALL_HTTP) and sent, then the command loop
// (serveCommands) against an instance whose bytes are the input. Checked beyond the
// sanitizers: no client header reaches the instance as one of the adapter's markers, and the
// client sees only command 0's data, in order.
//
// Input: one byte of settings, one byte for the client's body, the ALL_HTTP text up to a NUL
// byte, then everything the instance sends. The instance's bytes wait in a Unix socket pair
// whose other end is closed first, so the adapter meets them as a TCP connection's buffered
// bytes followed by end-of-stream; what it sends (head, body, certificate) fails as on a
// closed connection, which the loop notices at its next receive. The client is the tests'
// fake control block, with 5 bytes of body preloaded.
//
//   settings bit 0   the keep-alive extension (command 3)
//            bit 1   the relay buffer of a kept connection instead of 4 KiB on the stack
//            bit 2   the client goes away at the end of its body instead of ending it
//            bit 3   WriteClient fails after (body byte % 8) writes
//            bit 4-5 ReadClient delivers at most 0 (no limit), 1, 7 or 4095 bytes a call
//            bit 6-7 WriteClient takes at most 0 (no limit), 1, 7 or 4095 bytes a call
//   body byte        the client's body is 97 times this many bytes
#include <winsock2.h>
#include <windows.h>
#include <httpext.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "fake_ecb.h"
#include "native/adapter/connection_pool.h"
#include "native/adapter/instance_connection.h"
#include "native/adapter/request_relay.h"

namespace {

using brevant::adapter::InstanceConnection;
using testsupport::FakeEcb;

// Well below a Unix socket's send buffer, so that the whole input is written before the
// loop starts without blocking.
constexpr size_t kMaxInstanceBytes = 64 * 1024;
constexpr size_t kBodyUnit = 97;  // not a divisor of the relay's 4 KiB pieces
constexpr size_t kPieceLimits[] = {0, 1, 7, 4095};

// A client's upload routed through the filter, over TLS with a client certificate.
void describeClient(FakeEcb& ecb, uint8_t settings, uint8_t body, std::string allHttp) {
    ecb.variables = {{"REQUEST_METHOD", "POST"},
                     {"HTTP_X_BREVANT_REQUEST", "/servlet/Upload"},
                     {"SERVER_PROTOCOL", "HTTP/1.1"},
                     {"ALL_HTTP", std::move(allHttp)},
                     {"REMOTE_ADDR", "192.0.2.7"},
                     {"SERVER_NAME", "www.example.com"},
                     {"SERVER_PORT", "443"},
                     {"SERVER_PORT_SECURE", "1"},
                     {"CERT_SUBJECT", "C=US, O=Example, CN=client"},
                     {"CERT_SERVER_SUBJECT", "CN=shop.example"},
                     {"CERT_ISSUER", "C=US, O=Example, CN=Example CA"},
                     {"CERT_SERIALNUMBER", "10-0f-0e-0d-0c-0b-0a-09-08-07-06-05-04-03-02-01"},
                     {"CERT_FLAGS", "1"}};
    ecb.setBody("name=", std::string(kBodyUnit * body, 'b'));
    ecb.clientEnd = (settings & 4) != 0 ? FakeEcb::ClientEnd::Fails : FakeEcb::ClientEnd::EndOfBody;
    ecb.writeFailsAfter = (settings & 8) != 0 ? body % 8 : -1;
    ecb.readLimit = kPieceLimits[(settings >> 4) & 3];
    ecb.writeLimit = kPieceLimits[(settings >> 6) & 3];
}

// The response bytes of the instance's command 0 frames, up to where a loop that meets no
// failure stops: the bytes the client may see, of which it sees a prefix.
std::string responseOf(const uint8_t* bytes, size_t size) {
    std::string response;
    auto operand = [&](size_t at) {
        return at + 4 <= size ? uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 |
                                    uint32_t{bytes[at + 2]} << 8 | bytes[at + 3]
                              : 0;
    };
    for (size_t at = 0; at < size;) {
        uint8_t command = bytes[at++];
        if (command == 0) {
            size_t start = std::min(size, at + 4);
            size_t length = std::min<size_t>(operand(at), size - start);
            response.append(reinterpret_cast<const char*>(bytes + start), length);
            at = start + length;
        } else if (command == 1) {
            at += 4;
        } else if (command != 2) {
            break;  // command 3 or an unknown one ends the exchange
        }
    }
    return response;
}

// Whether the head's header lines beginning "X-BREVANT-" are the adapter's own: none, or
// with the extension the exchange line alone. A client must not forge them.
bool onlyOwnMarkers(std::string_view head, bool extension) {
    size_t markers = 0;
    for (size_t at = head.find("\r\n"); at != std::string_view::npos; at = head.find("\r\n", at)) {
        at += 2;
        if (head.substr(at).starts_with("X-BREVANT-")) {
            ++markers;
        }
    }
    bool exchangeLineLast = head.ends_with("\r\nX-BREVANT-EXCHANGE: 1; preloaded=5\r\n\r\n");
    return extension ? markers == 1 && exchangeLineLast : markers == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("STANDIN_DEBUG_OUTPUT", "/dev/null", 1);  // "Received unknown command" per input
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto* allHttpEnd =
        size < 2 ? nullptr : static_cast<const uint8_t*>(std::memchr(data + 2, 0, size - 2));
    if (allHttpEnd == nullptr ||
        data + size - allHttpEnd - 1 > static_cast<ptrdiff_t>(kMaxInstanceBytes)) {
        return 0;
    }
    uint8_t settings = data[0];
    const uint8_t* instanceBytes = allHttpEnd + 1;
    size_t instanceSize = static_cast<size_t>(data + size - instanceBytes);

    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) {
        std::abort();
    }
    ssize_t written = instanceSize == 0
                          ? 0
                          : send(ends[1], static_cast<const void*>(instanceBytes), instanceSize, 0);
    close(ends[1]);
    if (written != static_cast<ssize_t>(instanceSize)) {
        std::abort();
    }

    FakeEcb ecb;
    describeClient(ecb, settings, data[1], std::string(data + 2, allHttpEnd));
    bool extension = (settings & 1) != 0;
    std::unique_ptr<char[]> kept;
    if ((settings & 2) != 0) {
        kept = std::make_unique<char[]>(brevant::adapter::kKeptPieceSize);
    }
    InstanceConnection connection(static_cast<SOCKET>(ends[0]), nullptr, std::move(kept), false);
    brevant::adapter::RequestBytes request;
    if (!readRequestHeader(ecb.get(), extension, &request) ||
        !onlyOwnMarkers(request.head, extension)) {
        std::abort();
    }
    readAddlInfo(ecb.get(), &request);
    sendRequest(connection, request, ecb.get());
    brevant::adapter::ExchangeEnd end = serveCommands(connection, ecb.get(), extension);

    // Only command 0's data reaches the client, in order; command 3 only with the extension.
    std::string response = responseOf(instanceBytes, instanceSize);
    if (response.compare(0, ecb.written.size(), ecb.written) != 0 || (end.kept && !extension) ||
        end.responseStarted != !ecb.written.empty()) {
        std::abort();
    }
    return 0;
}
