// The debugger output: one append per call, to the file STANDIN_DEBUG_OUTPUT names.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cerrno>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_paths.h"

namespace {

class DebugOutputFile {
  public:
    DebugOutputFile() : dir_("debug-output") {
        const char* old = getenv("STANDIN_DEBUG_OUTPUT");
        old_ = old != nullptr ? old : "";
        setenv("STANDIN_DEBUG_OUTPUT", path().c_str(), 1);
    }
    ~DebugOutputFile() { setenv("STANDIN_DEBUG_OUTPUT", old_.c_str(), 1); }
    std::string path() const { return dir_.file("debug.txt"); }
    std::string content() const { return testsupport::readFile(path()); }

  private:
    testsupport::ScratchDir dir_;
    std::string old_;
};

}  // namespace

TEST(DebugOutput, AppendsEachCallInOrderAndLeavesErrnoAlone) {
    DebugOutputFile output;
    testsupport::writeFile(output.path(), "earlier\n");
    OutputDebugStringA("Brevant");
    OutputDebugStringA(": ");
    errno = ECONNREFUSED;
    OutputDebugStringA("message\n");
    EXPECT_EQ(errno, ECONNREFUSED) << "WSAGetLastError reads errno after a diagnostic";
    OutputDebugStringA(nullptr);
    OutputDebugStringA("");
    EXPECT_EQ(output.content(), "earlier\nBrevant: message\n");
}

TEST(DebugOutput, GoesToStandardErrorWithoutAFile) {
    const char* old = getenv("STANDIN_DEBUG_OUTPUT");
    std::string saved = old != nullptr ? old : "";
    unsetenv("STANDIN_DEBUG_OUTPUT");
    testing::internal::CaptureStderr();
    OutputDebugStringA("to stderr\n");
    std::string captured = testing::internal::GetCapturedStderr();
    setenv("STANDIN_DEBUG_OUTPUT", saved.c_str(), 1);
    EXPECT_EQ(captured, "to stderr\n");
}

TEST(DebugOutput, CallsOfConcurrentThreadsNeverMix) {
    DebugOutputFile output;
    const int threads = 8, calls = 2000;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < calls; ++i) {
                std::string line = "thread " + std::to_string(t) + " call " + std::to_string(i) +
                                   " " + std::string(static_cast<size_t>(i % 97), '.') + "\n";
                OutputDebugStringA(line.c_str());
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    std::istringstream lines(output.content());
    std::set<std::string> seen;
    std::string line;
    while (std::getline(lines, line)) {
        int t = -1, i = -1;
        ASSERT_EQ(sscanf(line.c_str(), "thread %d call %d", &t, &i), 2) << line;
        ASSERT_EQ(line, "thread " + std::to_string(t) + " call " + std::to_string(i) + " " +
                            std::string(static_cast<size_t>(i % 97), '.'));
        seen.insert(line);
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(threads * calls));
}
