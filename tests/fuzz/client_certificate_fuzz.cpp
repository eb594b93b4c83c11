// The client-certificate descriptor from arbitrary CERT_ server variables. The input is cut
// into the values of CERT_FLAGS, CERT_SUBJECT, CERT_SERVER_SUBJECT, CERT_ISSUER and
// CERT_SERIALNUMBER after a first byte that says, one bit per variable, how the server
// answers: as IIS (the value and its NUL when they fit the buffer, else "buffer too small"
// with the size needed) or as a careless server (as many bytes as fit, no NUL, success). A
// variable the input does not reach is unknown to the server.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "native/common/client_certificate.h"

namespace {

constexpr const char* kVariables[] = {"CERT_FLAGS", "CERT_SUBJECT", "CERT_SERVER_SUBJECT",
                                      "CERT_ISSUER", "CERT_SERIALNUMBER"};
constexpr size_t kVariableCount = sizeof kVariables / sizeof kVariables[0];
constexpr std::string_view kEnd = "&END&";

struct Server {
    std::vector<std::string_view> values;
    uint8_t careless = 0;  // bit i: variable i is answered without regard to its NUL

    bool read(const char* name, char* buffer, DWORD* size) const {
        for (size_t i = 0; i < kVariableCount && i < values.size(); ++i) {
            if (std::strcmp(name, kVariables[i]) != 0) {
                continue;
            }
            const std::string_view value = values[i];
            if ((careless >> i) & 1) {
                const size_t count = value.size() < *size ? value.size() : *size;
                std::memcpy(buffer, value.data(), count);
                *size = static_cast<DWORD>(value.size());
                return true;
            }
            if (value.size() + 1 > *size) {
                *size = static_cast<DWORD>(value.size() + 1);
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return false;
            }
            std::memcpy(buffer, value.data(), value.size());
            buffer[value.size()] = '\0';
            *size = static_cast<DWORD>(value.size() + 1);
            return true;
        }
        SetLastError(ERROR_INVALID_INDEX);
        return false;
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::quietDebugOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    Server server;
    server.careless = data[0];
    server.values =
        fuzzsupport::splitParts(fuzzsupport::inputText(data + 1, size - 1), kVariableCount);
    char descriptor[brevant::common::kCertificateDescriptorSize];
    size_t flagsReported = 0;
    const size_t length = brevant::common::buildClientCertificate(
        [&server](const char* name, char* buffer, DWORD* bufferSize) {
            return server.read(name, buffer, bufferSize);
        },
        [&flagsReported](const char* flags) { flagsReported += std::strlen(flags) > 0 ? 1 : 0; },
        descriptor);
    // The descriptor is text that ends in its tag; flags are reported once at most.
    const std::string_view text(descriptor, length);
    if (length >= sizeof descriptor || descriptor[length] != '\0' ||
        std::strlen(descriptor) != length || text.size() < kEnd.size() ||
        text.substr(text.size() - kEnd.size()) != kEnd || flagsReported > 1) {
        std::abort();
    }
    return 0;
}
