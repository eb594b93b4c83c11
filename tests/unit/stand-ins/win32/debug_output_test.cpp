// The debugger output: one append per call, to the file STANDIN_DEBUG_OUTPUT names.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cerrno>
#include <string>

#include "debug_output_capture.h"
#include "portable/win32_helpers.h"

TEST(DebugOutput, AppendsEachCallInOrderAndLeavesErrnoAlone) {
    testsupport::DebugOutputCapture output;
    OutputDebugStringA("Brevant");
    errno = ECONNREFUSED;
    OutputDebugStringA(": message\n");
    EXPECT_EQ(errno, ECONNREFUSED) << "WSAGetLastError reads errno after a diagnostic";
    OutputDebugStringA(nullptr);
    OutputDebugStringA("");
    EXPECT_EQ(output.text(), "Brevant: message\n");
}

TEST(DebugOutput, GoesToStandardErrorWithoutAUsableFileAndLeavesErrnoAlone) {
    testsupport::DebugOutputCapture output;
    testing::internal::CaptureStderr();
    unsetenv("STANDIN_DEBUG_OUTPUT");
    OutputDebugStringA("unset\n");
    setenv("STANDIN_DEBUG_OUTPUT", "/nonexistent-folder/debug.txt", 1);
    errno = ECONNREFUSED;
    OutputDebugStringA("unopenable\n");
    EXPECT_EQ(errno, ECONNREFUSED);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "unset\nunopenable\n");
}

TEST(DebugOutput, CallsOfConcurrentThreadsNeverMix) {
    testsupport::DebugOutputCapture output;
    const std::string line = std::string(200, '.') + "\n";
    win32test::onThreads(8, [&](int) {
        for (int i = 0; i < 500; ++i) {
            OutputDebugStringA(line.c_str());
        }
    });
    std::string expected;
    for (int i = 0; i < 8 * 500; ++i) {
        expected += line;
    }
    EXPECT_TRUE(output.text() == expected);
}
