// Brevant_Adapter's kept connections end to end: isapihost in front of two Java instances in a
// failover group with `keepalive`, and of a fake instance that keeps, drops or never keeps them.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
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

using chain::entryOf;
using namespace std::chrono_literals;

namespace {

constexpr char kOldAnswer[] = "HTTP/1.0 200 OK\r\n\r\nold";
std::atomic<int> dropHeads{0};  // heads of /fake/drop the fake instance read

// /fake/old and /plain/ in the base format: command 0, then the close. /fake/drop is kept
// once, then its second head finds the connection closing. Anything else is kept.
void serve(fakeinstance::Peer& peer) {
    for (;;) {
        const std::string head = peer.readUntil("\r\n\r\n");
        if (head.empty() || peer.readUntil("\r\n\r\n").empty()) {
            return;  // the adapter closed an idle connection
        }
        if (head.starts_with("GET /fake/old") || head.starts_with("GET /plain/")) {
            return peer.send(fakeinstance::responseData(kOldAnswer));
        }
        if (head.starts_with("GET /fake/drop") && ++dropHeads == 2) {
            return;
        }
        peer.send(fakeinstance::responseData("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n") +
                  "\x03\x01");  // command 3: kept, and the client's connection too
    }
}

// The adapter's port of each line of an instance's log that logs `what`, in order.
std::vector<int> portsOf(const std::string& log, const std::string& what) {
    std::vector<int> ports;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("127.0.0.1:") && line.find(" " + what + " ") != std::string::npos) {
            ports.push_back(std::atoi(line.c_str() + 10));
        }
    }
    return ports;
}

// One GET on a kept client connection; its status, 0 when no answer came.
int get(testsupport::HttpConnection& connection, const std::string& target) {
    return connection.send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
               ? connection.read().status
               : 0;
}

// Snoop and /plain/ go to groups without the setting, the rest of /servlet/ to the Java pair.
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
    bool started = start(0) && start(1) &&
                   chain::startAdapterHost(
                       host, scratch.path(),
                       "brevant.snoop.applications=/servlet/Snoop\nbrevant.snoop.instances=" +
                           entryOf(ports[0]) +
                           "\nbrevant.pair.applications=/servlet/\nbrevant.pair.instances=" +
                           entryOf(ports[0]) + "," + entryOf(ports[1]) +
                           "\nbrevant.pair.balance=failover\nbrevant.pair.retrytime=1\n"
                           "brevant.pair.keepalive=16\nbrevant.fake.applications=/fake/\n"
                           "brevant.fake.keepalive=16\nbrevant.fake.instances=" +
                           entryOf(fake.port()) +
                           "\nbrevant.plain.applications=/plain/\nbrevant.plain.instances=" +
                           entryOf(fake.port()) + "\n");
};

class KeptConnections : public testing::Test {
  protected:
    static void SetUpTestSuite() { chain_ = std::make_unique<KeptChain>(); }
    static void TearDownTestSuite() { chain_.reset(); }
    void SetUp() override { ASSERT_TRUE(chain_->started) << chain_->host.output(); }

    static int port() { return chain_->host.port(); }
    static std::string firstLog() { return chain_->instances[0].output(); }

    static inline std::unique_ptr<KeptChain> chain_;
};

TEST_F(KeptConnections, TenThousandGetsKeepEightClientAndAsManyInstanceConnections) {
    const size_t from = firstLog().size();
    std::atomic<int> answered{0}, open{0};
    {
        std::vector<std::jthread> clients;
        for (int c = 0; c < 8; ++c) {
            clients.emplace_back([&] {
                testsupport::HttpConnection connection(port());
                for (int r = 0; r < 1250 && get(connection, "/servlet/Hello") == 200; ++r) {
                    ++answered;
                }
                open += !connection.closedByServer(100);
            });
        }
    }
    std::vector<int> ports;  // log lines are written after their responses are sent
    chain::eventually([&] {
        ports = portsOf(firstLog().substr(from), "GET /servlet/Hello 200");
        return ports.size() >= 10000;
    });
    const size_t connections = std::set<int>(ports.begin(), ports.end()).size();
    std::printf(
        "%d of 10000 GETs answered 200 on 8 client connections, %d of them still open; "
        "the instance logged %zu on %zu connections\n",
        answered.load(), open.load(), ports.size(), connections);
    EXPECT_EQ(answered, 10000);
    EXPECT_EQ(open, 8);
    EXPECT_EQ(ports.size(), 10000u);
    EXPECT_LE(connections, 8u + 4u);
}

TEST_F(KeptConnections, ABigUploadAndAGetFollowEachOtherOnKeptConnections) {
    const size_t from = firstLog().size();
    const std::string body = testsupport::uploadBody(20u * 1024 * 1024);
    testsupport::HttpConnection connection(port());
    ASSERT_TRUE(
        connection.send("POST /servlet/Upload HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n\r\n" + body));
    const testsupport::HttpResponse upload = connection.read();
    EXPECT_EQ(upload.body.substr(0, upload.body.find_first_of("\r\n")),
              testsupport::uploadDigest(body))
        << upload.statusLine;
    EXPECT_EQ(get(connection, "/servlet/Hello"), 200);
    EXPECT_FALSE(connection.closedByServer(100));
    ASSERT_TRUE(
        chain::fileSoonHolds(chain_->scratch.file("appserver0.log"), "GET /servlet/Hello 200"));
    EXPECT_EQ(portsOf(firstLog().substr(from), "POST /servlet/Upload 200"),
              portsOf(firstLog().substr(from), "GET /servlet/Hello 200"))
        << "both on one instance connection";
}

TEST_F(KeptConnections, AnInstanceInTheBaseFormatGetsANewConnectionForEachRequest) {
    for (int request = 0; request < 2; ++request) {
        EXPECT_EQ(testsupport::httpRequest(port(), "GET", "/fake/old").raw, kOldAnswer);
        const fakeinstance::Connection connection = chain_->fake.takeConnection("GET /fake/old");
        EXPECT_NE(connection.received.find("X-BREVANT-EXCHANGE: 1; preloaded=0\r\n"),
                  std::string::npos);
        EXPECT_TRUE(connection.closedByAdapter);
    }
}

TEST_F(KeptConnections, AGetOnAKeptConnectionTheInstanceClosesGoesAgainOnANewOne) {
    testsupport::HttpConnection connection(port());
    EXPECT_EQ(get(connection, "/fake/drop"), 200);
    EXPECT_EQ(get(connection, "/fake/drop"), 200);
    EXPECT_EQ(dropHeads, 3) << "the second GET once on the kept connection, once on a new one";
}

TEST_F(KeptConnections, WithoutTheSettingNothingIsKept) {
    EXPECT_EQ(testsupport::httpRequest(port(), "GET", "/plain/").raw, kOldAnswer);
    EXPECT_EQ(chain_->fake.takeConnection("GET /plain/").received.find("X-BREVANT-EXCHANGE"),
              std::string::npos);
    testsupport::HttpConnection connection(port());
    ASSERT_TRUE(connection.send("GET /servlet/Snoop HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    EXPECT_EQ(connection.read().headers["connection"], "close");
    EXPECT_TRUE(connection.closedByServer());
}

// Last of the suite: it kills the first instance and starts a new one in its place. A killed
// process accepts connections while it is torn down: the GETs in flight on its kept ones, one
// per client, fail when the new connection they are sent again on meets the same instance.
// A restart as StopServer or the service does it: the instance lets its exchanges end.
TEST_F(KeptConnections, RestartingAnInstanceUnderLoadFailsNoGet) {
    std::atomic<int> answered{0}, failed{0};
    std::vector<std::jthread> clients;  // stopped and joined before the counts go
    for (int c = 0; c < 8; ++c) {
        clients.emplace_back([&](std::stop_token stop) {
            auto connection = std::make_unique<testsupport::HttpConnection>(port());
            while (!stop.stop_requested()) {
                if (get(*connection, "/servlet/Hello") == 200) {
                    ++answered;
                } else {
                    ++failed;
                    connection = std::make_unique<testsupport::HttpConnection>(port());
                }
            }
        });
    }
    ASSERT_TRUE(chain::eventually([&] { return answered > 1000; }));
    const auto stopping = std::chrono::steady_clock::now();
    EXPECT_NE(chain_->instances[0].stop(10s), -1) << "ended within 10 s\n" << firstLog();
    const auto stopped = std::chrono::steady_clock::now() - stopping;
    const int atKill = answered;
    ASSERT_TRUE(chain::eventually([&] { return answered > atKill + 1000; })) << "on the second";
    ASSERT_TRUE(chain_->start(0)) << firstLog();
    EXPECT_TRUE(chain::eventually(
        [&] { return !portsOf(firstLog(), "GET /servlet/Hello 200").empty(); }, 10s))
        << "back in use once its retry time has passed";
    clients.clear();
    std::printf(
        "restart under load: %d GETs answered, %d failed; %d answered before the stop, "
        "which took %lld ms\n",
        answered.load(), failed.load(), atKill,
        static_cast<long long>(stopped / std::chrono::milliseconds(1)));
    EXPECT_GT(answered, atKill);
    EXPECT_EQ(failed, 0);
}

}  // namespace
