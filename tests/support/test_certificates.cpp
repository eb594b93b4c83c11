#include "test_certificates.h"

#include <cstdlib>

#include "test_paths.h"

namespace testsupport {

bool makeTestCertificates(const std::string& folder) {
    writeFile(folder + "/ext.cnf", "basicConstraints=CA:FALSE\n");
    const std::string request =
        " && openssl req -nodes -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -keyout ";
    auto issue = [&](const std::string& name, const std::string& subject,
                     const std::string& serial) {
        return request + name + ".key -out " + name + ".csr -subj '" + subject +
               "' && openssl x509 -req -CA ca.pem -CAkey ca.key -days 2 -extfile ext.cnf -in " +
               name + ".csr -set_serial " + serial + " -out " + name + ".pem";
    };
    const std::string commands =
        "cd '" + folder + "'" + request +
        "ca.key -x509 -days 2 -out ca.pem -subj '/C=US/O=Test CA/CN=Test Root'" +
        issue("server", "/C=US/O=Example/CN=127.0.0.1", "7") +
        issue("client", "/C=DE/O=Client Org/CN=client one", "0x0102030405060708090a0b0c0d0e0f10") +
        request + "rogue.key -x509 -days 2 -set_serial 0x7f -out rogue.pem " +
        "-subj '/C=US/O=Rogue/CN=rogue'";
    return std::system(("(" + commands + ") >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace testsupport
