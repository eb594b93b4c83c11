// The stand-in's file functions where Linux matters: share modes between processes, one
// handle used by many threads. tests/unit/native/isapi/log injects WriteFile's failures.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "forked_child.h"
#include "portable/win32_helpers.h"
#include "test_paths.h"

namespace {

using testsupport::readFile;
using win32test::onThreads;
using win32test::openFile;

const DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

class StandinFiles : public testing::Test {
  protected:
    // Whether a handle could be opened; it is closed again.
    bool admitted(DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING) {
        HANDLE file = openFile(path_, access, share, disposition);
        return file != INVALID_HANDLE_VALUE && CloseHandle(file);
    }

    testsupport::ScratchDir dir_{"files"};
    const std::string path_ = dir_.file("data.txt");
};

TEST_F(StandinFiles, AHolderInAnotherProcessAppliesItsShareModeUntilItIsKilled) {
    win32test::ForkedChild child([&] {
        return long(openFile(path_, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS) !=
                    INVALID_HANDLE_VALUE);
    });
    EXPECT_EQ(1, child.result());
    EXPECT_FALSE(admitted(GENERIC_WRITE, FILE_SHARE_READ));
    EXPECT_FALSE(admitted(GENERIC_READ, FILE_SHARE_READ));
    EXPECT_TRUE(admitted(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE));
    child.end();  // no chance to close: no reservation may stay behind
    EXPECT_TRUE(admitted(kReadWrite, 0));
}

TEST_F(StandinFiles, WritesThroughOneHandleNeverOverlap) {
    HANDLE log = openFile(path_, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS);
    // lengths vary so that a lost position update shows as a torn or missing line
    auto line = [](int t, int i) {
        return std::to_string(t * 1000 + i) + std::string(i % 31, '.') + "\n";
    };
    onThreads(8, [&](int t) {
        for (int i = 0; i < 250; ++i) {
            std::string text = line(t, i);
            DWORD written = 0;
            EXPECT_TRUE(WriteFile(log, text.data(), DWORD(text.size()), &written, nullptr));
        }
    });
    ASSERT_TRUE(CloseHandle(log));
    std::multiset<std::string> expected, written;
    for (int t = 0; t < 8; ++t) {
        for (int i = 0; i < 250; ++i) {
            expected.insert(line(t, i));
        }
    }
    std::istringstream lines(readFile(path_));
    for (std::string text; std::getline(lines, text);) {
        written.insert(text + "\n");
    }
    EXPECT_TRUE(written == expected);
}

TEST_F(StandinFiles, RacingExclusiveOpensAdmitOneAtATime) {
    std::atomic<int> holders{0}, overlaps{0}, admittedCount{0}, unexpectedErrors{0};
    onThreads(8, [&](int) {
        for (int attempt = 0; attempt < 2000; ++attempt) {
            HANDLE file = openFile(path_, kReadWrite, 0, OPEN_ALWAYS);
            if (file == INVALID_HANDLE_VALUE) {
                unexpectedErrors += GetLastError() != ERROR_SHARING_VIOLATION;
                continue;
            }
            overlaps += holders.fetch_add(1) != 0;
            ++admittedCount;
            std::this_thread::yield();
            holders.fetch_sub(1);
            CloseHandle(file);
        }
    });
    EXPECT_EQ(0, overlaps.load());
    EXPECT_EQ(0, unexpectedErrors.load());
    EXPECT_GT(admittedCount.load(), 0);
}

TEST_F(StandinFiles, ClosedHandleIsRefusedEverywhere) {
    HANDLE file = openFile(path_, kReadWrite, 0, CREATE_NEW);
    ASSERT_TRUE(CloseHandle(file));
    char byte = 0;
    DWORD done = 0;
    EXPECT_FALSE(ReadFile(file, &byte, 1, &done, nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(file, nullptr));
    EXPECT_FALSE(CloseHandle(file));
    // Windows may take this value for the current-process pseudo handle and succeed; the
    // stand-in has none, so closing what a failed CreateFileA returned is caught here
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
}

TEST_F(StandinFiles, TruncateExistingWithoutWriteAccessKeepsTheContent) {
    testsupport::writeFile(path_, "precious");
    EXPECT_FALSE(admitted(GENERIC_READ, FILE_SHARE_READ, TRUNCATE_EXISTING));
    EXPECT_EQ("precious", readFile(path_));
}

}  // namespace
