#include "native/common/client_certificate.h"

#include <cstring>
#include <optional>
#include <string_view>

#include "native/common/bounded_text.h"

namespace brevant::common {

namespace {

constexpr DWORD kSizePassed = kCertificateValueSize - 1;

// The serial's 16 groups of two digits sit at offsets 0, 3, ..., 45 of its 47 characters;
// the descriptor lists them last group first.
constexpr size_t kSerialGroups = 16;
constexpr size_t kSerialGroupStride = 3;
constexpr size_t kSerialGroupLength = 2;

// The value of `name` when it was read and is not empty. It lives in `value` until the next
// read.
std::optional<std::string_view> readCertificateVariable(const ServerVariableReader& readVariable,
                                                        const char* name,
                                                        char (&value)[kCertificateValueSize]) {
    value[0] = '\0';
    DWORD size = kSizePassed;
    if (!readVariable(name, value, &size) || size == 0) {
        return std::nullopt;
    }
    value[kSizePassed] = '\0';  // whatever the reader wrote, the text ends in the buffer
    size_t length = std::strlen(value);
    if (length == 0) {
        return std::nullopt;
    }
    return std::string_view(value, length);
}

void appendReversedSerial(BoundedText& descriptor, std::string_view serial) {
    for (size_t group = kSerialGroups; group > 0; --group) {
        size_t offset = (group - 1) * kSerialGroupStride;
        if (offset < serial.size()) {  // substr stops at the end of a short value
            descriptor.append(serial.substr(offset, kSerialGroupLength));
        }
    }
}

}  // namespace

size_t buildClientCertificate(const ServerVariableReader& readVariable,
                              const CertificateFlagsReporter& reportFlags,
                              char (&descriptor)[kCertificateDescriptorSize]) {
    BoundedText text(descriptor, sizeof descriptor);
    char value[kCertificateValueSize];

    if (auto flags = readCertificateVariable(readVariable, "CERT_FLAGS", value)) {
        reportFlags(flags->data());  // NUL-terminated in `value`
    }
    if (auto subject = readCertificateVariable(readVariable, "CERT_SUBJECT", value)) {
        text.append("&DN#");
        text.append(*subject);
        if (auto server = readCertificateVariable(readVariable, "CERT_SERVER_SUBJECT", value)) {
            text.append(" ");
            text.append(*server);
        }
    }
    if (auto issuer = readCertificateVariable(readVariable, "CERT_ISSUER", value)) {
        text.append("&IN#");
        text.append(*issuer);
    }
    if (auto serial = readCertificateVariable(readVariable, "CERT_SERIALNUMBER", value)) {
        text.append("&SN#");
        appendReversedSerial(text, *serial);
    }
    text.append("&END&");
    return text.length();
}

}  // namespace brevant::common
