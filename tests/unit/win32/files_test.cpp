// The stand-in's file functions where Linux matters: share modes between processes, one
// handle used by many threads, and failure injection.
#include <windows.h>

#include <standin_test_hooks.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "test_paths.h"

namespace {

using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::writeFile;

HANDLE openFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// A forked child that opens a file, reports whether that worked and holds the handle until
// released. Talks to the child over two pipes; whatever happens to the test, the destructor
// kills and reaps it.
class HoldingChild {
  public:
    HoldingChild(const std::string& path, DWORD access, DWORD share) {
        int report[2];
        int release[2];
        if (pipe(report) != 0) {
            return;
        }
        if (pipe(release) != 0) {
            close(report[0]);
            close(report[1]);
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(report[0]);
            close(release[1]);
            HANDLE file = openFile(path, access, share, OPEN_ALWAYS);
            const char status = file != INVALID_HANDLE_VALUE ? '1' : '0';
            bool ok = write(report[1], &status, 1) == 1;
            char ignored;
            ok = read(release[0], &ignored, 1) >= 0 && ok;  // a byte, or the parent has gone
            ok = file != INVALID_HANDLE_VALUE && CloseHandle(file) && ok;
            _exit(ok ? 0 : 1);
        }
        close(report[1]);
        close(release[0]);
        reportFd_ = report[0];
        releaseFd_ = release[1];
    }

    ~HoldingChild() {
        closeFd(&reportFd_);
        closeFd(&releaseFd_);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    HoldingChild(const HoldingChild&) = delete;
    HoldingChild& operator=(const HoldingChild&) = delete;

    // Waits for the child's report.
    bool opened() {
        char status = 0;
        return reportFd_ >= 0 && read(reportFd_, &status, 1) == 1 && status == '1';
    }

    // Lets the child close its handle; returns whether it exited cleanly.
    bool release() {
        const char go = 'x';
        if (releaseFd_ < 0 || write(releaseFd_, &go, 1) != 1) {
            return false;
        }
        return reap() == 0;
    }

    // Ends the child without giving it a chance to close anything.
    void killHard() {
        kill(pid_, SIGKILL);
        reap();
    }

  private:
    static void closeFd(int* fd) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }

    int reap() {
        int status = 0;
        if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid_ = -1;
    int reportFd_ = -1;
    int releaseFd_ = -1;
};

// ---- share modes between processes ---------------------------------------------------------

TEST(FileSharingAcrossProcesses, WriterInAnotherProcessAppliesItsShareMode) {
    ScratchDir dir("files");
    const std::string path = dir.file("log.txt");
    HoldingChild child(path, GENERIC_WRITE, FILE_SHARE_READ);
    ASSERT_TRUE(child.opened());

    HANDLE writer = openFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    HANDLE strictReader = openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_EQ(INVALID_HANDLE_VALUE, strictReader);
    HANDLE reader = openFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    EXPECT_TRUE(CloseHandle(reader));

    ASSERT_TRUE(child.release());
    writer = openFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_TRUE(CloseHandle(writer));
}

TEST(FileSharingAcrossProcesses, KilledHolderLeavesNoReservationBehind) {
    ScratchDir dir("files");
    const std::string path = dir.file("held.txt");
    HoldingChild child(path, GENERIC_READ | GENERIC_WRITE, 0);
    ASSERT_TRUE(child.opened());
    HANDLE refused =
        openFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    EXPECT_EQ(INVALID_HANDLE_VALUE, refused);

    child.killHard();
    HANDLE exclusive = openFile(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);
    EXPECT_TRUE(CloseHandle(exclusive));
}

// ---- one process, many threads -------------------------------------------------------------

TEST(FileThreads, WritesThroughOneHandleNeverOverlap) {
    ScratchDir dir("files");
    const std::string path = dir.file("log.txt");
    HANDLE log = openFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, log);

    constexpr int kThreads = 8;
    constexpr int kLines = 250;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([log, t] {
            for (int i = 0; i < kLines; ++i) {
                // lengths vary so that a lost position update shows as a torn line
                std::string line = "thread " + std::to_string(t) + " line " + std::to_string(i) +
                                   " " + std::string(static_cast<size_t>((t * 7 + i) % 31), '.') +
                                   "\n";
                DWORD written = 0;
                EXPECT_TRUE(WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written,
                                      nullptr));
                EXPECT_EQ(line.size(), written);
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    ASSERT_TRUE(CloseHandle(log));

    std::set<std::pair<int, int>> seen;
    std::istringstream lines(readFile(path));
    std::string line;
    while (std::getline(lines, line)) {
        int t = -1;
        int i = -1;
        int used = 0;
        ASSERT_EQ(2, std::sscanf(line.c_str(), "thread %d line %d %n", &t, &i, &used)) << line;
        EXPECT_EQ(std::string(static_cast<size_t>((t * 7 + i) % 31), '.'), line.substr(used))
            << line;
        EXPECT_TRUE(seen.emplace(t, i).second) << "twice: " << line;
    }
    EXPECT_EQ(static_cast<size_t>(kThreads * kLines), seen.size());
}

TEST(FileThreads, RacingExclusiveOpensAdmitOneAtATime) {
    ScratchDir dir("files");
    const std::string path = dir.file("contended.txt");
    std::atomic<int> holders{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> admitted{0};
    std::atomic<int> unexpectedErrors{0};
    std::vector<std::thread> openers;
    for (int t = 0; t < 8; ++t) {
        openers.emplace_back([&] {
            for (int attempt = 0; attempt < 2000; ++attempt) {
                HANDLE file = openFile(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
                if (file == INVALID_HANDLE_VALUE) {
                    unexpectedErrors += GetLastError() != ERROR_SHARING_VIOLATION;
                    continue;
                }
                overlaps += holders.fetch_add(1) != 0;
                ++admitted;
                std::this_thread::yield();
                holders.fetch_sub(1);
                CloseHandle(file);
            }
        });
    }
    for (std::thread& opener : openers) {
        opener.join();
    }
    EXPECT_EQ(0, overlaps.load());
    EXPECT_EQ(0, unexpectedErrors.load());
    EXPECT_GT(admitted.load(), 0);
}

// ---- failures ------------------------------------------------------------------------------

class FileFailures : public testing::Test {
  protected:
    void TearDown() override { StandinClearFailures(); }
};

TEST_F(FileFailures, InjectedWriteFailureHitsOnlyTheNextWrite) {
    ScratchDir dir("files");
    const std::string path = dir.file("out.txt");
    HANDLE file = openFile(path, GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);

    StandinFailNextCalls("WriteFile", 1, ERROR_DISK_FULL);
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(file, "lost", 4, &written, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), GetLastError());
    EXPECT_TRUE(WriteFile(file, "kept", 4, &written, nullptr));
    EXPECT_EQ(4u, written);
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_EQ("kept", readFile(path));
}

TEST_F(FileFailures, ClosedHandleIsRefusedEverywhere) {
    ScratchDir dir("files");
    HANDLE file = openFile(dir.file("gone.txt"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ASSERT_TRUE(CloseHandle(file));

    char byte = 0;
    DWORD done = 0;
    EXPECT_FALSE(ReadFile(file, &byte, 1, &done, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(file, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    // Windows may take this value for the current-process pseudo handle and succeed; the
    // stand-in has none, so closing what a failed CreateFileA returned is caught here
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
}

TEST_F(FileFailures, TruncateExistingWithoutWriteAccessKeepsTheContent) {
    ScratchDir dir("files");
    const std::string path = dir.file("data.txt");
    writeFile(path, "precious");
    HANDLE file = openFile(path, GENERIC_READ, FILE_SHARE_READ, TRUNCATE_EXISTING);
    EXPECT_EQ(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ("precious", readFile(path));
}

}  // namespace
