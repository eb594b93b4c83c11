// Checks of large responses for the end-to-end tests: the digest the Upload servlet answers
// with, and a streamed body compared with a pattern as it arrives instead of being kept.
#ifndef TESTS_SUPPORT_RESPONSE_CHECKS_H
#define TESTS_SUPPORT_RESPONSE_CHECKS_H

#include <cstdint>
#include <functional>
#include <string>

namespace testsupport {

// A body of `size` bytes holding every byte value, in no simple order.
std::string uploadBody(size_t size);

// "length=<n> crc32=<8 hex digits>", CRC-32 as java.util.zip.CRC32 computes it: what the
// Upload servlet answers for `body`.
std::string uploadDigest(const std::string& body);

// What a streamed response looked like, counted as it arrived rather than kept.
struct CountedResponse {
    std::string head;         // status line and headers
    uint64_t bodyBytes = 0;   // bytes after the head until the server closed
    uint64_t firstWrong = 0;  // offset of the first byte off the pattern, or bodyBytes
    bool closedCleanly = false;
};

// Sends `request` to 127.0.0.1:port and reads until the server closes; the body is checked
// against `expected(offset)` byte by byte and counted, never stored.
CountedResponse countResponse(int port, const std::string& request,
                              const std::function<unsigned char(uint64_t)>& expected);

// The pattern of the Stream servlet: 32 KiB pieces, each 'a'..'z' repeated from its start.
unsigned char streamByte(uint64_t offset);

}  // namespace testsupport

#endif  // TESTS_SUPPORT_RESPONSE_CHECKS_H
