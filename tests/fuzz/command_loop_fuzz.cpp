// The adapter's command loop (serveCommands) against an instance whose bytes are the input.
//
// Input: one byte of settings, one byte for the client's body, then everything the instance
// sends. The instance's bytes wait in a Unix socket pair whose other end is closed before
// the loop starts, so the loop meets them as a TCP connection's buffered bytes followed by
// end-of-stream; what the adapter sends back (body, certificate) fails as on a closed
// connection, which the loop notices at its next receive. The client is the tests' fake
// control block.
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
#include <memory>
#include <string>

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

// A client whose request routed through the filter, over TLS with a client certificate.
void describeClient(FakeEcb& ecb, uint8_t settings, uint8_t body) {
    ecb.variables = {{"CERT_SUBJECT", "C=US, O=Example, CN=client"},
                     {"CERT_SERVER_SUBJECT", "CN=shop.example"},
                     {"CERT_ISSUER", "C=US, O=Example, CN=Example CA"},
                     {"CERT_SERIALNUMBER", "10-0f-0e-0d-0c-0b-0a-09-08-07-06-05-04-03-02-01"},
                     {"CERT_FLAGS", "1"}};
    ecb.setBody("", std::string(kBodyUnit * body, 'b'));
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

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("STANDIN_DEBUG_OUTPUT", "/dev/null", 1);  // "Received unknown command" per input
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size - 2 > kMaxInstanceBytes) {
        return 0;
    }
    uint8_t settings = data[0];
    const void* instanceBytes = data + 2;
    size_t instanceSize = size - 2;

    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) {
        std::abort();
    }
    ssize_t written = instanceSize == 0 ? 0 : send(ends[1], instanceBytes, instanceSize, 0);
    close(ends[1]);
    if (written != static_cast<ssize_t>(instanceSize)) {
        std::abort();
    }

    FakeEcb ecb;
    describeClient(ecb, settings, data[1]);
    bool extension = (settings & 1) != 0;
    std::unique_ptr<char[]> kept;
    if ((settings & 2) != 0) {
        kept = std::make_unique<char[]>(brevant::adapter::kKeptPieceSize);
    }
    InstanceConnection connection(static_cast<SOCKET>(ends[0]), nullptr, std::move(kept), false);
    brevant::adapter::ExchangeEnd end = serveCommands(connection, ecb.get(), extension);

    // Only command 0's data reaches the client, in order; command 3 only with the extension.
    std::string response = responseOf(data + 2, instanceSize);
    if (response.compare(0, ecb.written.size(), ecb.written) != 0 || (end.kept && !extension) ||
        end.responseStarted != !ecb.written.empty()) {
        std::abort();
    }
    return 0;
}
