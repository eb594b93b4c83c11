// TLS listeners: the handshake, client certificates as IIS reports them, and requests
// over TLS. The certificates are made at run time with the openssl tool.
#include <gtest/gtest.h>

#include <openssl/ssl.h>

#include <tuple>

#include "server_fixture.h"
#include "test_certificates.h"
#include "test_paths.h"

using namespace httptest;

namespace {

// The shared client over OpenSSL, presenting a certificate when given one.
class TlsConnection final : public HttpConnection {
  public:
    explicit TlsConnection(uint16_t port, const std::string& certificate = "",
                           const std::string& key = "")
        : HttpConnection(port, 10), context_(SSL_CTX_new(TLS_client_method())) {
        if (!certificate.empty()) {
            SSL_CTX_use_certificate_file(context_, certificate.c_str(), SSL_FILETYPE_PEM);
            SSL_CTX_use_PrivateKey_file(context_, key.c_str(), SSL_FILETYPE_PEM);
        }
        SSL* ssl = SSL_new(context_);
        SSL_set_fd(ssl, fd());
        if (connected() && SSL_connect(ssl) == 1) {
            ssl_ = ssl;
        } else {
            SSL_free(ssl);
        }
    }
    ~TlsConnection() override {
        if (ssl_ != nullptr) {
            SSL_shutdown(ssl_);
            SSL_free(ssl_);
        }
        SSL_CTX_free(context_);
    }
    bool handshakeDone() const { return ssl_ != nullptr; }

  private:
    ssize_t receive(char* buffer, size_t size) override {
        int n = ssl_ == nullptr ? -1 : SSL_read(ssl_, buffer, static_cast<int>(size));
        return n > 0 ? n : (n == 0 || SSL_get_error(ssl_, n) == SSL_ERROR_ZERO_RETURN ? 0 : -1);
    }
    ssize_t transmit(const char* data, size_t size) override {
        return ssl_ == nullptr ? -1 : SSL_write(ssl_, data, static_cast<int>(size));
    }

    SSL_CTX* context_;
    SSL* ssl_ = nullptr;
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

const std::string kServerSubject = "C=US, O=Example, CN=127.0.0.1";

class TlsTest : public HttpServerTest {
  protected:
    static void SetUpTestSuite() {
        folder_ = new testsupport::ScratchDir("isapihost-tls");
        made_ = testsupport::makeTestCertificates(folder_->path());
    }
    static void TearDownTestSuite() { delete folder_; }
    void SetUp() override { ASSERT_TRUE(made_) << "the openssl tool failed"; }

    void startTls(bool askForClients) {
        isapihost::ListenerConfig config;
        config.tls = true;
        config.certificateFile = path("server.pem");
        config.keyFile = path("server.key");
        config.clientCaFile = askForClients ? path("ca.pem") : "";
        start(describeConnection, limits(), config);
    }
    // What the handler saw of a GET from a client presenting `name`.pem ("" for none).
    std::string seenWith(const std::string& name) const {
        TlsConnection client(port(), name.empty() ? "" : path(name + ".pem"),
                             name.empty() ? "" : path(name + ".key"));
        if (!client.handshakeDone() || !client.send(get("/"))) {
            return "(no handshake)";
        }
        return client.read().body;
    }
    static std::string path(const std::string& name) { return folder_->file(name); }

    static testsupport::ScratchDir* folder_;
    static bool made_;
};

testsupport::ScratchDir* TlsTest::folder_ = nullptr;
bool TlsTest::made_ = false;

}  // namespace

TEST_F(TlsTest, ReportsClientCertificatesAsIisDoes) {
    const std::string none = "secure|none|0||||" + kServerSubject + "|0";
    const std::tuple<bool, const char*, std::string> cases[] = {
        // whether the listener asks for certificates, the one presented, what is reported
        {true, "client",
         "secure|present|1|C=DE, O=Client Org, CN=client one|C=US, O=Test CA, CN=Test Root|"
         "10-0f-0e-0d-0c-0b-0a-09-08-07-06-05-04-03-02-01|" +
             kServerSubject + "|0"},
        {true, "rogue",  // untrusted: flag 2 beside "present"
         "secure|present|3|C=US, O=Rogue, CN=rogue|C=US, O=Rogue, CN=rogue|7f|" + kServerSubject +
             "|0"},
        {true, "", none},
        {false, "client", none}};
    for (const auto& [askForClients, presented, reported] : cases) {
        startTls(askForClients);
        EXPECT_EQ(seenWith(presented), reported) << presented;
    }
}

TEST_F(TlsTest, CarriesBodiesAndKeepAliveOverTls) {
    startTls(false);
    TlsConnection client(port());
    ASSERT_TRUE(client.handshakeDone());
    std::string body(3 * 1024 * 1024 + 17, 'b');
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(client.send("POST / HTTP/1.1\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body));
        EXPECT_EQ(client.read().body,
                  "secure|none|0||||" + kServerSubject + "|" + std::to_string(body.size()));
    }
    // Plain bytes on a TLS port end that connection and harm nobody else.
    auto plain = connect();
    plain->send(get("/"));
    plain->readAll();
    ASSERT_TRUE(client.send(get("/")));
    EXPECT_EQ(client.read().status, 200);
}

// A port in use, an address that is none, a key that does not load: each is named. The
// table lives with the TLS tests for their certificates.
TEST_F(TlsTest, ListenSaysWhatItCannotUse) {
    start(echo);
    isapihost::HttpServer second(*handler_, limits());
    isapihost::ListenerConfig taken, nonsense, noKey;
    taken.port = port();
    nonsense.address = "localhost.invalid";
    noKey.tls = true;
    noKey.certificateFile = path("server.pem");
    noKey.keyFile = path("missing.key");
    const std::pair<isapihost::ListenerConfig, std::string> cases[] = {
        {taken, "127.0.0.1:" + std::to_string(port())},
        {nonsense, "not an IP address"},
        {noKey, "missing.key"}};
    for (const auto& [config, said] : cases) {
        std::string error;
        EXPECT_EQ(second.listen(config, &error), 0) << said;
        EXPECT_NE(error.find(said), std::string::npos) << error;
    }
}
