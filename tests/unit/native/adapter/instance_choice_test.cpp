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
        std::snprintf(group_.name, sizeof group_.name, "g");
        group_.balance = policy;
        group_.retryTime = 30;
        group_.lastInstance = count - 1;
        for (int i = 0; i < count; ++i) {
            (i == 0 ? group_.instance : group_.extraInstances.emplace_back()).entry =
                "i" + std::to_string(i);
        }
    }

    // One request: the instances it tried, then "->" and the one it connected to, or "!" and
    // the one its failure page names.
    std::string Request() {
        std::string tried;
        InstanceChoice choice = connectByPolicy(
            group_, [this] { return now_; },
            [&](const AdapterInstance& instance) {
                tried += instance.entry + " ";
                bool dead = dead_.count(instance.entry) != 0;
                return ConnectAttempt{dead ? INVALID_SOCKET : 100, dead ? int{WSAECONNREFUSED} : 0,
                                      false};
            });
        return tried + (choice.socket != INVALID_SOCKET ? "-> " : "! ") +
               (choice.instance != nullptr ? choice.instance->entry : "none");
    }

    AdapterGroup group_;
    std::set<std::string> dead_;
    int64_t now_ = 1'000'000;
};

TEST_F(InstanceChoiceTest, FirstTakesInstanceZeroWhateverHappensToIt) {
    Configure(BalancePolicy::first, 2);
    dead_ = {"i0"};
    EXPECT_EQ(Request(), "i0 ! i0");
    EXPECT_EQ(Request(), "i0 ! i0");
    EXPECT_EQ(group_.instance.state.load(), kInstanceUp);
    EXPECT_EQ(group_.instance.connectFailures.load(), 2u);
}

TEST_F(InstanceChoiceTest, FailoverGoesOnInListOrderAndBackWhenTheRetryTimeHasPassed) {
    testsupport::DebugOutputCapture output;
    Configure(BalancePolicy::failover, 3);
    dead_ = {"i0", "i1"};
    EXPECT_EQ(Request(), "i0 i1 i2 -> i2");
    now_ += 29'999;
    EXPECT_EQ(Request(), "i2 -> i2");  // the marked ones are kept away
    now_ += 1;
    EXPECT_EQ(Request(), "i0 i1 i2 -> i2");  // one request tries them again...
    EXPECT_EQ(Request(), "i2 -> i2");        // ...and the others keep away meanwhile
    dead_ = {"i1"};
    now_ += 30'000;
    EXPECT_EQ(Request(), "i0 -> i0");
    EXPECT_EQ(output.text(),
              "Group g: instance i0 down for 30 seconds\nGroup g: instance i1 down for 30 seconds\n"
              "Group g: instance i0 down for 30 seconds\nGroup g: instance i1 down for 30 seconds\n"
              "Group g: instance i0 up again\n");
}

TEST_F(InstanceChoiceTest, RoundRobinRotatesOverTheInstancesThatAreUp) {
    Configure(BalancePolicy::roundrobin, 3);
    std::string requests;
    for (int i = 0; i < 3; ++i) {
        requests += Request() + ", ";
    }
    dead_ = {"i1"};
    for (int i = 0; i < 5; ++i) {
        requests += Request() + ", ";
    }
    EXPECT_EQ(
        requests,
        "i0 -> i0, i1 -> i1, i2 -> i2, i0 -> i0, i1 i2 -> i2, i2 -> i2, i0 -> i0, i2 -> i2, ");
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

TEST_F(InstanceChoiceTest, NoSocketStopsAtOnceAndMarksNothing) {
    Configure(BalancePolicy::failover, 2);
    InstanceChoice choice = connectByPolicy(
        group_, [this] { return now_; },
        [](const AdapterInstance&) {
            return ConnectAttempt{INVALID_SOCKET, WSAEMFILE, true};
        });
    EXPECT_TRUE(choice.noSocket && choice.instance == &group_.instance);
    EXPECT_EQ(group_.instance.state.load(), kInstanceUp);
}

}  // namespace
}  // namespace brevant::adapter
