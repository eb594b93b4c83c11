// The client-certificate descriptor that both connectors hand to the servlet engine:
//
//   "&DN#" subject [" " server subject]  "&IN#" issuer  "&SN#" reversed serial  "&END&"
//
// built from IIS's CERT_ server variables. The adapter sends it to an instance on request,
// the in-process connector returns it to Java; the two report "CERT_FLAGS" differently, so
// the builder hands that value to the caller and leaves it out of the descriptor.
//
// Keeps no state: any thread may build a descriptor for the request it serves.
#ifndef BREVANT_COMMON_CLIENT_CERTIFICATE_H
#define BREVANT_COMMON_CLIENT_CERTIFICATE_H

#include <windows.h>

#include <cstddef>
#include <functional>

namespace brevant::common {

constexpr size_t kCertificateDescriptorSize = 4096;
constexpr size_t kCertificateValueSize = 1024;  // each variable is read with a size of 1023

// Reads one server variable as GetServerVariable does: fills `buffer`, which holds `*size`
// bytes, and sets `*size` to the length IIS reports; false when the variable cannot be read.
using ServerVariableReader = std::function<bool(const char* name, char* buffer, DWORD* size)>;

// Receives the value of "CERT_FLAGS" when it is present and not empty.
using CertificateFlagsReporter = std::function<void(const char* flags)>;

// Builds the descriptor into `descriptor`, NUL-terminated, and answers its length (the
// characters from the first tag through "&END&"). A variable counts when it was read and is
// not empty; "CERT_SERVER_SUBJECT" is read only after a subject. The serial number is
// expected as 16 two-digit groups with one separator between them (47 characters); a shorter
// one gives only the groups it holds, and nothing past its end is read.
size_t buildClientCertificate(const ServerVariableReader& readVariable,
                              const CertificateFlagsReporter& reportFlags,
                              char (&descriptor)[kCertificateDescriptorSize]);

}  // namespace brevant::common

#endif  // BREVANT_COMMON_CLIENT_CERTIFICATE_H
