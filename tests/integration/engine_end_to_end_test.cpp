// The whole chain for real: an HTTP client, isapihost with Brevant_Adapter as a filter,
// and the Java application-server instance (Brevant30.jar) behind it on a real socket.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "http_client.h"
#include "response_checks.h"
#include "server_process.h"
#include "test_paths.h"

using testsupport::httpRequest;
using testsupport::HttpResponse;

namespace {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A port nobody listens on right now: bound to port 0, read back, released.
int freePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

// The instance and the host, started once for every test of the suite.
struct Chain {
    testsupport::ScratchDir scratch{"engine-e2e"};
    testsupport::ServerProcess instance;
    testsupport::ServerProcess host;
    int instancePort = 0;
    int hostPort = 0;
    std::string failure;  // why the chain could not start, or ""
};

class EngineEndToEnd : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        chain_ = std::make_unique<Chain>();
        Chain& c = *chain_;
        const std::string out = testsupport::buildOutputFolder();

        c.instancePort = freePort();
        if (c.instancePort == 0) {
            c.failure = "no free port for the instance";
            return;
        }
        if (!c.instance.start(
                "/usr/bin/java",
                {"-cp", out + "/java/Brevant30.jar", "com.orlena.tessel.brevant.AppServer",
                 "--port", std::to_string(c.instancePort)},
                {}, c.scratch.file("appserver.log"), "AppServer: listening on port",
                std::chrono::seconds(30))) {
            c.failure = "the AppServer did not start:\n" + c.instance.output();
            return;
        }

        // The adapter and its brevant.properties (CR LF, as on Windows) in a folder of
        // their own, served as /Scripts with execute permission.
        const std::string modules = c.scratch.path() + "/modules";
        const std::string www = c.scratch.path() + "/www";
        std::filesystem::create_directories(modules);
        std::filesystem::create_directories(www);
        std::filesystem::copy_file(out + "/modules/Brevant_Adapter.dll",
                                   modules + "/Brevant_Adapter.dll");
        testsupport::writeFile(
            modules + "/brevant.properties",
            "brevant.default.instances=127.0.0.1:" + std::to_string(c.instancePort) +
                "\r\nbrevant.default.applications=/servlet/\r\n");
        if (!c.host.start(
                out + "/bin/isapihost",
                {"--port", "0", "--root", www, "--vdir", "/Scripts=" + modules + ",execute",
                 "--filter", modules + "/Brevant_Adapter.dll"},
                {{"STANDIN_REGISTRY", c.scratch.file("registry.reg")},
                 {"STANDIN_DEBUG_OUTPUT", c.scratch.file("debug.txt")}},
                c.scratch.file("isapihost.log"), "isapihost: listening on")) {
            c.failure = "isapihost did not start:\n" + c.host.output();
            return;
        }
        c.hostPort = c.host.port();
    }

    static void TearDownTestSuite() {
        if (chain_) {
            chain_->host.stop();
            chain_->instance.stop();
            chain_.reset();
        }
    }

    void SetUp() override { ASSERT_TRUE(chain_->failure.empty()) << chain_->failure; }

    static int port() { return chain_->hostPort; }

    static std::string logs() {
        return "isapihost:\n" + chain_->host.output() + "\nAppServer:\n" +
               chain_->instance.output();
    }

    static std::unique_ptr<Chain> chain_;
};

std::unique_ptr<Chain> EngineEndToEnd::chain_;

TEST_F(EngineEndToEnd, HelloAnswersThroughTheAdapter) {
    HttpResponse response = httpRequest(port(), "GET", "/servlet/Hello");
    EXPECT_EQ(response.status, 200) << response.raw << logs();
    EXPECT_NE(response.body.find("<h1>Hello from Brevant</h1>"), std::string::npos) << response.raw;
    EXPECT_NE(lowerCase(response.headers["content-type"]).find("text/html"), std::string::npos)
        << response.raw;
}

TEST_F(EngineEndToEnd, TwentyMegabyteUploadArrivesIntact) {
    const std::string body = testsupport::uploadBody(20u * 1024 * 1024);
    const std::string expected = testsupport::uploadDigest(body);

    HttpResponse response = httpRequest(port(), "POST", "/servlet/Upload",
                                        "Content-Type: application/octet-stream\r\n", body);
    EXPECT_EQ(response.status, 200) << response.statusLine << logs();
    EXPECT_EQ(response.body.substr(0, response.body.find_first_of("\r\n")), expected);
}

TEST_F(EngineEndToEnd, HundredMegabyteStreamArrivesWhole) {
    const uint64_t size = 104857600;
    testsupport::CountedResponse response =
        testsupport::countResponse(port(),
                                   "GET /servlet/Stream?bytes=" + std::to_string(size) +
                                       " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
                                   testsupport::streamByte);
    ASSERT_EQ(response.head.compare(0, 12, "HTTP/1.1 200"), 0) << response.head << logs();
    EXPECT_TRUE(response.closedCleanly) << "the connection's close ends the body";
    EXPECT_EQ(response.bodyBytes, size) << response.head;
    EXPECT_EQ(response.firstWrong, response.bodyBytes) << "a byte off the pattern";
}

TEST_F(EngineEndToEnd, SnoopShowsTheRequestedUrlAndTheClientsHeaders) {
    HttpResponse response = httpRequest(port(), "GET", "/servlet/Snoop?colour=blue&n=7",
                                        "X-Probe-Token: e2e-7f3a\r\nAccept-Language: fr-CH\r\n");
    ASSERT_EQ(response.status, 200) << response.raw << logs();
    const std::string text = response.body;
    const std::string lower = lowerCase(text);
    EXPECT_NE(text.find("Method: GET\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Requested URL: /servlet/Snoop"), std::string::npos) << text;
    EXPECT_NE(text.find("Path: /servlet/Snoop\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Query string: colour=blue&n=7\n"), std::string::npos) << text;
    EXPECT_NE(lower.find("x-probe-token: e2e-7f3a\n"), std::string::npos) << text;
    EXPECT_NE(lower.find("accept-language: fr-ch\n"), std::string::npos) << text;
    EXPECT_NE(lower.find("host: 127.0.0.1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("colour = blue\n"), std::string::npos) << text;
    EXPECT_NE(text.find("n = 7\n"), std::string::npos) << text;
}

}  // namespace
