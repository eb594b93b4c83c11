// Failure injection: armed failures hit exactly the next calls of the named function.
#include <standin_test_hooks.h>
#include <windows.h>

#include <gtest/gtest.h>

TEST(TestHooks, FailTheNextCallsOfOneFunctionOnly) {
    char path[512];
    StandinFailNextCalls("GetModuleFileNameA", 2, ERROR_ACCESS_DENIED);
    for (int i = 0; i < 2; ++i) {
        SetLastError(0);
        EXPECT_EQ(GetModuleFileNameA(nullptr, path, sizeof path), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u) << "only two calls fail";

    StandinFailNextCalls("LoadLibraryA", 5, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr) << "other functions are not affected";
    StandinClearFailures();
    EXPECT_EQ(LoadLibraryA("NoSuchModule.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << "cleared";
}
