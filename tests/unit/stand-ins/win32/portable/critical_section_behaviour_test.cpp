// Critical sections: mutual exclusion between threads, re-entry by the owning thread.
#include <windows.h>

#include <gtest/gtest.h>

#include "win32_helpers.h"

TEST(CriticalSectionBehaviour, ExcludesOtherThreadsAndLetsTheOwnerEnterAgain) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    long counter = 0;
    win32test::onThreads(8, [&](int) {
        for (int i = 0; i < 20000; ++i) {
            EnterCriticalSection(&section);
            EnterCriticalSection(&section);  // the owner may enter again
            long seen = counter;
            counter = seen + 1;
            LeaveCriticalSection(&section);
            LeaveCriticalSection(&section);
        }
    });
    DeleteCriticalSection(&section);
    EXPECT_EQ(counter, 8 * 20000);
}
