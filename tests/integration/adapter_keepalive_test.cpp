// Brevant_Adapter's kept connections end to end: isapihost in front of two Java instances in a
// failover group with `keepalive`, and of a fake instance that keeps, drops or never keeps them.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "chain_checks.h"
#include "fake_instance.h"
#include "http_client.h"
#include "response_checks.h"
#include "test_paths.h"

using namespace std::chrono_literals;

namespace {

constexpr char kOldAnswer[] = "HTTP/1.0 200 OK\r\n\r\nold";
std::atomic<int> dropHeads{0};  // heads of /fake/drop the fake instance read

// /fake/drop is answered as kept, but its second head finds the connection closing; the rest
// in the base format: command 0, then the close. An empty head: the adapter closed an idle one.
void serve(fakeinstance::Peer& peer) {
    for (std::string head;
         !(head = peer.readUntil("\r\n\r\n")).empty() && !peer.readUntil("\r\n\r\n").empty();) {
        if (!head.starts_with("GET /fake/drop")) {
            return peer.send(fakeinstance::responseData(kOldAnswer));
        }
        if (++dropHeads == 2) {
            return;
        }
        peer.send(fakeinstance::responseData("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n") +
                  "\x03\x01");  // command 3: kept, and the client's connection too
    }
}

// One GET on a kept client connection; its status, 0 when no answer came.
int get(testsupport::HttpConnection& connection, const std::string& target) {
    return connection.send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
               ? connection.read().status
               : 0;
}

struct KeptChain {
    bool start(int i) {
        return chain::startAppServer(instances[i], ports[i],
                                     scratch.file("appserver" + std::to_string(i) + ".log"));
    }

    testsupport::ScratchDir scratch{"keepalive"};
    const int ports[2] = {chain::freePort(), chain::freePort()};
    testsupport::ServerProcess instances[2];
    fakeinstance::FakeInstance fake{serve};
    testsupport::ServerProcess host;  // stopped first: it closes the kept connections
    const std::string java = chain::entryOf(ports[0]), other = chain::entryOf(fake.port());
    const std::string properties =  // snoop before pair, which takes the rest of /servlet/
        "brevant.snoop.applications=/servlet/Snoop\nbrevant.snoop.instances=" + java +
        "\nbrevant.pair.applications=/servlet/"
        "\nbrevant.pair.balance=failover\nbrevant.pair.retrytime=1"
        "\nbrevant.pair.keepalive=16\nbrevant.pair.instances=" +
        java + "," + chain::entryOf(ports[1]) +
        "\nbrevant.fake.applications=/fake/\nbrevant.fake.keepalive=16\nbrevant.fake.instances=" +
        other + "\nbrevant.plain.applications=/plain/\nbrevant.plain.instances=" + other + "\n";
    bool started =
        start(0) && start(1) && chain::startAdapterHost(host, scratch.path(), properties);
};

class KeptConnections : public testing::Test {
  protected:
    static void SetUpTestSuite() { chain_ = std::make_unique<KeptChain>(); }
    static void TearDownTestSuite() { chain_.reset(); }
    void SetUp() override { ASSERT_TRUE(chain_->started) << chain_->host.output(); }

    static int port() { return chain_->host.port(); }
    static std::string firstLog() { return chain_->instances[0].output(); }

    // The adapter's port of each line with `what` the first instance logged from `from` on, once
    // there are `count` (or after 30 s): log lines are written after their responses are sent.
    static std::vector<int> portsOf(const std::string& what, size_t from = 0, size_t count = 1) {
        std::vector<int> ports;
        chain::eventually([&] {
            std::istringstream lines(firstLog().substr(from));
            ports.clear();
            for (std::string line; std::getline(lines, line);) {
                if (line.starts_with("127.0.0.1:") && line.find(" " + what + " ") != line.npos) {
                    ports.push_back(std::stoi(line.substr(10)));
                }
            }
            return ports.size() >= count;
        });
        return ports;
    }

    // Eight clients, each sending `each` GETs (or GETs until stopped) on a kept connection.
    struct Load {
        explicit Load(int each) {
            for (int c = 0; c < 8; ++c) {
                clients.emplace_back([this, each](std::stop_token stop) {
                    testsupport::HttpConnection connection(port());
                    for (int r = 0; r != each && !stop.stop_requested(); ++r) {
                        ++(get(connection, "/servlet/Hello") == 200 ? answered : failed);
                    }
                    open += !connection.closedByServer(100);
                });
            }
        }
        std::atomic<int> answered{0}, failed{0}, open{0};
        std::vector<std::jthread> clients;  // stopped and joined before the counts go
    };

    static inline std::unique_ptr<KeptChain> chain_;
};

TEST_F(KeptConnections, TenThousandGetsKeepEightClientAndAsManyInstanceConnections) {
    const size_t from = firstLog().size();
    Load load(1250);
    ASSERT_TRUE(chain::eventually([&] { return load.answered + load.failed == 10000; }));
    load.clients.clear();  // its stop comes after the last GET
    EXPECT_EQ(load.failed, 0);
    EXPECT_EQ(load.open, 8);
    const std::vector<int> ports = portsOf("GET /servlet/Hello 200", from, 10000);
    EXPECT_EQ(ports.size(), 10000u);
    EXPECT_LE(std::set<int>(ports.begin(), ports.end()).size(), 8u + 4u);
}

TEST_F(KeptConnections, ABigUploadAndAGetFollowEachOtherOnKeptConnections) {
    const size_t from = firstLog().size();
    const std::string body = testsupport::uploadBody(20u * 1024 * 1024);
    testsupport::HttpConnection connection(port());
    ASSERT_TRUE(
        connection.send("POST /servlet/Upload HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n\r\n" + body));
    const std::string upload = connection.read().body;
    EXPECT_EQ(upload.substr(0, upload.find_first_of("\r\n")), testsupport::uploadDigest(body));
    EXPECT_EQ(get(connection, "/servlet/Hello"), 200);
    EXPECT_EQ(portsOf("POST /servlet/Upload 200", from), portsOf("GET /servlet/Hello 200", from))
        << "both on one instance connection";
}

TEST_F(KeptConnections, OnlyWithTheSettingDoesTheHeadCarryTheExchangeLine) {
    for (const bool setting : {true, false}) {
        const std::string target = setting ? "/fake/old" : "/plain/";
        EXPECT_EQ(testsupport::httpRequest(port(), "GET", target).raw, kOldAnswer);
        const fakeinstance::Connection connection = chain_->fake.takeConnection("GET " + target);
        EXPECT_EQ(
            connection.received.find("X-BREVANT-EXCHANGE: 1; preloaded=0\r\n") != std::string::npos,
            setting);
        EXPECT_TRUE(connection.closedByAdapter) << "an old-style instance's connection";
    }
    testsupport::HttpConnection connection(port());
    ASSERT_TRUE(connection.send("GET /servlet/Snoop HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    EXPECT_EQ(connection.read().headers["connection"], "close");
    EXPECT_TRUE(connection.closedByServer());
}

TEST_F(KeptConnections, AGetOnAKeptConnectionTheInstanceClosesGoesAgainOnANewOne) {
    testsupport::HttpConnection connection(port());
    EXPECT_EQ(get(connection, "/fake/drop"), 200);
    EXPECT_EQ(get(connection, "/fake/drop"), 200);
    EXPECT_EQ(dropHeads, 3) << "the second GET once on the kept connection, once on a new one";
}

// Last of the suite: it stops the first instance as StopServer or the service does (SIGTERM,
// its exchanges may end) and starts a new one in its place.
TEST_F(KeptConnections, RestartingAnInstanceUnderLoadFailsNoGet) {
    Load load(-1);
    ASSERT_TRUE(chain::eventually([&] { return load.answered > 1000; }));
    const auto stopping = std::chrono::steady_clock::now();
    EXPECT_NE(chain_->instances[0].stop(10s), -1) << firstLog();
    // Busy kept connections let go after their exchange: no wait for the pool's 5 s.
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 3s);
    const int atStop = load.answered;
    ASSERT_TRUE(chain::eventually([&] { return load.answered > atStop + 1000; }))
        << "on the second";
    ASSERT_TRUE(chain_->start(0)) << firstLog();
    EXPECT_FALSE(portsOf("GET /servlet/Hello 200").empty())
        << "back in use once its retry time has passed";
    load.clients.clear();
    EXPECT_EQ(load.failed, 0) << load.answered << " answered";
}

}  // namespace
