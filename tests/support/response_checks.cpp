#include "response_checks.h"

#include <cstdio>

#include "crc32.h"

namespace testsupport {

std::string uploadBody(size_t size) {
    std::string body(size, '\0');
    ScrambledBytes bytes;
    for (char& byte : body) {
        byte = static_cast<char>(bytes.next());
    }
    return body;
}

std::string uploadDigest(const std::string& body) {
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x",
                  crc32(reinterpret_cast<const unsigned char*>(body.data()), body.size()));
    return "length=" + std::to_string(body.size()) + " crc32=" + crc;
}

unsigned char streamByte(uint64_t offset) {
    return static_cast<unsigned char>('a' + (offset % (32 * 1024)) % 26);
}

}  // namespace testsupport
