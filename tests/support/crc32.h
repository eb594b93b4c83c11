// CRC-32 as java.util.zip.CRC32 computes it, for the test extension and the tests alike.
#ifndef TESTS_SUPPORT_CRC32_H
#define TESTS_SUPPORT_CRC32_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace testsupport {

// The CRC-32 of `size` bytes, continued from `crc` (0 to begin).
inline uint32_t crc32(const unsigned char* data, size_t size, uint32_t crc = 0) {
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
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

}  // namespace testsupport

#endif  // TESTS_SUPPORT_CRC32_H
