// Critical sections: mutual exclusion between threads, re-entry by the owning thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

TEST(CriticalSectionBehaviour, ExcludesOtherThreadsAndLetsTheOwnerEnterAgain) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                EnterCriticalSection(&section);
                EnterCriticalSection(&section);  // the owner may enter again
                long seen = counter;
                counter = seen + 1;
                LeaveCriticalSection(&section);
                LeaveCriticalSection(&section);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    DeleteCriticalSection(&section);
    EXPECT_EQ(counter, 8 * 20000);
}
