// What the test servlets answer, for the end-to-end tests: the digest of the Upload servlet
// and the byte patterns of the Stream servlet and of the sample application's Download servlet.
#ifndef TESTS_SUPPORT_RESPONSE_CHECKS_H
#define TESTS_SUPPORT_RESPONSE_CHECKS_H

#include <cstdint>
#include <string>

namespace testsupport {

// A sequence holding every byte value in no simple order, one byte after another: what the
// sample application's Download servlet answers (it makes the same sequence).
class ScrambledBytes {
  public:
    unsigned char next() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<unsigned char>(state_ >> 24);
    }

  private:
    uint32_t state_ = 0x12345678u;
};

// The first `size` bytes of ScrambledBytes.
std::string uploadBody(size_t size);

// "length=<n> crc32=<8 hex digits>", CRC-32 as java.util.zip.CRC32 computes it: what the
// Upload servlet answers for `body`.
std::string uploadDigest(const std::string& body);

// The Stream servlet's byte at `offset`: 32 KiB pieces, each 'a'..'z' repeated from its start.
unsigned char streamByte(uint64_t offset);

}  // namespace testsupport

#endif  // TESTS_SUPPORT_RESPONSE_CHECKS_H
