// The pool of idle instance connections: newest first, bounded, unfit ones dropped, and never
// one connection for two requests at once.
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "native/adapter/connection_pool.h"

namespace brevant::adapter {
namespace {

class ConnectionPoolTest : public testing::Test {
  protected:
    ~ConnectionPoolTest() override {
        pool_.closeAll();
        for (int farEnd : farEnds_) {
            close(farEnd);
        }
    }

    // A connection whose far end the test holds: a byte sent there makes it readable.
    SOCKET Open() {
        int ends[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        farEnds_.push_back(ends[1]);
        return static_cast<SOCKET>(ends[0]);
    }
    void Give(SOCKET socket, int64_t since) { pool_.give({socket, nullptr, since}); }
    SOCKET Take(int64_t now, int64_t maxIdle = 1000) {
        std::optional<IdleConnection> idle = pool_.take(now, maxIdle);
        return idle ? idle->socket : INVALID_SOCKET;
    }

    ConnectionPool pool_{2};
    std::vector<int> farEnds_;
};

TEST_F(ConnectionPoolTest, GivesTheNewestFirstAndPushesTheOldestOut) {
    SOCKET a = Open(), b = Open(), c = Open();
    Give(a, 0), Give(b, 0), Give(c, 0);
    EXPECT_EQ(Take(0), c);
    EXPECT_EQ(Take(0), b);
    EXPECT_EQ(Take(0), INVALID_SOCKET);
    char byte;
    EXPECT_EQ(::recv(farEnds_[0], static_cast<void*>(&byte), size_t{1}, MSG_DONTWAIT), 0)
        << "the oldest was closed";
    EXPECT_EQ(::recv(farEnds_[1], static_cast<void*>(&byte), size_t{1}, MSG_DONTWAIT), -1)
        << "the others are open";
}

TEST_F(ConnectionPoolTest, DropsWhatWasIdleTooLongOrIsNoLongerQuiet) {
    SOCKET stale = Open(), spoken = Open(), fit = Open();
    Give(stale, 0), Give(spoken, 600);
    EXPECT_EQ(write(farEnds_[1], "x", 1), 1);
    EXPECT_EQ(Take(1000, 500), INVALID_SOCKET);
    Give(fit, 600);
    EXPECT_EQ(Take(1100, 500), fit);
}

TEST(ConnectionPoolThreads, NeverHandsOneConnectionToTwoRequests) {
    ConnectionPool pool(8);
    std::vector<int> ends(16);
    for (size_t i = 0; i < ends.size(); i += 2) {
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, &ends[i]), 0);
        pool.give({static_cast<SOCKET>(ends[i]), nullptr, 0});
    }
    std::atomic<int> holders[1024] = {};
    std::atomic<bool> shared{false};
    {
        std::vector<std::jthread> requests;
        for (int t = 0; t < 32; ++t) {
            requests.emplace_back([&] {
                for (int r = 0; r < 2000; ++r) {
                    std::optional<IdleConnection> idle = pool.take(0, 1000);
                    if (idle) {
                        shared = shared || holders[idle->socket % 1024].fetch_add(1) != 0;
                        holders[idle->socket % 1024].fetch_sub(1);
                        pool.give(std::move(*idle));
                    }
                }
            });
        }
    }
    EXPECT_FALSE(shared);
    pool.closeAll();
    for (size_t i = 1; i < ends.size(); i += 2) {
        close(ends[i]);
    }
}

}  // namespace
}  // namespace brevant::adapter
