// The whole chain for real: an HTTP client, isapihost with Brevant_Adapter as a filter,
// and the Java application-server instance (Brevant30.jar) behind it on a real socket,
// serving its built-in applications and the sample web application.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "chain_checks.h"
#include "examples_app_checks.h"
#include "http_client.h"
#include "sample_app_checks.h"
#include "server_process.h"
#include "test_paths.h"

namespace {

// The instance and the host, started once for every test of the suite.
struct Chain {
    Chain() {
        const int instancePort = chain::freePort();
        std::filesystem::copy(testsupport::buildOutputFolder() + "/webapps",
                              scratch.file("webapps"), std::filesystem::copy_options::recursive);
        sample::addBrokenWar(scratch.file("webapps"));
        examples::deployInto(scratch.file("webapps"));
        // brevant.properties with CR LF line ends, as on Windows; kept instance connections.
        started = chain::startAppServer(instance, instancePort, scratch.file("appserver.log"),
                                        {"--webapps", scratch.file("webapps")}) &&
                  chain::startAdapterHost(
                      host, scratch.path(),
                      "brevant.default.instances=127.0.0.1:" + std::to_string(instancePort) +
                          "\r\nbrevant.default.applications=/servlet/,/sample/,/examples/\r\n"
                          "brevant.default.keepalive=8\r\n");
    }

    testsupport::ScratchDir scratch{"engine-e2e"};
    testsupport::ServerProcess instance;
    testsupport::ServerProcess host;
    bool started = false;
};

class EngineEndToEnd : public testing::Test {
  protected:
    static void SetUpTestSuite() { chain_ = std::make_unique<Chain>(); }
    static void TearDownTestSuite() { chain_.reset(); }
    void SetUp() override { ASSERT_TRUE(chain_->started) << logs(); }

    static int port() { return chain_->host.port(); }
    static std::string logs() {
        return "isapihost:\n" + chain_->host.output() + "\nAppServer:\n" +
               chain_->instance.output();
    }

    static std::unique_ptr<Chain> chain_;
};

std::unique_ptr<Chain> EngineEndToEnd::chain_;

TEST_F(EngineEndToEnd, BodiesPassWholeBothWays) {
    chain::expectBodiesPassWhole(port());
}

TEST_F(EngineEndToEnd, SnoopShowsTheRequestedUrlAndTheClientsHeaders) {
    const std::string text =
        testsupport::httpRequest(port(), "GET", "/servlet/Snoop?colour=blue&n=7",
                                 "X-Probe-Token: e2e-7f3a\r\nAccept-Language: fr-CH\r\n")
            .body;
    for (const char* line :
         {"Method: GET\n", "Requested URL: /servlet/Snoop", "Path: /servlet/Snoop\n",
          "Query string: colour=blue&n=7\n", "X-PROBE-TOKEN: e2e-7f3a\n",
          "ACCEPT-LANGUAGE: fr-CH\n", "HOST: 127.0.0.1\n", "colour = blue\n", "n = 7\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
}

TEST_F(EngineEndToEnd, AMissingPageOfAWebApplicationGetsTheContainers404) {
    const testsupport::HttpResponse page =
        testsupport::httpRequest(port(), "GET", "/sample/none.jsp");
    EXPECT_EQ(page.status, 404);
    EXPECT_NE(page.body.find("Apache Tomcat"), std::string::npos) << page.body;
}

TEST_F(EngineEndToEnd, TheSamplePagesAnswerAsTomcatServesThem) {
    sample::expectPagesAnswer(port());
}

TEST_F(EngineEndToEnd, ASessionCountsFiveRequestsWithOneCookie) {
    sample::expectSessionCountsOneToFive(port());
}

TEST_F(EngineEndToEnd, OneKeptClientConnectionCarriesASessionThroughTheContainer) {
    testsupport::HttpConnection client(port());
    std::string cookie;
    for (int count = 1; count <= 5; ++count) {
        ASSERT_TRUE(
            client.send("GET /sample/counter HTTP/1.1\r\nHost: 127.0.0.1\r\n" + cookie + "\r\n"));
        testsupport::HttpResponse answer = client.read();
        ASSERT_EQ(answer.body, "count=" + std::to_string(count) + "\n") << answer.raw;
        if (count == 1) {
            const std::string& set = answer.headers["set-cookie"];
            cookie = "Cookie: " + set.substr(0, set.find(';')) + "\r\n";
        }
    }
}

TEST_F(EngineEndToEnd, AMultipartUploadArrivesWhole) {
    sample::expectAMultipartUploadArrivesWhole(port());
}

TEST_F(EngineEndToEnd, ADownloadFromTheSampleStreamsInBoundedMemory) {
    sample::expectADownloadStreamsInBoundedMemory(port(),
                                                  {chain_->host.pid(), chain_->instance.pid()});
}

TEST_F(EngineEndToEnd, TomcatsExamplePagesAnswer) {
    examples::expectPagesAnswer(port());
}

TEST_F(EngineEndToEnd, TomcatsSessionExampleKeepsAnAttribute) {
    examples::expectSessionKeepsAnAttribute(port());
}

TEST_F(EngineEndToEnd, TomcatsAsyncExamplesAreRefused) {
    examples::expectAsyncServletsAreRefused(port());
}

TEST_F(EngineEndToEnd, TomcatsWebSocketExamplesAreRefused) {
    examples::expectWebSocketUpgradesAreRefused(port());
}

TEST_F(EngineEndToEnd, ABrokenWarBesideTheSampleIsReported) {
    const std::string report = sample::brokenWarReport(chain_->scratch.file("webapps"));
    EXPECT_NE(chain_->instance.output().find(report), std::string::npos) << logs();
}

}  // namespace
