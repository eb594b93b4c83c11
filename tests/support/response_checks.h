// What the test servlets answer, for the end-to-end tests: the digest of the Upload servlet
// and the byte pattern of the Stream servlet.
#ifndef TESTS_SUPPORT_RESPONSE_CHECKS_H
#define TESTS_SUPPORT_RESPONSE_CHECKS_H

#include <cstdint>
#include <string>

namespace testsupport {

// A body of `size` bytes holding every byte value, in no simple order.
std::string uploadBody(size_t size);

// "length=<n> crc32=<8 hex digits>", CRC-32 as java.util.zip.CRC32 computes it: what the
// Upload servlet answers for `body`.
std::string uploadDigest(const std::string& body);

// The Stream servlet's byte at `offset`: 32 KiB pieces, each 'a'..'z' repeated from its start.
unsigned char streamByte(uint64_t offset);

}  // namespace testsupport

#endif  // TESTS_SUPPORT_RESPONSE_CHECKS_H
