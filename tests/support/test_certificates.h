// Certificates for the TLS tests, made at run time with the openssl tool.
#ifndef TESTS_SUPPORT_TEST_CERTIFICATES_H
#define TESTS_SUPPORT_TEST_CERTIFICATES_H

#include <string>

namespace testsupport {

// <name>.pem and <name>.key in `folder` for: "ca" (C=US, O=Test CA, CN=Test Root); "server"
// (C=US, O=Example, CN=127.0.0.1) and "client" (C=DE, O=Client Org, CN=client one, serial
// 0x0102030405060708090a0b0c0d0e0f10), both signed by it; "rogue", self-signed (C=US,
// O=Rogue, CN=rogue, serial 0x7f). False when the tool fails.
bool makeTestCertificates(const std::string& folder);

}  // namespace testsupport

#endif  // TESTS_SUPPORT_TEST_CERTIFICATES_H
