// TLS listeners: the handshake, client certificates as IIS reports them, and requests
// over TLS. The certificates are made at run time with the openssl tool.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "http_test_client.h"
#include "test_paths.h"

using namespace httptest;
using isapihost::AfterResponse;
using isapihost::Exchange;

namespace {

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A CA, a server and a client certificate it signed, and a self-signed "rogue" client.
class Certificates {
  public:
    Certificates() : dir_("isapihost-tls") {
        const std::string key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        made_ =
            run("openssl req -x509 " + key + " -days 2 -keyout " + path("ca.key") + " -out " +
                path("ca.pem") + " -subj '/C=US/O=Example/CN=Test CA'") &&
            signed_("server", "/C=US/O=Example/CN=localhost", "0x1001") &&
            signed_("client", "/C=US/O=Example/CN=client", "0x0102030405060708090a0b0c0d0e0f10") &&
            run("openssl req -x509 " + key + " -days 2 -set_serial 0x7f -keyout " +
                path("rogue.key") + " -out " + path("rogue.pem") +
                " -subj '/C=US/O=Rogue/CN=rogue'");
    }
    bool made() const { return made_; }
    std::string path(const std::string& name) const { return dir_.file(name); }

  private:
    bool signed_(const std::string& name, const std::string& subject, const std::string& serial) {
        return run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " +
                   path(name + ".key") + " -out " + path(name + ".csr") + " -subj '" + subject +
                   "'") &&
               run("openssl x509 -req -days 2 -in " + path(name + ".csr") + " -CA " +
                   path("ca.pem") + " -CAkey " + path("ca.key") + " -set_serial " + serial +
                   " -out " + path(name + ".pem"));
    }

    testsupport::ScratchDir dir_;
    bool made_ = false;
};

// Answers with the connection as the handler sees it, after reading the body.
AfterResponse describeConnection(Exchange& exchange) {
    std::string body;
    if (!readBody(exchange, &body)) {
        return AfterResponse::Close;
    }
    const isapihost::ConnectionInfo& info = exchange.connection();
    const isapihost::ClientCertificate& certificate = info.certificate;
    return answer(exchange, std::string(info.secure ? "secure" : "plain") + "|" +
                                (certificate.present ? "present" : "none") + "|" +
                                std::to_string(certificate.flags) + "|" + certificate.subject +
                                "|" + certificate.issuer + "|" + certificate.serialNumber + "|" +
                                info.serverCertificateSubject + "|" + std::to_string(body.size()));
}

class TlsTest : public testing::Test {
  protected:
    static void SetUpTestSuite() { certificates_ = new Certificates(); }
    static void TearDownTestSuite() {
        delete certificates_;
        certificates_ = nullptr;
    }
    void SetUp() override {
        if (!certificates_->made()) {
            GTEST_SKIP() << "the openssl tool could not make certificates";
        }
    }
    isapihost::ListenerConfig listener(bool askForClients) const {
        isapihost::ListenerConfig config;
        config.tls = true;
        config.certificateFile = certificates_->path("server.pem");
        config.keyFile = certificates_->path("server.key");
        if (askForClients) {
            config.clientCaFile = certificates_->path("ca.pem");
        }
        return config;
    }
    // What the handler saw of a GET from `client`.
    static std::string seenBy(TlsClient&& client) {
        if (!client.handshakeDone() || !client.send("GET / HTTP/1.1\r\n\r\n")) {
            return "(no handshake)";
        }
        return client.readResponse().body;
    }
    static Certificates* certificates_;
};

Certificates* TlsTest::certificates_ = nullptr;

const char kServerSubject[] = "C=US, O=Example, CN=localhost";

}  // namespace

TEST_F(TlsTest, ReportsTheClientCertificateAsIisDoes) {
    FunctionHandler handler(describeConnection);
    RunningServer server(handler, testLimits(), listener(true));
    const std::string end = std::string(kServerSubject) + "|0";
    EXPECT_EQ(seenBy(TlsClient(server.port(), certificates_->path("client.pem"),
                               certificates_->path("client.key"))),
              "secure|present|1|C=US, O=Example, CN=client|C=US, O=Example, CN=Test CA|"
              "10-0f-0e-0d-0c-0b-0a-09-08-07-06-05-04-03-02-01|" +
                  end);
    EXPECT_EQ(seenBy(TlsClient(server.port(), certificates_->path("rogue.pem"),
                               certificates_->path("rogue.key"))),
              "secure|present|3|C=US, O=Rogue, CN=rogue|C=US, O=Rogue, CN=rogue|7f|" + end);
    EXPECT_EQ(seenBy(TlsClient(server.port())), "secure|none|0||||" + end);
}

TEST_F(TlsTest, CarriesBodiesAndKeepAliveOverTls) {
    FunctionHandler handler(describeConnection);
    RunningServer server(handler, testLimits(), listener(false));
    // Without a client CA no certificate is asked for, even from a client that has one.
    TlsClient client(server.port(), certificates_->path("client.pem"),
                     certificates_->path("client.key"));
    ASSERT_TRUE(client.handshakeDone());
    std::string body(3 * 1024 * 1024 + 17, 'b');
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(client.send("POST / HTTP/1.1\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body));
        EXPECT_EQ(client.readResponse().body, "secure|none|0||||" + std::string(kServerSubject) +
                                                  "|" + std::to_string(body.size()));
    }
    // Plain bytes on a TLS port end the connection and harm nobody else.
    Client plain(server.port());
    plain.send("GET / HTTP/1.1\r\n\r\n");
    plain.readUntilClose();
    ASSERT_TRUE(client.send("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(client.readResponse().status, 200);
}

TEST_F(TlsTest, ListenNamesTheFileThatDoesNotLoad) {
    FunctionHandler handler(describeConnection);
    isapihost::HttpServer server(handler, testLimits());
    isapihost::ListenerConfig config = listener(true);
    config.keyFile = certificates_->path("missing.key");
    std::string error;
    EXPECT_EQ(server.listen(config, &error), 0);
    EXPECT_NE(error.find("missing.key"), std::string::npos) << error;
}
