// Brevant_Adapter end to end: the built module in the real isapihost, in front of fake
// application-server instances on real sockets, driven by HTTP clients.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fake_instance.h"
#include "http_client.h"
#include "server_process.h"
#include "test_paths.h"

using fakeinstance::FakeInstance;
using fakeinstance::Peer;
using fakeinstance::readBody;
using fakeinstance::responseData;
using testsupport::HttpConnection;
using testsupport::httpRequest;
using testsupport::HttpResponse;
using namespace std::chrono_literals;

namespace {

constexpr size_t kReadAhead = 48 * 1024;  // what isapihost hands an extension in lpbData

// Every byte value, so that "unchanged" means unchanged.
std::string allBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    return bytes;
}

// The response an instance named `name` gives for a request line and a body.
std::string applicationResponse(const std::string& name, const std::string& requestLine,
                                size_t bodyLength) {
    return "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nX-Instance: " + name +
           "\r\n\r\n" + name + "\n" + requestLine + "\nbody=" + std::to_string(bodyLength) + "\n" +
           allBytes();
}

std::string requestLineOf(const std::string& head) {
    return head.substr(0, head.find("\r\n"));
}

size_t contentLengthOf(const std::string& head) {
    size_t at = head.find("\r\nCONTENT-LENGTH: ");
    return at == std::string::npos ? 0 : std::stoul(head.substr(at + 18));
}

// An application server as the adapter expects one: reads the request, takes the body the
// head announces (the preloaded part, then the rest with command 1) and answers. A path
// with "/die" gets half an answer and a dead connection; "/missing" gets a 404.
void serveApplication(Peer& peer, const std::string& name) {
    std::string head = peer.readHead();
    peer.readAddlInfo();
    size_t length = contentLengthOf(head);
    size_t preloaded = std::min(length, kReadAhead);
    std::string body = peer.readBytes(preloaded);
    if (length > preloaded) {
        peer.send(readBody(static_cast<uint32_t>(length - preloaded)));
        body += peer.readBytes(length - preloaded);
    }
    std::string line = requestLineOf(head);
    if (line.find("/die") != std::string::npos) {
        peer.send(responseData(applicationResponse(name, line, body.size())).substr(0, 60));
        Peer::pause(100ms);
        peer.abort();
        return;
    }
    if (line.find("/missing") != std::string::npos) {
        peer.send(responseData("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n"));
        return;
    }
    peer.send(responseData(applicationResponse(name, line, body.size())));
}

// The connection whose request began with `start` (connections are recorded as they end).
fakeinstance::Connection connectionFor(const FakeInstance& instance, const std::string& start) {
    for (const fakeinstance::Connection& connection : instance.connections()) {
        if (connection.received.compare(0, start.size(), start) == 0) {
            return connection;
        }
    }
    return {};
}

std::vector<std::string> dataLines(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != '#') {
            lines.push_back(line);
        }
    }
    return lines;
}

class AdapterInHost : public testing::Test {
  protected:
    void SetUp() override {
        modules_ = scratch_.path() + "/modules";
        www_ = scratch_.path() + "/www";
        std::filesystem::create_directories(modules_);
        std::filesystem::create_directories(www_);
        testsupport::writeFile(www_ + "/static.txt", "static");
        std::filesystem::copy_file(
            testsupport::buildOutputFolder() + "/modules/Brevant_Adapter.dll",
            modules_ + "/Brevant_Adapter.dll");
    }

    // brevant.properties beside the module, lines ended by CR LF as on Windows.
    void configure(const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& line : lines) {
            text += line + "\r\n";
        }
        testsupport::writeFile(modules_ + "/brevant.properties", text);
    }

    void start(int threads = 16) {
        std::vector<std::string> arguments = {"--port",       "0",
                                              "--root",       www_,
                                              "--vdir",       "/Scripts=" + modules_ + ",execute",
                                              "--filter",     modules_ + "/Brevant_Adapter.dll",
                                              "--access-log", accessLog(),
                                              "--threads",    std::to_string(threads)};
        ASSERT_TRUE(server_.start(testsupport::buildOutputFolder() + "/bin/isapihost", arguments,
                                  {{"STANDIN_REGISTRY", scratch_.file("registry.reg")},
                                   {"STANDIN_DEBUG_OUTPUT", debugOutput()}},
                                  scratch_.file("isapihost.log"), "isapihost: listening on"))
            << server_.output();
        port_ = server_.port();
    }

    // Everything the host sends back on a fresh connection until it closes.
    std::string exchange(const std::string& request) {
        HttpConnection connection(port_);
        EXPECT_TRUE(connection.send(request));
        return connection.readAll();
    }

    static std::string get(const std::string& target) {
        return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    }

    std::string accessLog() const { return scratch_.file("access.log"); }
    std::string debugOutput() const { return scratch_.file("debug.txt"); }

    testsupport::ScratchDir scratch_{"adapter"};
    std::string modules_;
    std::string www_;
    testsupport::ServerProcess server_;
    int port_ = 0;
};

TEST_F(AdapterInHost, RoutesEachGroupToItsInstanceAndRelaysTheAnswerUnchanged) {
    FakeInstance sales([](Peer& peer) { serveApplication(peer, "sales"); });
    FakeInstance hr([](Peer& peer) { serveApplication(peer, "hr"); });
    configure({"brevant.sales.instances=127.0.0.1:" + std::to_string(sales.port()),
               "brevant.sales.applications=/sales",
               "brevant.hr.instances=127.0.0.1:" + std::to_string(hr.port()),
               "brevant.hr.applications=/hr"});
    start();

    EXPECT_EQ(exchange(get("/sales/list?item=7")),
              applicationResponse("sales", "GET /sales/list?item=7 HTTP/1.1", 0));
    EXPECT_EQ(exchange(get("/hr/people")), applicationResponse("hr", "GET /hr/people HTTP/1.1", 0));
    EXPECT_EQ(exchange(get("/hr/missing")), "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(httpRequest(port_, "GET", "/static.txt").body, "static") << "not routed";

    std::string body(200000, '\0');
    for (size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>((i * 7919) >> 5);
    }
    HttpResponse upload = httpRequest(port_, "POST", "/sales/upload", "", body);
    EXPECT_EQ(upload.raw, applicationResponse("sales", "POST /sales/upload HTTP/1.1", body.size()))
        << "the preloaded part and the rest read on the instance's demand";

    ASSERT_TRUE(sales.waitForConnections(2));
    ASSERT_TRUE(hr.waitForConnections(2));
    fakeinstance::Connection list = connectionFor(sales, "GET /sales/list");
    EXPECT_EQ(list.received,
              "GET /sales/list?item=7 HTTP/1.1\r\nHOST: 127.0.0.1\r\n\r\n"
              "127.0.0.1\r\n127.0.0.1\r\n127.0.0.1\r\n" +
                  std::to_string(port_) + "\r\nisapihost/1.0\r\nfalse\r\n\r\n")
        << "the filter's marker headers are not forwarded";
    EXPECT_TRUE(list.closedByAdapter);
    std::string posted = connectionFor(sales, "POST /sales/upload").received;
    ASSERT_GE(posted.size(), body.size());
    EXPECT_EQ(posted.substr(posted.size() - body.size()), body);

    ASSERT_EQ(server_.stop(), 0);
    std::vector<std::string> lines = dataLines(testsupport::readFile(accessLog()));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_NE(lines[0].find(" GET /sales/list item=7 200 "), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(" GET /hr/people - 200 "), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(" GET /hr/missing - 404 "), std::string::npos)
        << "the status of the instance's answer: " << lines[2];
    EXPECT_NE(lines[4].find(" POST /sales/upload - 200 "), std::string::npos) << lines[4];
}

TEST_F(AdapterInHost, AnswersAHundredConcurrentRequestsEachWithItsOwnAnswer) {
    FakeInstance sales([](Peer& peer) { serveApplication(peer, "sales"); });
    configure({"brevant.sales.instances=127.0.0.1:" + std::to_string(sales.port()),
               "brevant.sales.applications=/sales"});
    start(32);

    std::atomic<int> correct{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 100; ++c) {
        clients.emplace_back([&, c] {
            std::string target = "/sales/item?n=" + std::to_string(c);
            HttpConnection connection(port_);
            if (connection.send(get(target)) &&
                connection.readAll() ==
                    applicationResponse("sales", "GET " + target + " HTTP/1.1", 0)) {
                ++correct;
            }
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    EXPECT_EQ(correct.load(), 100);
    ASSERT_TRUE(sales.waitForConnections(100));
    for (const fakeinstance::Connection& connection : sales.connections()) {
        EXPECT_TRUE(connection.closedByAdapter) << "one connection per request, closed after it";
    }
}

TEST_F(AdapterInHost, AnInstanceThatDiesMidResponseLeavesTheHostServing) {
    FakeInstance sales([](Peer& peer) { serveApplication(peer, "sales"); });
    configure({"brevant.sales.instances=127.0.0.1:" + std::to_string(sales.port()),
               "brevant.sales.applications=/sales"});
    start(2);

    std::string whole = applicationResponse("sales", "GET /sales/die HTTP/1.1", 0);
    EXPECT_EQ(exchange(get("/sales/die")), whole.substr(0, 60 - 5))
        << "what came before the instance died, then the end of the connection";
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(exchange(get("/sales/after")),
                  applicationResponse("sales", "GET /sales/after HTTP/1.1", 0));
    }
}

TEST_F(AdapterInHost, AClientGoneMidUploadFreesTheWorkerAndTheInstanceConnection) {
    FakeInstance sales([](Peer& peer) { serveApplication(peer, "sales"); });
    configure({"brevant.sales.instances=127.0.0.1:" + std::to_string(sales.port()),
               "brevant.sales.applications=/sales"});
    start(1);  // one worker: the next request shows that it is free again

    {
        HttpConnection connection(port_);
        ASSERT_TRUE(connection.send(
            "POST /sales/upload HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 200000\r\n\r\n" +
            std::string(100000, 'b')));
        std::this_thread::sleep_for(300ms);
    }  // gone, half the body unsent

    ASSERT_TRUE(sales.waitForConnections(1));
    fakeinstance::Connection upload = sales.connections()[0];
    EXPECT_TRUE(upload.closedByAdapter) << "the instance does not wait for the missing bytes";
    EXPECT_EQ(upload.received.substr(upload.received.size() - 100000), std::string(100000, 'b'));

    EXPECT_EQ(exchange(get("/sales/next")),
              applicationResponse("sales", "GET /sales/next HTTP/1.1", 0));
}

TEST_F(AdapterInHost, ShowsTheAdminPageListingEveryGroup) {
    FakeInstance sales([](Peer& peer) { serveApplication(peer, "sales"); });
    FakeInstance hr([](Peer& peer) { serveApplication(peer, "hr"); });
    configure({"brevant.sales.instances=127.0.0.1:" + std::to_string(sales.port()),
               "brevant.sales.applications=/sales",
               "brevant.hr.instances=127.0.0.1:" + std::to_string(hr.port())});
    start();

    HttpResponse page = httpRequest(port_, "GET", "/servlet/admin");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.headers["content-type"], "text/html");
    const std::string row =
        "<TR><td align=center bgcolor=#ffffee class=\"normalText\"><a href=\"/servlet/admin/";
    EXPECT_NE(page.body.find("<th>Server Name</th>" + row + "sales\">sales</a></td></tr>" + row +
                             "hr\">hr</a></td></tr></table><p></p>"),
              std::string::npos)
        << page.body;
    EXPECT_EQ(page.body.substr(0, 48), "<html><head><TITLE>Brevant AS Admin</TITLE><STYL");

    // The page's links lead to the groups' instances.
    EXPECT_EQ(exchange(get("/servlet/admin/hr")),
              applicationResponse("hr", "GET /servlet/admin/hr HTTP/1.1", 0));
}

TEST_F(AdapterInHost, AnswersWithTheFailurePageWhenAnInstanceIsDown) {
    int closed = fakeinstance::closedPort();
    configure({"brevant.down.instances=127.0.0.1:" + std::to_string(closed),
               "brevant.down.applications=/down"});
    start();

    std::string page =
        "<html><head><title>Brevant Failure</title></head><body bgcolor=#ffffff>"
        "<center><h2><font color=#FF0000>Failed to connect to Brevant instance down at "
        "127.0.0.1:" +
        std::to_string(closed) + "</font></h2><p>The error number is 10061</center></body></html>";
    EXPECT_EQ(exchange(get("/down/x")),
              "HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/html\r\n\r\n" + page);
    EXPECT_NE(testsupport::readFile(debugOutput()).find("Failed to connect to Brevant.\n"),
              std::string::npos);
}

TEST_F(AdapterInHost, ARequestForTheExtensionItselfReachesNoInstance) {
    FakeInstance sales([](Peer& peer) { serveApplication(peer, "sales"); });
    configure({"brevant.sales.instances=127.0.0.1:" + std::to_string(sales.port()),
               "brevant.sales.applications=/sales"});
    start();

    EXPECT_EQ(exchange("GET /Scripts/Brevant_Adapter.dll HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                       "X-Brevant-Group: 0\r\nX-Brevant-Request: /sales/forged\r\n\r\n"),
              "")
        << "refused without an answer";
    EXPECT_EQ(exchange(get("/sales/real")),
              applicationResponse("sales", "GET /sales/real HTTP/1.1", 0));
    ASSERT_TRUE(sales.waitForConnections(1));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(sales.connections().size(), 1u);
    EXPECT_NE(
        testsupport::readFile(debugOutput()).find("Failed to retrieve Brevant Group for request."),
        std::string::npos);
}

}  // namespace
