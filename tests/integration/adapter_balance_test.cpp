// Brevant_Adapter's balance policies, time-outs and IPv6 instances end to end: the built
// module in the real isapihost, in front of real instance processes (the Java AppServer, the
// native slow instance) that the tests kill and restart, and of a fake instance that hangs.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "chain_checks.h"
#include "fake_instance.h"
#include "http_client.h"
#include "server_process.h"
#include "slow_instance.h"
#include "test_paths.h"

using testsupport::httpRequest;
using testsupport::ServerProcess;
using namespace std::chrono_literals;

namespace {

constexpr char kStatusPath[] = "/brevant-status";

std::string entryOf(int port) {
    return "127.0.0.1:" + std::to_string(port);
}

long long millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

// One counter of the instance `entry` on the status page's JSON; -1 when it is not there.
long long statusCounter(int hostPort, const std::string& entry, const std::string& counter) {
    const std::string json = httpRequest(hostPort, "GET", std::string(kStatusPath) + "?json").body;
    size_t at = json.find("{\"entry\":\"" + entry + "\"");
    at = at == std::string::npos ? at : json.find("\"" + counter + "\":", at);
    return at == std::string::npos ? -1 : std::atoll(json.c_str() + at + counter.size() + 3);
}

// The full path of an installed program, found as the shell finds it; "" when missing.
std::string programOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path == nullptr ? "" : path);
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (!folder.empty() && access((folder + "/" + name).c_str(), X_OK) == 0) {
            return folder + "/" + name;
        }
    }
    return "";
}

// What wrk reports: the answers it counted, and the requests that failed. isapihost ends the
// connection after each of the adapter's answers (its extension never keeps one), while the
// instance's HTTP/1.1 head lets wrk expect to reuse it: wrk counts that end as a read or write
// error. So each connection carries one request and ends in one such error; the ends beyond
// the answers are requests that got none, and the non-2xx answers failed as well.
struct LoadReport {
    long long requests = -1;
    long long failed = 0;
};

LoadReport wrkReport(const std::string& text) {
    LoadReport report;
    const size_t requests = text.find(" requests in ");
    if (requests != std::string::npos) {
        report.requests = std::atoll(text.c_str() + text.rfind('\n', requests) + 1);
    }
    long long errors[4] = {};
    const size_t socket = text.find("Socket errors:");
    if (socket != std::string::npos) {
        std::sscanf(text.c_str() + socket,
                    "Socket errors: connect %lld, read %lld, write %lld, timeout %lld", &errors[0],
                    &errors[1], &errors[2], &errors[3]);
    }
    long long rejected = 0;
    const size_t status = text.find("Non-2xx or 3xx responses:");
    if (status != std::string::npos) {
        std::sscanf(text.c_str() + status, "Non-2xx or 3xx responses: %lld", &rejected);
    }
    report.failed =
        rejected + errors[0] + errors[3] + std::max(0LL, errors[1] + errors[2] - report.requests);
    return report;
}

bool acceptsOnIpv6Loopback(int port) {
    const int fd = socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    address.sin6_port = htons(static_cast<uint16_t>(port));
    const bool connected =
        fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) {
        close(fd);
    }
    return connected;
}

size_t entriesIn(const std::string& folder) {
    std::filesystem::directory_iterator entries(folder);
    return static_cast<size_t>(std::distance(begin(entries), end(entries)));
}

// Two Java instances in a round-robin group, the first also as [::1] in a group of its own
// that takes /servlet/Snoop, behind one isapihost with its default 32 workers.
struct AppServerPair {
    AppServerPair() {
        const std::string properties =
            std::string("brevant.status=") + kStatusPath +
            "\nbrevant.v6.balance=first\nbrevant.v6.instances=[::1]:" + std::to_string(ports[0]) +
            "\nbrevant.v6.applications=/servlet/Snoop\n"
            "brevant.pair.balance=roundrobin\nbrevant.pair.retrytime=2\n"
            "brevant.pair.instances=" +
            entryOf(ports[0]) + "," + entryOf(ports[1]) + "\nbrevant.pair.applications=/servlet/\n";
        started = start(0) && start(1) && chain::startAdapterHost(host, scratch.path(), properties);
    }
    bool start(int i) {
        return chain::startAppServer(instances[i], ports[i],
                                     scratch.file("appserver" + std::to_string(i) + ".log"));
    }

    testsupport::ScratchDir scratch{"balance"};
    const int ports[2] = {chain::freePort(), chain::freePort()};
    ServerProcess instances[2];
    ServerProcess host;
    bool started = false;
};

class BalancedAppServers : public testing::Test {
  protected:
    static void SetUpTestSuite() { pair_ = std::make_unique<AppServerPair>(); }
    static void TearDownTestSuite() { pair_.reset(); }
    void SetUp() override {
        ASSERT_TRUE(pair_->started)
            << pair_->host.output() << pair_->instances[0].output() << pair_->instances[1].output();
    }

    static int port() { return pair_->host.port(); }
    static long long counter(int instance, const std::string& name) {
        return statusCounter(port(), entryOf(pair_->ports[instance]), name);
    }
    static bool hello() { return httpRequest(port(), "GET", "/servlet/Hello").status == 200; }

    static std::unique_ptr<AppServerPair> pair_;
};

std::unique_ptr<AppServerPair> BalancedAppServers::pair_;

TEST_F(BalancedAppServers, RoundRobinSharesTheRequestsEvenly) {
    const long long before[2] = {counter(0, "requestsSent"), counter(1, "requestsSent")};
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([&] {
            for (int r = 0; r < 250; ++r) {
                answered += hello();
            }
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    const long long first = counter(0, "requestsSent") - before[0];
    const long long second = counter(1, "requestsSent") - before[1];
    std::printf("round robin: %lld and %lld of 1000 requests\n", first, second);
    EXPECT_EQ(answered.load(), 1000);
    EXPECT_EQ(first + second, 1000);
    EXPECT_NEAR(first, 500, 50);
}

TEST_F(BalancedAppServers, AnInstanceOnTheIpv6LoopbackAnswers) {
    ASSERT_TRUE(acceptsOnIpv6Loopback(pair_->ports[0])) << "the instance does not listen on ::1";
    const testsupport::HttpResponse snoop = httpRequest(port(), "GET", "/servlet/Snoop?via=v6");
    EXPECT_EQ(snoop.status, 200);
    EXPECT_NE(snoop.body.find("Query string: via=v6\n"), std::string::npos) << snoop.body;
    EXPECT_EQ(statusCounter(port(), "[::1]:" + std::to_string(pair_->ports[0]), "requestsSent"), 1);
}

// Last of the suite: it kills the second instance and starts a new one in its place.
TEST_F(BalancedAppServers, AKilledInstanceFailsAtMostTheRequestsInFlightAndComesBack) {
    const std::string wrk = programOnPath("wrk");
    ASSERT_FALSE(wrk.empty()) << "wrk is not installed; ./dev test installs it";
    ServerProcess load;
    // Line-buffered, so that its first line tells it runs.
    ASSERT_TRUE(load.start("/usr/bin/stdbuf",
                           {"-oL", wrk, "-c", "32", "-t", "2", "-d", "20s",
                            "http://127.0.0.1:" + std::to_string(port()) + "/servlet/Hello"},
                           {}, pair_->scratch.file("wrk.log"), "Running"))
        << load.output();
    const long long warm = counter(1, "requestsSent");
    ASSERT_TRUE(chain::eventually([&] { return counter(1, "requestsSent") > warm + 200; }));
    pair_->instances[1].stop(5s, SIGKILL);
    ASSERT_TRUE(chain::eventually([&] { return counter(1, "connectFailures") > 0; }, 5s));

    ASSERT_TRUE(pair_->start(1)) << pair_->instances[1].output();
    // While down it is kept away: once per retry time, and by the requests already on their
    // way to it when it went down.
    const long long attempts = counter(1, "connectFailures");
    std::printf("connection attempts on the killed instance: %lld\n", attempts);
    EXPECT_LT(attempts, 64);
    const long long restarted = counter(1, "requestsSent");
    EXPECT_TRUE(
        chain::eventually([&] { return hello() && counter(1, "requestsSent") > restarted; }, 10s))
        << "back in the rotation once its retry time has passed";

    ASSERT_TRUE(chain::eventually([&] { return !load.running(); }, 40s));
    const LoadReport report = wrkReport(load.output());
    std::printf("%swrk: %lld requests answered, %lld failed\n", load.output().c_str(),
                report.requests, report.failed);
    EXPECT_GT(report.requests, 1000) << load.output();
    EXPECT_LE(report.failed, 32) << "more than the requests in flight\n" << load.output();
}

TEST(AdapterReplyTimeout, AHungInstanceGets504AndFreesTheOnlyWorker) {
    fakeinstance::FakeInstance hung([](fakeinstance::Peer& peer) {
        peer.readUntil("\r\n\r\n");
        peer.readUntil("\r\n\r\n");
        peer.readBytes(1);  // no answer: waits until the adapter gives up
    });
    fakeinstance::FakeInstance fine([](fakeinstance::Peer& peer) {
        peer.readUntil("\r\n\r\n");
        peer.readUntil("\r\n\r\n");
        peer.send(fakeinstance::responseData("HTTP/1.0 200 OK\r\n\r\nfine"));
    });
    testsupport::ScratchDir scratch{"reply-timeout"};
    ServerProcess host;
    ASSERT_TRUE(chain::startAdapterHost(
        host, scratch.path(),
        "brevant.hung.instances=" + entryOf(hung.port()) +
            "\nbrevant.hung.applications=/hung/\nbrevant.hung.replytimeout=500\n"
            "brevant.fine.instances=" +
            entryOf(fine.port()) + "\nbrevant.fine.applications=/fine/\n",
        {"--threads", "1"}))
        << host.output();

    const auto start = std::chrono::steady_clock::now();
    const testsupport::HttpResponse timedOut = httpRequest(host.port(), "GET", "/hung/report");
    const long long held = millisecondsSince(start);
    std::printf("the hung instance held the only worker thread for %lld ms\n", held);
    EXPECT_EQ(timedOut.statusLine, "HTTP/1.1 504 Gateway Timeout");
    EXPECT_GE(held, 500);
    EXPECT_LT(held, 1000);
    EXPECT_TRUE(hung.takeConnection("GET /hung/report").closedByAdapter);
    EXPECT_EQ(httpRequest(host.port(), "GET", "/fine/next").raw, "HTTP/1.0 200 OK\r\n\r\nfine");
}

TEST(AdapterInstanceKills, AHundredKillsMidResponseLeaveTheHostServingWithNothingLeaked) {
    constexpr int kClients = 2;  // requests cut short by each kill
    testsupport::ScratchDir scratch{"instance-kills"};
    const int instancePort = chain::freePort();
    ServerProcess host;
    ServerProcess instance;
    auto startInstance = [&] {
        return instance.start(SLOW_INSTANCE_PROGRAM, {std::to_string(instancePort)}, {},
                              scratch.file("slow.log"), slowinstance::kReadyLine);
    };
    auto servedWhole = [&] {
        return httpRequest(host.port(), "GET", "/slow/whole?pieces=3").raw ==
               slowinstance::kHead + slowinstance::body(3);
    };
    ASSERT_TRUE(chain::startAdapterHost(
        host, scratch.path(),
        "brevant.slow.instances=" + entryOf(instancePort) + "\nbrevant.slow.applications=/slow/\n",
        {"--threads", "4"}))
        << host.output();
    ASSERT_TRUE(startInstance()) << instance.output();
    ASSERT_TRUE(servedWhole());
    instance.stop(5s, SIGKILL);  // each round starts its own
    const std::string proc = "/proc/" + std::to_string(host.pid());
    const size_t descriptors = entriesIn(proc + "/fd");
    const size_t threads = entriesIn(proc + "/task");

    const auto start = std::chrono::steady_clock::now();
    for (int kill = 0; kill < 100; ++kill) {
        ASSERT_TRUE(startInstance()) << instance.output();
        std::string answers[kClients];
        std::vector<std::thread> clients;
        for (std::string& answer : answers) {
            clients.emplace_back([&] {
                testsupport::HttpConnection connection(host.port(), 5);
                connection.send("GET /slow/cut?pieces=1000 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
                answer = connection.readAll();
            });
        }
        const bool streaming = chain::eventually(
            [&] {
                const std::string output = instance.output();
                size_t count = 0;
                for (size_t at = 0;
                     (at = output.find(slowinstance::kStreamingLine, at)) != std::string::npos;
                     ++at) {
                    ++count;
                }
                return count == kClients;
            },
            5s);
        instance.stop(5s, SIGKILL);
        for (std::thread& client : clients) {
            client.join();
        }
        ASSERT_TRUE(streaming) << "kill " << kill << ": " << instance.output();
        for (const std::string& answer : answers) {
            ASSERT_TRUE(answer.starts_with(slowinstance::kHead))
                << "kill " << kill << ": " << answer;
            ASSERT_LT(answer.size(),
                      std::string(slowinstance::kHead).size() + slowinstance::body(1000).size())
                << "cut short";
        }
    }
    const long long killing = millisecondsSince(start);

    ASSERT_TRUE(startInstance()) << instance.output();
    EXPECT_TRUE(servedWhole());
    // isapihost closes a finished exchange's client and instance sockets on its own thread,
    // after the test's client has its answer: the counts are taken once they are back where
    // they were, or after a few seconds, and those two sockets may then still be closing.
    constexpr size_t kClosingSockets = 2;
    chain::eventually(
        [&] {
            return entriesIn(proc + "/fd") <= descriptors && entriesIn(proc + "/task") <= threads;
        },
        5s);
    const size_t descriptorsAfter = entriesIn(proc + "/fd");
    const size_t threadsAfter = entriesIn(proc + "/task");
    std::printf(
        "100 kills in %lld ms; isapihost's descriptors %zu before, %zu after; "
        "threads %zu before, %zu after\n",
        killing, descriptors, descriptorsAfter, threads, threadsAfter);
    EXPECT_LE(descriptorsAfter, descriptors + kClosingSockets);
    EXPECT_LE(threadsAfter, threads);
}

}  // namespace
