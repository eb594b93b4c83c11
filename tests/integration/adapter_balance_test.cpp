// Brevant_Adapter's balance policies, time-outs and IPv6 instances end to end: the module in
// isapihost, in front of Java instances killed and restarted, and fake instances that hang or die.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "chain_checks.h"
#include "fake_instance.h"
#include "http_client.h"
#include "test_paths.h"

using chain::entryOf;
using testsupport::httpRequest;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// The number after `label` in `text` from `from` on; 0 when `label` is not there.
long long numberAfter(const std::string& text, const std::string& label, size_t from = 0) {
    const size_t at = text.find(label, from);  // npos when `from` is
    return at == std::string::npos ? 0 : std::atoll(text.c_str() + at + label.size());
}

// wrk's answered and failed requests. isapihost ends the connection after each answer, which
// wrk, told by the HTTP/1.1 head to expect reuse, counts as a read or write error: the ends
// beyond the answers are requests that got none. Non-2xx, connect errors and time-outs failed.
std::pair<long long, long long> wrkFigures(const std::string& text) {
    auto count = [&](const char* label) { return numberAfter(text, label); };
    const long long answered = std::atoll(&text[text.rfind('\n', text.find(" requests in ")) + 1]);
    const long long ends = count(", read ") + count(", write ");
    return {answered, count("Non-2xx or 3xx responses: ") + count("errors: connect ") +
                          count(", timeout ") + std::max(0LL, ends - answered)};
}

constexpr char kHead[] = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
std::atomic<int> streaming{0};  // /fake/cut answers begun, over all rounds
std::atomic<bool> killed{false};

// Fake instances answer kHead; /fake/hang gets no answer, /fake/cut a body until `killed`.
void serve(fakeinstance::Peer& peer) {
    const std::string head = peer.readUntil("\r\n\r\n");
    peer.readUntil("\r\n\r\n");  // the additional information
    if (head.starts_with("GET /fake/hang")) {
        peer.readBytes(1);  // waits until the adapter gives up
        return;
    }
    peer.send(fakeinstance::responseData(kHead));
    if (head.starts_with("GET /fake/cut")) {
        ++streaming;
        for (int piece = 0; piece < 1000 && !killed; ++piece) {  // 10 s at most
            std::this_thread::sleep_for(10ms);
            peer.send(fakeinstance::responseData("a slow piece of the body\n"));
        }
        peer.abort();
    }
}

// Two Java instances in a round-robin group, the first also as [::1] in a group for Snoop, and
// a group for a fake instance on fakePort, behind one isapihost with its default 32 workers.
struct AppServerPair {
    bool start(int i) {
        return chain::startAppServer(instances[i], ports[i],
                                     scratch.file("appserver" + std::to_string(i) + ".log"));
    }

    testsupport::ScratchDir scratch{"balance"};
    const int ports[2] = {chain::freePort(), chain::freePort()}, fakePort = chain::freePort();
    const std::string entries[3] = {entryOf(ports[0]), entryOf(ports[1]),
                                    "[::1]:" + std::to_string(ports[0])};
    testsupport::ServerProcess instances[2], host;
    // v6 comes first: a request goes to the first group whose application it begins with.
    bool started = start(0) && start(1) &&
                   chain::startAdapterHost(
                       host, scratch.path(),
                       "brevant.status=/brevant-status\nbrevant.v6.applications=/servlet/Snoop\n"
                       "brevant.v6.balance=first\nbrevant.pair.balance=roundrobin\n"
                       "brevant.pair.retrytime=2\nbrevant.pair.applications=/servlet/\n"
                       "brevant.fake.applications=/fake/\nbrevant.v6.instances=" +
                           entries[2] + "\nbrevant.pair.instances=" + entries[0] + "," +
                           entries[1] + "\nbrevant.fake.instances=" + entryOf(fakePort) + "\n");
};

class BalancedAppServers : public testing::Test {
  protected:
    static void SetUpTestSuite() { pair_ = std::make_unique<AppServerPair>(); }
    static void TearDownTestSuite() { pair_.reset(); }
    void SetUp() override { ASSERT_TRUE(pair_->started) << pair_->host.output(); }

    static int port() { return pair_->host.port(); }
    static long long counter(int i, const std::string& name) {
        const std::string json = httpRequest(port(), "GET", "/brevant-status?json").body;
        return numberAfter(json, "\"" + name + "\":", json.find(":\"" + pair_->entries[i] + "\""));
    }
    static bool hello() { return httpRequest(port(), "GET", "/servlet/Hello").status == 200; }

    static inline std::unique_ptr<AppServerPair> pair_;
};

TEST_F(BalancedAppServers, RoundRobinSharesTheRequestsEvenly) {
    const long long before[2] = {counter(0, "requestsSent"), counter(1, "requestsSent")};
    std::atomic<int> answered{0};
    const auto client = [&] {
        for (int r = 0; r < 250; ++r) {
            answered += hello();
        }
    };
    { std::jthread a(client), b(client), c(client), d(client); }
    const long long first = counter(0, "requestsSent") - before[0];
    const long long second = counter(1, "requestsSent") - before[1];
    std::printf("round robin: %lld and %lld of 1000 requests\n", first, second);
    EXPECT_EQ(answered.load(), 1000);
    EXPECT_EQ(first + second, 1000);
    EXPECT_NEAR(first, 500, 50);
}

TEST_F(BalancedAppServers, AnInstanceOnTheIpv6LoopbackAnswers) {
    const testsupport::HttpResponse snoop = httpRequest(port(), "GET", "/servlet/Snoop?via=v6");
    EXPECT_EQ(snoop.status, 200);
    EXPECT_NE(snoop.body.find("Query string: via=v6\n"), std::string::npos) << snoop.body;
    EXPECT_EQ(counter(2, "requestsSent"), 1);
}

// Each round's instance dies as a killed process does: its connections reset, its listener closed.
TEST_F(BalancedAppServers, AHundredKillsMidResponseLeaveTheHostServingWithNothingLeaked) {
    const auto get = [](const char* target) { return httpRequest(port(), "GET", target).raw; };
    std::optional<fakeinstance::FakeInstance> instance(std::in_place, serve, 10s, pair_->fakePort);
    ASSERT_EQ(get("/fake/whole"), kHead);
    const auto entriesIn = [&](const char* folder) {
        const std::string path = "/proc/" + std::to_string(pair_->host.pid()) + folder;
        return std::distance(std::filesystem::directory_iterator(path), {});
    };
    const long descriptors = entriesIn("/fd"), threads = entriesIn("/task");
    for (int round = 0; round < 100; ++round) {
        killed = false;
        instance.emplace(serve, 10s, pair_->fakePort);
        const auto cut = [&] { EXPECT_TRUE(get("/fake/cut").starts_with(kHead)) << round; };
        std::jthread first(cut), second(cut);  // each kill cuts two requests short
        ASSERT_TRUE(chain::eventually([&] { return streaming == 2 * (round + 1); }, 5s)) << round;
        killed = true;
        instance.reset();  // once its connections' threads have reset them
    }
    instance.emplace(serve, 10s, pair_->fakePort);
    EXPECT_EQ(get("/fake/whole"), kHead);
    // isapihost closes an exchange's two sockets after the client has its answer.
    EXPECT_TRUE(chain::eventually(
        [&] { return entriesIn("/fd") <= descriptors + 2 && entriesIn("/task") <= threads; }, 5s));
    std::printf("after 100 kills isapihost's descriptors: %ld, were %ld; threads: %ld, were %ld\n",
                entriesIn("/fd"), descriptors, entriesIn("/task"), threads);
}

// Last of the suite: it kills the second instance and starts a new one in its place.
TEST_F(BalancedAppServers, AKilledInstanceFailsAtMostTheRequestsInFlightAndComesBack) {
    testsupport::ServerProcess load;  // line-buffered, so that its first line tells it runs
    ASSERT_TRUE(load.start("/usr/bin/stdbuf",
                           {"-oL", "wrk", "-c", "32", "-t", "2", "-d", "20s",
                            "http://" + entryOf(port()) + "/servlet/Hello"},
                           {}, pair_->scratch.file("wrk.log"), "Running"))
        << load.output();
    const long long warm = counter(1, "requestsSent");
    ASSERT_TRUE(chain::eventually([&] { return counter(1, "requestsSent") > warm + 200; }));
    pair_->instances[1].stop(5s, SIGKILL);
    ASSERT_TRUE(chain::eventually([&] { return counter(1, "connectFailures") > 0; }, 5s));

    ASSERT_TRUE(pair_->start(1)) << pair_->instances[1].output();
    // While down it is kept away: tried once per retry time, and by the requests already on
    // their way to it when it went down.
    const long long attempts = counter(1, "connectFailures");
    const long long restarted = counter(1, "requestsSent");
    EXPECT_LT(attempts, 64);
    EXPECT_TRUE(
        chain::eventually([&] { return hello() && counter(1, "requestsSent") > restarted; }, 10s))
        << "back in the rotation once its retry time has passed";

    ASSERT_TRUE(chain::eventually([&] { return !load.running(); }, 40s));
    const auto [answered, failed] = wrkFigures(load.output());
    std::printf("%swrk: %lld answered, %lld failed; %lld attempts on the killed instance\n",
                load.output().c_str(), answered, failed, attempts);
    EXPECT_GT(answered, 1000) << load.output();
    EXPECT_LE(failed, 32) << "more than the requests in flight\n" << load.output();
}

TEST(AdapterReplyTimeout, AHungInstanceGets504AndFreesTheOnlyWorker) {
    fakeinstance::FakeInstance instance(serve);
    testsupport::ScratchDir scratch{"reply-timeout"};
    testsupport::ServerProcess host;
    ASSERT_TRUE(chain::startAdapterHost(host, scratch.path(),
                                        "brevant.fake.instances=" + entryOf(instance.port()) +
                                            "\nbrevant.fake.applications=/fake/\n"
                                            "brevant.fake.replytimeout=500\n",
                                        {"--threads", "1"}))
        << host.output();
    const auto start = Clock::now();
    const testsupport::HttpResponse timedOut = httpRequest(host.port(), "GET", "/fake/hang");
    const long long held = (Clock::now() - start) / std::chrono::milliseconds(1);
    std::printf("the hung instance held the only worker thread for %lld ms\n", held);
    EXPECT_EQ(timedOut.statusLine, "HTTP/1.1 504 Gateway Timeout");
    EXPECT_TRUE(held >= 500 && held < 1000);
    EXPECT_TRUE(instance.takeConnection("GET /fake/hang").closedByAdapter);
    EXPECT_EQ(httpRequest(host.port(), "GET", "/fake/next").raw, kHead);
}

}  // namespace
