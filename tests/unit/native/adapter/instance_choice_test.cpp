// The balance policies on a fake clock, with instances that refuse or accept as a test says:
// which instances a request tries, in which order, and the marks they leave.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "debug_output_capture.h"
#include "native/adapter/instance_choice.h"

namespace brevant::adapter {
namespace {

class InstanceChoiceTest : public testing::Test {
  protected:
    // A group "g" of `count` instances named i0, i1, ... with a retry time of 30 s.
    void Configure(BalancePolicy policy, int count) {
        group_ = AdapterGroup();
        std::snprintf(group_.name, sizeof group_.name, "g");
        group_.balance = policy;
        group_.retryTime = 30;
        group_.lastInstance = count - 1;
        for (int i = 0; i < count; ++i) {
            AdapterInstance instance;
            instance.entry = "i" + std::to_string(i);
            (i == 0 ? group_.instance : group_.extraInstances.emplace_back()) = instance;
        }
    }

    // One request: the instances it tried, in order, then "->" and the one it connected to
    // (or "!" and the one its failure page names).
    std::string Request() {
        std::string tried;
        InstanceChoice choice = connectByPolicy(
            group_, [this] { return now_; },
            [&](const AdapterInstance& instance) {
                tried += instance.entry + " ";
                ConnectAttempt attempt;
                if (dead_.count(instance.entry) != 0) {
                    attempt.error = WSAECONNREFUSED;
                } else {
                    attempt.socket = 100;  // never used as a socket
                }
                return attempt;
            });
        if (choice.instance == nullptr) {
            return tried + "! no instance";
        }
        return tried + (choice.socket != INVALID_SOCKET ? "-> " : "! ") + choice.instance->entry;
    }

    const AdapterInstance& Instance(int index) { return instanceAt(group_, index); }

    AdapterGroup group_;
    std::set<std::string> dead_;
    int64_t now_ = 1'000'000;
};

TEST_F(InstanceChoiceTest, FirstTakesInstanceZeroWhateverHappensToIt) {
    Configure(BalancePolicy::first, 2);
    dead_ = {"i0"};
    EXPECT_EQ(Request(), "i0 ! i0");
    EXPECT_EQ(Request(), "i0 ! i0");
    EXPECT_EQ(Instance(0).state.load(), kInstanceUp);
    EXPECT_EQ(Instance(0).connectFailures.load(), 2u);
}

TEST_F(InstanceChoiceTest, FailoverGoesOnInListOrderAndBackWhenTheRetryTimeHasPassed) {
    Configure(BalancePolicy::failover, 3);
    EXPECT_EQ(Request(), "i0 -> i0");
    dead_ = {"i0", "i1"};
    EXPECT_EQ(Request(), "i0 i1 i2 -> i2");
    EXPECT_EQ(Request(), "i2 -> i2");  // the marked ones are kept away
    dead_ = {"i1"};
    now_ += 29'999;
    EXPECT_EQ(Request(), "i2 -> i2");
    now_ += 1;
    EXPECT_EQ(Request(), "i0 -> i0");
    EXPECT_EQ(Instance(1).state.load(), kInstanceDown);
}

TEST_F(InstanceChoiceTest, RoundRobinRotatesOverTheInstancesThatAreUp) {
    Configure(BalancePolicy::roundrobin, 3);
    EXPECT_EQ(Request(), "i0 -> i0");
    EXPECT_EQ(Request(), "i1 -> i1");
    EXPECT_EQ(Request(), "i2 -> i2");
    dead_ = {"i1"};
    EXPECT_EQ(Request(), "i0 -> i0");
    EXPECT_EQ(Request(), "i1 i2 -> i2");
    EXPECT_EQ(Request(), "i2 -> i2");
    EXPECT_EQ(Request(), "i0 -> i0");
    EXPECT_EQ(Request(), "i2 -> i2");  // i1 is skipped without an attempt
}

TEST_F(InstanceChoiceTest, WhenAllAreDownTheOneBackFirstIsTriedOnce) {
    Configure(BalancePolicy::failover, 3);
    dead_ = {"i0", "i1", "i2"};
    EXPECT_EQ(Request(), "i0 i1 i2 ! i2");
    now_ += 10;
    EXPECT_EQ(Request(), "i0 ! i0");  // marked down first, so back first
    EXPECT_EQ(Request(), "i1 ! i1");
    dead_.clear();
    EXPECT_EQ(Request(), "i2 -> i2");
    EXPECT_EQ(Request(), "i2 -> i2");
}

TEST_F(InstanceChoiceTest, OneRequestFindsOutWhetherAnInstanceIsBack) {
    Configure(BalancePolicy::failover, 2);
    dead_ = {"i0"};
    EXPECT_EQ(Request(), "i0 i1 -> i1");
    now_ += 30'000;
    EXPECT_EQ(Request(), "i0 i1 -> i1");  // the retry moved its time on by another 30 s
    EXPECT_EQ(Request(), "i1 -> i1");
    EXPECT_EQ(Instance(0).connectFailures.load(), 2u);
}

TEST_F(InstanceChoiceTest, SaysWhenAnInstanceGoesDownAndComesBack) {
    testsupport::DebugOutputCapture output;
    Configure(BalancePolicy::failover, 2);
    dead_ = {"i0"};
    Request();
    Request();
    now_ += 30'000;
    Request();
    dead_.clear();
    now_ += 30'000;
    Request();
    Request();
    EXPECT_EQ(output.text(),
              "Group g: instance i0 down for 30 seconds\n"
              "Group g: instance i0 down for 30 seconds\n"
              "Group g: instance i0 up again\n");
}

TEST_F(InstanceChoiceTest, NoSocketStopsAtOnce) {
    Configure(BalancePolicy::failover, 2);
    InstanceChoice choice = connectByPolicy(
        group_, [this] { return now_; },
        [](const AdapterInstance&) {
            return ConnectAttempt{INVALID_SOCKET, WSAEMFILE, true};
        });
    EXPECT_TRUE(choice.noSocket);
    EXPECT_EQ(choice.instance, &Instance(0));
    EXPECT_EQ(Instance(0).state.load(), kInstanceUp);
}

TEST_F(InstanceChoiceTest, ANegativeRetryTimeKeepsNoInstanceAway) {
    Configure(BalancePolicy::failover, 2);
    group_.retryTime = -5;
    dead_ = {"i0"};
    EXPECT_EQ(Request(), "i0 i1 -> i1");
    dead_.clear();
    EXPECT_EQ(Request(), "i0 -> i0");
}

}  // namespace
}  // namespace brevant::adapter
