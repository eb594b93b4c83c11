// Certificate fields in the text forms IIS reports them (CERT_SUBJECT, CERT_ISSUER,
// CERT_SERIALNUMBER, HTTPS_SERVER_SUBJECT).
// Thread safety: pure functions, any thread.
#ifndef ISAPIHOST_HTTP_CERTIFICATE_TEXT_H
#define ISAPIHOST_HTTP_CERTIFICATE_TEXT_H

#include <string>

#include <openssl/x509.h>

namespace isapihost {

// "C=US, O=Example, CN=client": the relative names in certificate order, ", " between
// them, no blanks around "=".
std::string certificateNameText(const X509_NAME* name);

// The serial's bytes least significant first, two lower-case hex digits each, joined by
// "-": serial 0x0102...10 gives "10-0f-...-01".
std::string certificateSerialText(const ASN1_INTEGER* serial);

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_CERTIFICATE_TEXT_H
