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

    // Gives the pool a connection idle since `since`, whose far end the test keeps.
    SOCKET Give(int64_t since) {
        int ends[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        farEnds_.push_back(ends[1]);
        pool_.give({static_cast<SOCKET>(ends[0]), nullptr, since});
        return static_cast<SOCKET>(ends[0]);
    }
    SOCKET Take(int64_t now, int64_t maxIdle = 1000) {
        std::optional<IdleConnection> idle = pool_.take(now, maxIdle);
        return idle ? idle->socket : INVALID_SOCKET;
    }
    // What the far end of the i-th connection reads now: 0 once the pool closed it.
    ssize_t FarEndReads(size_t i) {
        char byte;
        return ::recv(farEnds_[i], static_cast<void*>(&byte), size_t{1}, MSG_DONTWAIT);
    }

    ConnectionPool pool_{2};
    std::vector<int> farEnds_;
};

TEST_F(ConnectionPoolTest, GivesTheNewestFirstAndClosesTheOldestWhenFull) {
    Give(0);
    SOCKET second = Give(0), third = Give(0);
    EXPECT_EQ(Take(0), third);
    EXPECT_EQ(Take(0), second);
    EXPECT_EQ(Take(0), INVALID_SOCKET);
    EXPECT_EQ(FarEndReads(0), 0);
    EXPECT_EQ(FarEndReads(1), -1) << "still open";
}

TEST_F(ConnectionPoolTest, DropsWhatWasIdleTooLongOrHasSomethingToRead) {
    Give(0);
    Give(600);
    EXPECT_EQ(write(farEnds_[1], "x", 1), 1);
    EXPECT_EQ(Take(1000, 500), INVALID_SOCKET);
    SOCKET fit = Give(600);
    EXPECT_EQ(Take(1100, 500), fit);
}

TEST_F(ConnectionPoolTest, NeverHandsOneConnectionToTwoRequestsAtOnce) {
    for (int i = 0; i < 2; ++i) {
        Give(0);
    }
    std::atomic<int> holders[1024] = {};
    std::atomic<bool> shared{false};
    {
        std::vector<std::jthread> requests;
        for (int t = 0; t < 32; ++t) {
            requests.emplace_back([&] {
                for (int r = 0; r < 2000; ++r) {
                    if (std::optional<IdleConnection> idle = pool_.take(0, 1000)) {
                        shared = shared || holders[idle->socket % 1024].fetch_add(1) != 0;
                        holders[idle->socket % 1024].fetch_sub(1);
                        pool_.give(std::move(*idle));
                    }
                }
            });
        }
    }
    EXPECT_FALSE(shared);
}

}  // namespace
}  // namespace brevant::adapter
