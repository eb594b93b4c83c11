// isapihost end to end: the real program, real sockets, the test filter and extension.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "http_client.h"
#include "server_process.h"
#include "test_paths.h"

using testsupport::HttpConnection;
using testsupport::httpRequest;
using testsupport::HttpResponse;

namespace {

std::string modulesFolder() {
    const char* folder = std::getenv("TEST_MODULES");
    return folder != nullptr ? folder : "";
}

uint32_t crc32(const std::string& data) {
    uint32_t crc = ~0u;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string hex8(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

// The NAME=value lines of the test extension's answers.
std::string field(const std::string& body, const std::string& name) {
    std::istringstream lines(body);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(name + "=", 0) == 0) {
            return line.substr(name.size() + 1);
        }
    }
    return "(absent)";
}

std::vector<std::string> dataLines(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    }
    return lines;
}

class Isapihost : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(modulesFolder().empty()) << "TEST_MODULES is not set";
        www_ = scratch_.path() + "/www";
        std::filesystem::create_directories(www_ + "/sub");
        testsupport::writeFile(www_ + "/index.htm", "<html>home</html>");
        testsupport::writeFile(www_ + "/sub/index.htm", "<html>sub</html>");
        testsupport::writeFile(www_ + "/file.txt", std::string(1024, 'k'));
        testsupport::writeFile(scratch_.file("users"), "# test users\nalice:secret\n");
    }

    void start(std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments = {
            "--port",        "0",
            "--root",        www_,
            "--vdir",        "/Scripts=" + modulesFolder() + ",execute",
            "--filter",      modulesFolder() + "/TestFilter.dll",
            "--default-doc", "index.htm",
            "--access-log",  accessLog(),
            "--users",       scratch_.file("users"),
            "--threads",     "8"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        ASSERT_TRUE(server_.start(testsupport::buildOutputFolder() + "/bin/isapihost", arguments,
                                  {{"STANDIN_REGISTRY", scratch_.file("registry.reg")},
                                   {"STANDIN_DEBUG_OUTPUT", scratch_.file("debug.txt")},
                                   {"TEST_EXTENSION_LOG", extensionLog()}},
                                  scratch_.file("isapihost.log"), "isapihost: listening on"))
            << server_.output();
        port_ = server_.port();
    }

    std::string accessLog() const { return scratch_.file("access.log"); }
    std::string extensionLog() const { return scratch_.file("extension.log"); }

    testsupport::ScratchDir scratch_{"isapihost"};
    std::string www_;
    testsupport::ServerProcess server_;
    int port_ = 0;
};

TEST_F(Isapihost, ServesStaticFilesWithKeepAliveAndTheStatusCodesOfIis) {
    start();
    HttpConnection connection(port_);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(connection.send("GET /file.txt HTTP/1.1\r\nHost: x\r\n\r\n"));
        HttpResponse response = connection.read();
        EXPECT_EQ(response.status, 200);
        EXPECT_EQ(response.body, std::string(1024, 'k'));
        EXPECT_EQ(response.headers["content-type"], "text/plain");
        ASSERT_FALSE(response.headers["last-modified"].empty());
    }
    EXPECT_FALSE(connection.closedByServer(200)) << "static files keep the connection";

    EXPECT_EQ(httpRequest(port_, "GET", "/").body, "<html>home</html>");
    HttpResponse redirect = httpRequest(port_, "GET", "/sub?x=1");
    EXPECT_EQ(redirect.status, 302);
    EXPECT_EQ(redirect.headers["location"], "/sub/?x=1");
    EXPECT_EQ(httpRequest(port_, "GET", "/sub/").body, "<html>sub</html>");
    EXPECT_EQ(httpRequest(port_, "GET", "/missing.txt").status, 404);
    EXPECT_EQ(httpRequest(port_, "DELETE", "/file.txt").status, 405);
    HttpResponse head = httpRequest(port_, "HEAD", "/file.txt");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.headers["content-length"], "1024");

    HttpResponse fresh = httpRequest(port_, "GET", "/file.txt");
    HttpResponse notModified = httpRequest(
        port_, "GET", "/file.txt", "If-Modified-Since: " + fresh.headers["last-modified"] + "\r\n");
    EXPECT_EQ(notModified.status, 304);

    for (const char* escape : {"/../etc/passwd", "/%2e%2e/etc/passwd", "/sub/../../etc/passwd"}) {
        int status = httpRequest(port_, "GET", escape).status;
        EXPECT_TRUE(status == 400 || status == 404) << escape << " gave " << status;
    }
}

TEST_F(Isapihost, AFilterRewritesToTheExtensionWhichSeesTheMarkerAndTheLogShowsIt) {
    start();
    HttpResponse response = httpRequest(port_, "GET", "/rewrite/app/page?x=1");
    ASSERT_EQ(response.status, 200) << response.raw;
    EXPECT_EQ(field(response.body, "HTTP_X_TEST_MARKER"), "/rewrite/app/page?x=1");
    EXPECT_EQ(field(response.body, "URL"), "/Scripts/TestExtension.dll");
    EXPECT_EQ(field(response.body, "QUERY_STRING"), "echo");
    EXPECT_EQ(field(response.body, "lpszQueryString"), "echo");
    EXPECT_NE(response.body.find("HTTP_X_TEST_MARKER:/rewrite/app/page?x=1\n"), std::string::npos);

    ASSERT_EQ(server_.stop(), 0);
    std::vector<std::string> lines = dataLines(testsupport::readFile(accessLog()));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(" GET /rewrite/app/page x=1 200 "), std::string::npos) << lines[0];
}

TEST_F(Isapihost, GivesServerVariablesAsIisDoes) {
    start();
    HttpResponse response = httpRequest(
        port_, "POST", "/Scripts/TestExtension.dll/extra/path?echo",
        "X-Test-Dash: dash\r\nX_Test_Marker: forged\r\nContent-Type: text/plain\r\n", "0123456789");
    ASSERT_EQ(response.status, 200) << response.raw;
    const std::string& body = response.body;
    EXPECT_EQ(field(body, "lpszMethod"), "POST");
    EXPECT_EQ(field(body, "lpszPathInfo"), "/extra/path");
    EXPECT_EQ(field(body, "lpszPathTranslated"), www_ + "/extra/path");
    EXPECT_EQ(field(body, "lpszContentType"), "text/plain");
    EXPECT_EQ(field(body, "cbTotalBytes"), "10");
    EXPECT_EQ(field(body, "dwHttpStatusCode"), "200");
    EXPECT_EQ(field(body, "SERVER_PROTOCOL"), "HTTP/1.1");
    EXPECT_EQ(field(body, "SERVER_PORT"), std::to_string(port_));
    EXPECT_EQ(field(body, "SERVER_PORT_SECURE"), "0");
    EXPECT_EQ(field(body, "HTTPS"), "off");
    EXPECT_EQ(field(body, "REMOTE_ADDR"), "127.0.0.1");
    EXPECT_EQ(field(body, "REMOTE_HOST"), "127.0.0.1");
    EXPECT_EQ(field(body, "CONTENT_LENGTH"), "10");
    EXPECT_EQ(field(body, "HTTP_X_TEST_DASH"), "dash");
    EXPECT_EQ(field(body, "HTTP_X_TEST_MARKER"), "(error 1413)")
        << "a header spelled with \"_\" does not pass for one spelled with \"-\"";
    EXPECT_EQ(field(body, "NO_SUCH_VARIABLE"), "(error 1413)");
    std::string allHttp = body.substr(body.find("ALL_HTTP=") + 9);
    EXPECT_NE(allHttp.find("HTTP_X_TEST_DASH:dash\n"), std::string::npos);
    EXPECT_NE(allHttp.find("HTTP_CONTENT_LENGTH:10\n"), std::string::npos);
    EXPECT_NE(allHttp.find("HTTP_CONTENT_TYPE:text/plain\n"), std::string::npos);
}

TEST_F(Isapihost, NamedUsersMustLogOnAlsoWhenAFilterNamedThem) {
    start();
    std::string alice = "Authorization: Basic YWxpY2U6c2VjcmV0\r\n";  // alice:secret
    std::string wrong = "Authorization: Basic YWxpY2U6d3Jvbmc=\r\n";  // alice:wrong
    HttpResponse allowed = httpRequest(port_, "GET", "/Scripts/TestExtension.dll?echo", alice);
    EXPECT_EQ(allowed.status, 200);
    EXPECT_EQ(field(allowed.body, "REMOTE_USER"), "alice");
    EXPECT_EQ(field(allowed.body, "AUTH_TYPE"), "Basic");

    HttpResponse refused = httpRequest(port_, "GET", "/file.txt", wrong);
    EXPECT_EQ(refused.status, 401);
    EXPECT_FALSE(refused.headers["www-authenticate"].empty());

    // The filter puts a name into an anonymous request: it must log on, and cannot.
    EXPECT_EQ(httpRequest(port_, "GET", "/file.txt", "X-Test-User: mallory\r\n").status, 401);
    EXPECT_EQ(httpRequest(port_, "GET", "/file.txt").status, 200) << "anonymous is fine";
}

TEST_F(Isapihost, WriteClientBytesArriveUnchangedAndTheConnectionCloses) {
    start();
    HttpConnection connection(port_);
    ASSERT_TRUE(connection.send("GET /Scripts/TestExtension.dll?raw HTTP/1.1\r\nHost: x\r\n\r\n"));
    std::string expected = "HTTP/1.0 299 Raw\r\nX-Raw: yes\r\n\r\n";
    for (int i = 0; i < 256; ++i)
        expected += static_cast<char>(i);
    EXPECT_EQ(connection.readAll(), expected);
}

TEST_F(Isapihost, ExtensionsReadABigBodyThroughTheReadAheadAndReadClient) {
    start();
    std::string body(20 * 1024 * 1024, '\0');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>((i * 7919) >> 3);
    HttpResponse response =
        httpRequest(port_, "POST", "/Scripts/TestExtension.dll?upload&piece=10000", "", body);
    ASSERT_EQ(response.status, 200) << response.raw;
    EXPECT_EQ(field(response.body, "cbAvailable"), "49152");
    EXPECT_EQ(field(response.body, "cbTotalBytes"), std::to_string(body.size()));
    EXPECT_EQ(field(response.body, "read"), std::to_string(body.size()));
    EXPECT_EQ(field(response.body, "end"), "1/0") << "TRUE with 0 bytes at the end of the body";
    EXPECT_EQ(field(response.body, "crc"), hex8(crc32(body)));

    HttpResponse small =
        httpRequest(port_, "POST", "/Scripts/TestExtension.dll?upload", "", std::string(100, 'x'));
    EXPECT_EQ(field(small.body, "cbAvailable"), "100");
    EXPECT_EQ(field(small.body, "calls"), "0");
}

TEST_F(Isapihost, ReadClientGivesZeroBytesWhenTheClientHasGone) {
    start();
    {
        HttpConnection connection(port_);
        ASSERT_TRUE(
            connection.send("POST /Scripts/TestExtension.dll?readlog HTTP/1.1\r\nHost: x\r\n"
                            "Content-Length: 200000\r\n\r\n" +
                            std::string(100000, 'b')));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }  // gone, half the body unsent
    for (int i = 0; i < 100 && testsupport::readFile(extensionLog()).empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(testsupport::readFile(extensionLog()), "cbAvailable=49152 zero read=100000\n");
    EXPECT_EQ(httpRequest(port_, "GET", "/file.txt").status, 200) << "the worker is free again";
}

TEST_F(Isapihost, ExtensionsCloseTheConnectionUnlessTheyAskToKeepIt) {
    start();
    HttpConnection kept(port_);
    ASSERT_TRUE(kept.send("GET /Scripts/TestExtension.dll?keep HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(kept.read().body, "kept\n");
    ASSERT_TRUE(kept.send("GET /file.txt HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(kept.read().status, 200) << "HSE_STATUS_SUCCESS_AND_KEEP_CONN keeps it";

    HttpConnection closed(port_);
    ASSERT_TRUE(closed.send("GET /Scripts/TestExtension.dll?echo HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(closed.read().status, 200);
    EXPECT_TRUE(closed.closedByServer()) << "HSE_STATUS_SUCCESS closes it";
}

TEST_F(Isapihost, FiltersCanFinishOrFailARequest) {
    start();
    HttpConnection finished(port_);
    ASSERT_TRUE(finished.send("GET /finish HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(finished.read().body, "finished by the filter\n");
    EXPECT_TRUE(finished.closedByServer());

    HttpConnection kept(port_);
    ASSERT_TRUE(kept.send("GET /finish-keep HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(kept.read().status, 200);
    ASSERT_TRUE(kept.send("GET /file.txt HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(kept.read().status, 200);

    EXPECT_EQ(httpRequest(port_, "GET", "/filter-error").status, 500);
}

TEST_F(Isapihost, TheLogShowsTheExtensionsStatusAndMapsUrls) {
    start();
    HttpResponse chosen = httpRequest(port_, "GET", "/Scripts/TestExtension.dll?status=404");
    EXPECT_EQ(chosen.statusLine, "HTTP/1.1 404 Chosen");
    HttpResponse mapped = httpRequest(port_, "GET", "/Scripts/TestExtension.dll?map=/Scripts/x/y");
    EXPECT_EQ(mapped.body, modulesFolder() + "/x/y\n");
    ASSERT_EQ(server_.stop(), 0);
    // A line is written after its response is sent: the two may come in either order.
    std::string log = testsupport::readFile(accessLog());
    EXPECT_EQ(dataLines(log).size(), 2u);
    EXPECT_NE(log.find(" GET /Scripts/TestExtension.dll status=404 404 "), std::string::npos)
        << log;
}

TEST_F(Isapihost, AStopUnderLoadLosesNoAccessLogLineAndTerminatesTheExtension) {
    start();
    std::atomic<int> answered{0};
    std::atomic<bool> running{true};
    std::vector<std::thread> clients;
    for (int c = 0; c < 16; ++c) {
        clients.emplace_back([&] {
            while (running) {
                HttpResponse response =
                    httpRequest(port_, "GET", c % 2 ? "/file.txt" : "/rewrite/x?y");
                if (response.status == 200) {
                    ++answered;
                } else if (response.status == 0) {
                    break;  // the server has stopped listening
                }
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(server_.stop(), 0);
    running = false;
    for (std::thread& client : clients)
        client.join();
    EXPECT_GT(answered.load(), 50);
    EXPECT_EQ(dataLines(testsupport::readFile(accessLog())).size(),
              static_cast<size_t>(answered.load()));
    EXPECT_NE(testsupport::readFile(extensionLog()).find("TerminateExtension"), std::string::npos);
}

TEST_F(Isapihost, ServesManyConcurrentConnections) {
    start();
    std::atomic<int> ok{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 200; ++c) {
        clients.emplace_back([&, c] {
            HttpResponse response =
                httpRequest(port_, "GET", c % 2 ? "/file.txt" : "/Scripts/TestExtension.dll?keep");
            if (response.status == 200)
                ++ok;
        });
    }
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(ok.load(), 200);
}

}  // namespace

namespace {

int run(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str());
}

// A CA, a server certificate and a client certificate with a known serial, made with the
// openssl tool.
void makeCertificates(const std::string& dir) {
    std::string config = dir + "/ext.cnf";
    testsupport::writeFile(config, "basicConstraints=CA:FALSE\n");
    ASSERT_EQ(run("cd " + dir +
                  " && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -keyout ca.key "
                  "-out ca.pem -subj '/C=US/O=Test CA/CN=Test Root'"),
              0);
    ASSERT_EQ(run("cd " + dir +
                  " && openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr "
                  "-subj '/C=US/O=Example/CN=127.0.0.1'"
                  " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -days 2 "
                  "-set_serial 7 -extfile ext.cnf -out server.pem"),
              0);
    ASSERT_EQ(run("cd " + dir +
                  " && openssl req -newkey rsa:2048 -nodes -keyout client.key -out client.csr "
                  "-subj '/C=DE/O=Client Org/CN=client one'"
                  " && openssl x509 -req -in client.csr -CA ca.pem -CAkey ca.key -days 2 "
                  "-set_serial 0x0102030405060708090a0b0c0d0e0f10 -extfile ext.cnf "
                  "-out client.pem"),
              0);
}

std::string curl(const std::string& arguments) {
    std::string command = "curl -s --max-time 20 " + arguments;
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    size_t n;
    while (pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    if (pipe != nullptr)
        pclose(pipe);
    return output;
}

TEST_F(Isapihost, TlsClientCertificatesFillTheCertificateVariables) {
    std::string certs = scratch_.path() + "/certs";
    std::filesystem::create_directories(certs);
    makeCertificates(certs);
    start({"--tls-port", "0", "--cert", certs + "/server.pem", "--key", certs + "/server.key",
           "--client-ca", certs + "/ca.pem"});
    int tlsPort = server_.port(1);
    std::string url =
        "https://127.0.0.1:" + std::to_string(tlsPort) + "/Scripts/TestExtension.dll?echo";
    std::string body = curl("--cacert " + certs + "/ca.pem --cert " + certs + "/client.pem --key " +
                            certs + "/client.key '" + url + "'");
    EXPECT_EQ(field(body, "SERVER_PORT_SECURE"), "1") << body;
    EXPECT_EQ(field(body, "HTTPS"), "on");
    EXPECT_EQ(field(body, "CERT_FLAGS"), "1");
    EXPECT_EQ(field(body, "CERT_SUBJECT"), "C=DE, O=Client Org, CN=client one");
    EXPECT_EQ(field(body, "CERT_ISSUER"), "C=US, O=Test CA, CN=Test Root");
    EXPECT_EQ(field(body, "CERT_SERIALNUMBER"), "10-0f-0e-0d-0c-0b-0a-09-08-07-06-05-04-03-02-01");
    EXPECT_EQ(field(body, "CERT_SERVER_SUBJECT"), "C=US, O=Example, CN=127.0.0.1");

    std::string anonymous = curl("--cacert " + certs + "/ca.pem '" + url + "'");
    EXPECT_EQ(field(anonymous, "CERT_FLAGS"), "0");
    EXPECT_EQ(field(anonymous, "CERT_SUBJECT"), "");
    EXPECT_EQ(field(anonymous, "SERVER_PORT_SECURE"), "1");
}

}  // namespace
