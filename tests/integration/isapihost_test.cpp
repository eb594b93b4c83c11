// isapihost end to end: the real program, real sockets, the test filter and extension.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "chain_checks.h"
#include "http_client.h"
#include "response_checks.h"
#include "server_process.h"
#include "test_certificates.h"
#include "test_paths.h"

using testsupport::HttpConnection;
using testsupport::HttpResponse;

namespace {

const std::string kModules = std::getenv("TEST_MODULES");
const std::string kExtension = "/Scripts/TestExtension.dll";

// The NAME=value lines of the test extension's answers.
std::string field(const std::string& body, const std::string& name) {
    std::istringstream lines(body);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(name + "=", 0) == 0) {
            return line.substr(name.size() + 1);
        }
    }
    return "(absent)";
}

// The lines of an access log, its "#" comment lines left out.
int dataLines(const std::string& log) {
    std::istringstream lines(log);
    int count = 0;
    for (std::string line; std::getline(lines, line);) {
        count += !line.empty() && line[0] != '#';
    }
    return count;
}

// isapihost with the test filter and extension, a few files, a user and (if asked) TLS.
struct Host {
    explicit Host(bool tls) {
        std::filesystem::create_directories(www + "/sub");
        testsupport::writeFile(www + "/index.htm", "<html>home</html>");
        testsupport::writeFile(www + "/sub/index.htm", "<html>sub</html>");
        testsupport::writeFile(www + "/file.txt", std::string(1024, 'k'));
        testsupport::writeFile(scratch.file("users"), "# test users\nalice:secret\n");
        std::vector<std::string> arguments = {"--port",        "0",
                                              "--root",        www,
                                              "--vdir",        "/Scripts=" + kModules + ",execute",
                                              "--filter",      kModules + "/TestFilter.dll",
                                              "--default-doc", "index.htm",
                                              "--access-log",  scratch.file("access.log"),
                                              "--users",       scratch.file("users"),
                                              "--threads",     "8"};
        if (tls && !testsupport::makeTestCertificates(scratch.path())) {
            return;
        }
        if (tls) {
            arguments.insert(arguments.end(),
                             {"--tls-port", "0", "--cert", certificate("server.pem"), "--key",
                              certificate("server.key"), "--client-ca", certificate("ca.pem")});
        }
        started = server.startIsapihost(arguments, scratch.path(),
                                        {{"TEST_EXTENSION_LOG", scratch.file("extension.log")}});
    }

    std::string certificate(const std::string& name) const { return scratch.file(name); }
    std::string accessLog() const { return testsupport::readFile(scratch.file("access.log")); }
    std::string extensionLog() const {
        return testsupport::readFile(scratch.file("extension.log"));
    }

    testsupport::ScratchDir scratch{"isapihost"};
    std::string www = scratch.path() + "/www";
    testsupport::ServerProcess server;
    bool started = false;
};

// One host serves every test but the one that stops it.
class Isapihost : public testing::Test {
  protected:
    static void SetUpTestSuite() { host_ = std::make_unique<Host>(true); }
    static void TearDownTestSuite() { host_.reset(); }
    void SetUp() override { ASSERT_TRUE(host_->started) << host_->server.output(); }

    static int port() { return host_->server.port(); }
    static HttpResponse request(const std::string& method, const std::string& target,
                                const std::string& headers = "", const std::string& body = "") {
        return testsupport::httpRequest(port(), method, target, headers, body);
    }
    static HttpResponse get(const std::string& target, const std::string& headers = "") {
        return request("GET", target, headers);
    }
    // Whether the server closes the connection after answering `target` with 200: it
    // must close at once, or not within 200 ms.
    static bool closedAfter(const std::string& target, bool closes) {
        HttpConnection connection(port());
        connection.send("GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n");
        EXPECT_EQ(connection.read().status, 200) << target;
        return connection.closedByServer(closes ? 2000 : 200);
    }
    static bool logged(const std::string& line) {
        return chain::fileSoonHolds(host_->scratch.file("access.log"), line);
    }
    // What the extension saw of an echo request over TLS, `arguments` naming the client's
    // certificate.
    static std::string overTls(const std::string& arguments) {
        const std::string output = host_->scratch.file("curl.out");
        std::system(("curl -s --max-time 20 --cacert " + host_->certificate("ca.pem") + " " +
                     arguments + " 'https://127.0.0.1:" + std::to_string(host_->server.port(1)) +
                     kExtension + "?echo' >" + output)
                        .c_str());
        return testsupport::readFile(output);
    }

    static std::unique_ptr<Host> host_;
};

std::unique_ptr<Host> Isapihost::host_;

TEST_F(Isapihost, AnswersWithTheStatusCodesOfIis) {
    HttpResponse file = get("/file.txt");
    EXPECT_EQ(file.body, std::string(1024, 'k'));
    EXPECT_EQ(file.headers["content-type"], "text/plain");
    const std::string modified = "If-Modified-Since: " + file.headers["last-modified"];
    // Which paths climb above the root is the URL mapping's unit tests' table.
    const std::tuple<std::string, std::string, int> cases[] = {{"GET", "/sub?x=1", 302},
                                                               {"GET", "/missing.txt", 404},
                                                               {"DELETE", "/file.txt", 405},
                                                               {"GET", "/../etc/passwd", 400}};
    for (const auto& [method, target, status] : cases) {
        EXPECT_EQ(request(method, target).status, status) << method << " " << target;
    }
    EXPECT_EQ(get("/file.txt", modified + "\r\n").status, 304);
    EXPECT_EQ(get("/sub?x=1").headers["location"], "/sub/?x=1");
    EXPECT_EQ(get("/").body, "<html>home</html>");
    EXPECT_EQ(get("/sub/").body, "<html>sub</html>");
    EXPECT_EQ(request("HEAD", "/file.txt").headers["content-length"], "1024");
}

TEST_F(Isapihost, AFilterRewritesToTheExtensionWhichSeesTheMarker) {
    HttpResponse response = get("/rewrite/app/page?x=1");
    ASSERT_EQ(response.status, 200) << response.raw;
    EXPECT_EQ(field(response.body, "HTTP_X_TEST_MARKER"), "/rewrite/app/page?x=1");
    EXPECT_EQ(field(response.body, "URL"), kExtension);
    EXPECT_EQ(field(response.body, "QUERY_STRING"), "echo");
    EXPECT_EQ(field(response.body, "lpszQueryString"), "echo");
    EXPECT_NE(response.body.find("HTTP_X_TEST_MARKER:/rewrite/app/page?x=1\n"), std::string::npos);
}

TEST_F(Isapihost, TheLogNotificationChangesTheLoggedTarget) {
    get("/rewrite/app/page?x=1");
    EXPECT_TRUE(logged(" GET /rewrite/app/page x=1 200 ")) << host_->accessLog();
}

TEST_F(Isapihost, GivesServerVariablesAsIisDoes) {
    HttpResponse response = request(
        "POST", kExtension + "/extra/path?echo",
        "X-Test-Dash: dash\r\nX_Test_Marker: forged\r\nContent-Type: text/plain\r\n", "0123456789");
    const std::pair<const char*, std::string> expected[] = {
        {"lpszMethod", "POST"},
        {"lpszPathInfo", "/extra/path"},
        {"lpszPathTranslated", host_->www + "/extra/path"},
        {"lpszContentType", "text/plain"},
        {"cbTotalBytes", "10"},
        {"dwHttpStatusCode", "200"},
        {"SERVER_PROTOCOL", "HTTP/1.1"},
        {"SERVER_PORT", std::to_string(port())},
        {"SERVER_PORT_SECURE", "0"},
        {"HTTPS", "off"},
        {"REMOTE_ADDR", "127.0.0.1"},
        {"REMOTE_HOST", "127.0.0.1"},
        {"CONTENT_LENGTH", "10"},
        {"HTTP_X_TEST_DASH", "dash"},
        // A header spelled with "_" does not pass for one spelled with "-".
        {"HTTP_X_TEST_MARKER", "(error 1413)"},
        {"NO_SUCH_VARIABLE", "(error 1413)"}};
    for (const auto& [name, value] : expected) {
        EXPECT_EQ(field(response.body, name), value) << name;
    }
    std::string allHttp = response.body.substr(response.body.find("ALL_HTTP=") + 9);
    for (const char* line : {"HTTP_X_TEST_DASH:dash\n", "HTTP_CONTENT_LENGTH:10\n",
                             "HTTP_CONTENT_TYPE:text/plain\n"}) {
        EXPECT_NE(allHttp.find(line), std::string::npos) << line;
    }
}

TEST_F(Isapihost, NamedUsersMustLogOnAlsoWhenAFilterNamedThem) {
    HttpResponse alice = get(kExtension + "?echo", "Authorization: Basic YWxpY2U6c2VjcmV0\r\n");
    EXPECT_EQ(field(alice.body, "REMOTE_USER"), "alice");
    EXPECT_EQ(field(alice.body, "AUTH_TYPE"), "Basic");
    HttpResponse wrong = get("/file.txt", "Authorization: Basic YWxpY2U6d3Jvbmc=\r\n");
    EXPECT_EQ(wrong.status, 401);
    EXPECT_FALSE(wrong.headers["www-authenticate"].empty());
    // The filter puts a name into an anonymous request: it must log on, and cannot.
    EXPECT_EQ(get("/file.txt", "X-Test-User: mallory\r\n").status, 401);
    EXPECT_EQ(get("/file.txt").status, 200) << "anonymous is fine";
}

TEST_F(Isapihost, WriteClientBytesArriveUnchangedAndTheConnectionCloses) {
    HttpConnection connection(port());
    ASSERT_TRUE(connection.send("GET " + kExtension + "?raw HTTP/1.1\r\nHost: x\r\n\r\n"));
    std::string expected = "HTTP/1.0 299 Raw\r\nX-Raw: yes\r\n\r\n";
    for (int i = 0; i < 256; ++i) {
        expected += static_cast<char>(i);
    }
    EXPECT_EQ(connection.readAll(), expected);
}

TEST_F(Isapihost, ExtensionsReadTheBodyThroughTheReadAheadAndReadClient) {
    // the body's size, ReadClient's piece, what lpbData holds; a small body needs no call
    const std::tuple<size_t, int, const char*> cases[] = {{100, 4096, "100"},
                                                          {20 * 1024 * 1024, 10000, "49152"}};
    for (const auto& [size, piece, available] : cases) {
        const std::string body = testsupport::uploadBody(size);
        const std::string digest = testsupport::uploadDigest(body);
        const std::string report =
            request("POST", kExtension + "?upload&piece=" + std::to_string(piece), "", body).body;
        EXPECT_EQ(field(report, "cbAvailable"), available) << size;
        EXPECT_EQ(field(report, "calls") == "0", size <= 49152);
        EXPECT_EQ(field(report, "cbTotalBytes"), std::to_string(size));
        EXPECT_EQ(field(report, "read"), std::to_string(size));
        EXPECT_EQ(field(report, "stop"), "whole");
        EXPECT_EQ(field(report, "end"), "1/0") << "TRUE with 0 bytes at the end of the body";
        EXPECT_EQ("crc32=" + field(report, "crc"), digest.substr(digest.find("crc32=")));
    }
}

TEST_F(Isapihost, ReadClientGivesZeroBytesWhenTheClientHasGone) {
    {
        HttpConnection connection(port());
        ASSERT_TRUE(
            connection.send("POST " + kExtension +
                            "?upload&log HTTP/1.1\r\nHost: x\r\nContent-Length: 200000\r\n\r\n" +
                            std::string(100000, 'b')));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }  // gone, half the body unsent
    ASSERT_TRUE(chain::fileSoonHolds(host_->scratch.file("extension.log"), "crc="));
    const std::string log = host_->extensionLog();
    EXPECT_EQ(field(log, "read"), "100000");
    EXPECT_EQ(field(log, "stop"), "zero");
    EXPECT_EQ(field(log, "end"), "1/0") << "TRUE with 0 bytes once the client has gone";
    EXPECT_EQ(get("/file.txt").status, 200) << "the worker is free again";
}

TEST_F(Isapihost, FilesKeepTheConnectionExtensionsAndFiltersOnlyWhenTheyAsk) {
    EXPECT_FALSE(closedAfter("/file.txt", false));
    EXPECT_FALSE(closedAfter(kExtension + "?keep", false));
    EXPECT_TRUE(closedAfter(kExtension + "?echo", true));
    EXPECT_FALSE(closedAfter("/finish-keep", false));
    EXPECT_TRUE(closedAfter("/finish", true));
    EXPECT_EQ(get("/finish").body, "finished by the filter\n");
    EXPECT_EQ(get("/filter-error").status, 500);
}

TEST_F(Isapihost, TheLogShowsTheExtensionsStatusAndExtensionsMapUrls) {
    EXPECT_EQ(get(kExtension + "?status=404").statusLine, "HTTP/1.1 404 Chosen");
    EXPECT_EQ(get(kExtension + "?map=/Scripts/x/y").body, kModules + "/x/y\n");
    EXPECT_TRUE(logged(" GET /Scripts/TestExtension.dll status=404 404 ")) << host_->accessLog();
}

TEST_F(Isapihost, TlsClientCertificatesFillTheCertificateVariables) {
    std::string body = overTls("--cert " + host_->certificate("client.pem") + " --key " +
                               host_->certificate("client.key"));
    const std::pair<const char*, const char*> expected[] = {
        {"SERVER_PORT_SECURE", "1"},
        {"HTTPS", "on"},
        {"CERT_FLAGS", "1"},
        {"CERT_SUBJECT", "C=DE, O=Client Org, CN=client one"},
        {"CERT_ISSUER", "C=US, O=Test CA, CN=Test Root"},
        {"CERT_SERIALNUMBER", "10-0f-0e-0d-0c-0b-0a-09-08-07-06-05-04-03-02-01"},
        {"CERT_SERVER_SUBJECT", "C=US, O=Example, CN=127.0.0.1"}};
    for (const auto& [name, value] : expected) {
        EXPECT_EQ(field(body, name), value) << name << "\n" << body;
    }
    std::string anonymous = overTls("");
    EXPECT_EQ(field(anonymous, "CERT_FLAGS"), "0");
    EXPECT_EQ(field(anonymous, "CERT_SUBJECT"), "");
}

TEST(IsapihostStop, AStopUnderLoadLosesNoAccessLogLineAndTerminatesTheExtension) {
    Host host(false);
    ASSERT_TRUE(host.started);
    std::atomic<int> answered{0};
    std::atomic<bool> running{true};
    std::vector<std::thread> clients;
    for (int c = 0; c < 16; ++c) {
        clients.emplace_back([&, c] {
            while (running) {
                int status = testsupport::httpRequest(host.server.port(), "GET",
                                                      c % 2 ? "/file.txt" : "/rewrite/x?y")
                                 .status;
                if (status == 0) {
                    break;  // the server has stopped listening
                }
                answered += status == 200;
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(host.server.stop(), 0);
    running = false;
    for (std::thread& client : clients) {
        client.join();
    }
    EXPECT_GT(answered.load(), 50);
    EXPECT_EQ(dataLines(host.accessLog()), answered.load());
    EXPECT_NE(host.extensionLog().find("TerminateExtension"), std::string::npos);
}

}  // namespace
