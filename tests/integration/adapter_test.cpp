// Brevant_Adapter end to end: the built module in the real isapihost, in front of fake
// application-server instances on real sockets, driven by HTTP clients.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "chain_checks.h"
#include "fake_instance.h"
#include "http_client.h"
#include "response_checks.h"
#include "server_process.h"
#include "test_paths.h"

using fakeinstance::FakeInstance;
using fakeinstance::Peer;
using testsupport::HttpConnection;
using namespace std::chrono_literals;

namespace {

constexpr size_t kReadAhead = 48 * 1024;  // what isapihost hands an extension in lpbData

// The response an instance named `name` gives for a request line and a body: every byte
// value follows, so that "unchanged" means unchanged.
std::string applicationResponse(const std::string& name, const std::string& requestLine,
                                size_t bodyLength = 0) {
    std::string response =
        "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nX-Instance: " + name +
        "\r\n\r\n" + name + "\n" + requestLine + "\nbody=" + std::to_string(bodyLength) + "\n";
    for (int i = 0; i < 256; ++i) {
        response += static_cast<char>(i);
    }
    return response;
}

// An application server as the adapter expects one: reads the request, takes the body the
// head announces (the preloaded part, then the rest with command 1) and answers. A path
// with "/die" gets half an answer and a dead connection; "/missing" gets a 404.
void serveApplication(Peer& peer, const std::string& name) {
    std::string head = peer.readUntil("\r\n\r\n");
    peer.readUntil("\r\n\r\n");  // the additional information
    size_t at = head.find("\r\nCONTENT-LENGTH: ");
    size_t length = at == std::string::npos ? 0 : std::stoul(head.substr(at + 18));
    size_t preloaded = std::min(length, kReadAhead);
    std::string body = peer.readBytes(preloaded);
    if (length > preloaded) {
        peer.send(fakeinstance::readBody(static_cast<uint32_t>(length - preloaded)));
        body += peer.readBytes(length - preloaded);
    }
    std::string line = head.substr(0, head.find("\r\n"));
    std::string answer = applicationResponse(name, line, body.size());
    if (line.find("/die") != std::string::npos) {
        peer.send(fakeinstance::responseData(answer).substr(0, 60));
        std::this_thread::sleep_for(100ms);
        peer.abort();
    } else if (line.find("/missing") != std::string::npos) {
        peer.send(
            fakeinstance::responseData("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n"));
    } else {
        peer.send(fakeinstance::responseData(answer));
    }
}

// Two groups with instances of their own behind one isapihost with four workers.
struct Site {
    Site() {
        std::filesystem::create_directories(modules);
        std::filesystem::create_directories(scratch.file("www"));
        testsupport::writeFile(scratch.file("www/static.txt"), "static");
        std::filesystem::copy_file(
            testsupport::buildOutputFolder() + "/modules/Brevant_Adapter.dll",
            modules + "/Brevant_Adapter.dll");
        // Lines ended by CR LF as on Windows.
        testsupport::writeFile(modules + "/brevant.properties",
                               "brevant.sales.instances=127.0.0.1:" + std::to_string(sales.port()) +
                                   "\r\nbrevant.sales.applications=/sales\r\n"
                                   "brevant.hr.instances=127.0.0.1:" +
                                   std::to_string(hr.port()) +
                                   "\r\nbrevant.hr.applications=/hr\r\n");
        started = server.start(
            testsupport::buildOutputFolder() + "/bin/isapihost",
            {"--port", "0", "--root", scratch.file("www"), "--vdir",
             "/Scripts=" + modules + ",execute", "--filter", modules + "/Brevant_Adapter.dll",
             "--access-log", scratch.file("access.log"), "--threads", "4"},
            {{"STANDIN_REGISTRY", scratch.file("registry.reg")}}, scratch.file("isapihost.log"),
            "isapihost: listening on");
    }

    testsupport::ScratchDir scratch{"adapter"};
    std::string modules = scratch.path() + "/modules";
    FakeInstance sales{[](Peer& peer) { serveApplication(peer, "sales"); }};
    FakeInstance hr{[](Peer& peer) { serveApplication(peer, "hr"); }};
    testsupport::ServerProcess server;
    bool started = false;
};

class AdapterInHost : public testing::Test {
  protected:
    static void SetUpTestSuite() { site_ = std::make_unique<Site>(); }
    static void TearDownTestSuite() { site_.reset(); }
    void SetUp() override { ASSERT_TRUE(site_->started) << site_->server.output(); }

    static int port() { return site_->server.port(); }
    // Everything the host sends back for a GET on a fresh connection, until it closes.
    static std::string get(const std::string& target) {
        HttpConnection connection(port());
        EXPECT_TRUE(connection.send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
        return connection.readAll();
    }
    static bool logged(const std::string& line) {
        return chain::fileSoonHolds(site_->scratch.file("access.log"), line);
    }

    static std::unique_ptr<Site> site_;
};

std::unique_ptr<Site> AdapterInHost::site_;

TEST_F(AdapterInHost, RoutesEachGroupToItsInstanceAndRelaysTheAnswerUnchanged) {
    EXPECT_EQ(get("/sales/list?item=7"),
              applicationResponse("sales", "GET /sales/list?item=7 HTTP/1.1"));
    EXPECT_EQ(get("/hr/people"), applicationResponse("hr", "GET /hr/people HTTP/1.1"));
    EXPECT_EQ(get("/hr/missing"), "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(testsupport::httpRequest(port(), "GET", "/static.txt").body, "static")
        << "not routed";
    EXPECT_TRUE(logged(" GET /sales/list item=7 200 "));
    EXPECT_TRUE(logged(" GET /hr/people - 200 "));
    EXPECT_TRUE(logged(" GET /hr/missing - 404 ")) << "the status of the instance's answer";

    fakeinstance::Connection list = site_->sales.takeConnection("GET /sales/list");
    EXPECT_EQ(list.received,
              "GET /sales/list?item=7 HTTP/1.1\r\nHOST: 127.0.0.1\r\n\r\n"
              "127.0.0.1\r\n127.0.0.1\r\n127.0.0.1\r\n" +
                  std::to_string(port()) + "\r\nisapihost/1.0\r\nfalse\r\n\r\n")
        << "the filter's marker headers are not forwarded";
    EXPECT_TRUE(list.closedByAdapter);
}

TEST_F(AdapterInHost, RelaysABodyBeyondTheReadAheadOnTheInstancesDemand) {
    const std::string body = testsupport::uploadBody(200000);
    EXPECT_EQ(testsupport::httpRequest(port(), "POST", "/sales/upload", "", body).raw,
              applicationResponse("sales", "POST /sales/upload HTTP/1.1", body.size()));
    EXPECT_TRUE(logged(" POST /sales/upload - 200 "));
    std::string posted = site_->sales.takeConnection("POST /sales/upload").received;
    ASSERT_GE(posted.size(), body.size());
    EXPECT_EQ(posted.substr(posted.size() - body.size()), body);
}

TEST_F(AdapterInHost, AnswersAHundredConcurrentRequestsEachWithItsOwnAnswer) {
    std::atomic<int> correct{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 100; ++c) {
        clients.emplace_back([&, c] {
            std::string target = "/sales/item?n=" + std::to_string(c);
            correct += get(target) == applicationResponse("sales", "GET " + target + " HTTP/1.1");
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    EXPECT_EQ(correct.load(), 100);
    for (int c = 0; c < 100; ++c) {
        ASSERT_TRUE(site_->sales.takeConnection("GET /sales/item").closedByAdapter)
            << "one connection per request, closed after it";
    }
}

TEST_F(AdapterInHost, AnInstanceThatDiesMidResponseLeavesTheHostServing) {
    EXPECT_EQ(get("/sales/die"),
              applicationResponse("sales", "GET /sales/die HTTP/1.1").substr(0, 60 - 5))
        << "what came before the instance died, then the end of the connection";
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(get("/sales/after"), applicationResponse("sales", "GET /sales/after HTTP/1.1"));
    }
}

TEST_F(AdapterInHost, ClientsGoneMidUploadFreeTheWorkersAndTheInstanceConnections) {
    std::vector<std::unique_ptr<HttpConnection>> gone;
    for (int i = 0; i < 4; ++i) {  // as many as there are workers
        gone.push_back(std::make_unique<HttpConnection>(port()));
        ASSERT_TRUE(
            gone.back()->send("POST /sales/abandoned HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                              "Content-Length: 200000\r\n\r\n" +
                              std::string(100000, 'b')));
    }
    std::this_thread::sleep_for(300ms);
    gone.clear();  // gone, half the body unsent
    EXPECT_EQ(get("/sales/next"), applicationResponse("sales", "GET /sales/next HTTP/1.1"));
    fakeinstance::Connection upload = site_->sales.takeConnection("POST /sales/abandoned");
    EXPECT_TRUE(upload.closedByAdapter) << "the instance does not wait for the missing bytes";
    EXPECT_EQ(upload.received.substr(upload.received.size() - 100000), std::string(100000, 'b'));
}

}  // namespace
