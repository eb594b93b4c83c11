// The debugger output: one append per call, to the file STANDIN_DEBUG_OUTPUT names.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "debug_output_capture.h"

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
    std::vector<std::thread> writers;
    for (int t = 0; t < 8; ++t) {
        writers.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                OutputDebugStringA(line.c_str());
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    std::string expected;
    for (int i = 0; i < 8 * 500; ++i) {
        expected += line;
    }
    EXPECT_TRUE(output.text() == expected);
}
