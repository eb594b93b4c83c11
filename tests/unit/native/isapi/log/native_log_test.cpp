// The native log: the bytes of an entry in the file and on the debugger output, the
// local-time stamp, appending to earlier runs, life without a file, failed writes, and whole
// entries from many threads at once.
#include <windows.h>

#include <standin_test_hooks.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include "debug_output_capture.h"
#include "native/isapi/log/native_log.h"
#include "native/isapi/log/native_log_internal.h"
#include "test_paths.h"

using namespace brevant::isapi;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

constexpr char kStarted[] = "[stamp] Brevant: Logging started\r\n";
constexpr char kStopped[] = "[stamp] Brevant: Logging stopped\r\n";
constexpr char kNoFile[] = "Brevant:  failed to create log file.\nBrevant: still told\n";

// The text with every stamp replaced by "[stamp] " (their fields are checked apart).
std::string withoutStamps(const std::string& text) {
    static const std::regex stamp(R"(\[\w{3} \w{3} \d\d \d\d:\d\d:\d\d \d{4}\] )");
    return std::regex_replace(text, stamp, "[stamp] ");
}

// The stamp the log should write at `seconds`, built by the C library.
std::string stampAt(time_t seconds, bool local) {
    struct tm fields {};
    local ? localtime_r(&seconds, &fields) : gmtime_r(&seconds, &fields);
    char text[64];
    strftime(text, sizeof text, "[%a %b %d %H:%M:%S %Y] ", &fields);
    return text;
}

// The clock GetSystemTime reads (time() may lag behind it by a tick).
time_t now() {
    struct timespec clock {};
    clock_gettime(CLOCK_REALTIME, &clock);
    return clock.tv_sec;
}

std::string formatted(const SYSTEMTIME& time) {
    char stamp[kTimestampSize];
    std::memset(stamp, 'x', sizeof stamp);
    formatTimestamp(time, stamp);
    return std::string(stamp, sizeof stamp);
}

HANDLE openForWriting(const std::string& path, DWORD share) {
    return CreateFileA(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool canOpenForWriting(const std::string& path) {
    HANDLE file = openForWriting(path, FILE_SHARE_READ);
    CloseHandle(file);
    return file != INVALID_HANDLE_VALUE;
}

class NativeLogTest : public testing::Test {
  protected:
    void SetUp() override {
        // Five and a half hours east of UTC, without daylight saving: a stamp that skipped
        // the conversion to local time, or applied it twice, is off in its hour and minute.
        setenv("TZ", "BRV-5:30", 1);
        tzset();
    }
    void TearDown() override {
        StandinClearFailures();
        closeNativeLog();  // after a test that failed with the log open
    }

    std::string logPath() const { return dir_.file("BrevantNative.log"); }
    std::string logText() const { return withoutStamps(readFile(logPath())); }
    std::string debugText() const { return debugOutput_.text(); }

    // Opens a log at `path` that cannot be had, writes one entry with and one without echo;
    // what reached the debugger output meanwhile.
    std::string echoesOfAFailedLogAt(const std::string& path) {
        const size_t start = debugText().size();
        NativeLog log(path);
        EXPECT_FALSE(log.isOpen());
        log.write("still told", true);
        log.write("not told", false);
        return debugText().substr(start);
    }

    // Expects the stamp at byte `at` of the log to be a second of [before, now()].
    void expectStampSince(size_t at, time_t before, bool local) {
        const std::string stamp = readFile(logPath()).substr(at, 27);
        for (time_t t = before, after = now(); t <= after; ++t) {
            if (stamp == stampAt(t, local)) {
                return;
            }
        }
        ADD_FAILURE() << "stamp " << stamp << ", expected " << stampAt(before, local);
    }

    // Runs `threads` writers at once, writer k logging "thread <k> entry <i>" for i = 0, 1,
    // ... while more(k, i), and `meanwhile` on this thread; how many each writer logged.
    static std::vector<int> logFromThreads(
        int threads, const std::function<bool(int, int)>& more,
        const std::function<void()>& meanwhile = [] {}) {
        std::vector<int> entries(threads);
        std::vector<std::thread> writers;
        for (int k = 0; k < threads; ++k) {
            writers.emplace_back([&, k] {
                for (; more(k, entries[k]); ++entries[k]) {
                    logMessage("thread " + std::to_string(k) + " entry " +
                               std::to_string(entries[k]));
                }
            });
        }
        meanwhile();
        for (std::thread& writer : writers) {
            writer.join();
        }
        return entries;
    }

    // Per writer, its whole entries "thread <k> entry <i>" in order, in the log file (stamped,
    // between the log's first and last entry) or, when !file, on the debugger output.
    std::vector<int> entriesPerThread(int threads, bool file) const {
        std::string text = file ? logText() : debugText();
        if (file && text.starts_with(kStarted) && text.ends_with(kStopped)) {
            text = text.substr(sizeof kStarted - 1, text.size() - 2 * (sizeof kStarted - 1));
        }
        const char* format =
            file ? "[stamp] Brevant: thread %d entry %d%c%c" : "Brevant: thread %d entry %d%c";
        std::vector<int> next(threads);
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            int k = -1, i = -1;
            char end[2] = {};
            if (std::sscanf(line.c_str(), format, &k, &i, &end[0], &end[1]) != (file ? 3 : 2) ||
                end[0] != (file ? '\r' : '\0') || k < 0 || k >= threads || i != next[k]++) {
                ADD_FAILURE() << "not a whole entry in order: " << line;
                return {};
            }
        }
        return next;
    }

    testsupport::DebugOutputCapture debugOutput_;
    testsupport::ScratchDir dir_{"native-log"};
};

// Steps of a day, an hour, a minute and a second over five years meet every name and number;
// each stamp ends in a blank and its NUL.
TEST(NativeLogStamp, EveryFieldMatchesTheCLibrary) {
    for (time_t t = 946684800; t < 946684800 + 5 * 366 * 86400; t += 86400 + 3600 + 61) {
        struct tm f {};
        gmtime_r(&t, &f);
        const auto field = [](int value) { return static_cast<WORD>(value); };
        ASSERT_EQ(
            formatted({field(f.tm_year + 1900), field(f.tm_mon + 1), field(f.tm_wday),
                       field(f.tm_mday), field(f.tm_hour), field(f.tm_min), field(f.tm_sec), 0}),
            stampAt(t, false) + '\0')
            << "at " << t;
    }
}

// Fields no conversion produces are read from inside the name tables.
TEST(NativeLogStamp, OutOfRangeFieldsKeepTheShape) {
    const std::regex shape(R"(\[[A-Z][a-z][a-z] [A-Z][a-z][a-z] \d\d \d\d:\d\d:\d\d \d{4}\] .)");
    EXPECT_TRUE(std::regex_match(formatted({65535, 0, 7, 99, 100, 60, 61, 0}), shape));
    EXPECT_TRUE(std::regex_match(formatted({2026, 13, 65535, 0, 24, 0, 0, 0}), shape));
    EXPECT_TRUE(std::regex_match(formatted({0, 65535, 9, 65535, 65535, 65535, 65535, 0}), shape));
}

// Should the conversion to local time fail, the stamp shows the UTC time.
TEST_F(NativeLogTest, StampIsTheLocalTimeOfTheEntryElseUtc) {
    time_t before = now();
    NativeLog log(logPath());
    expectStampSince(0, before, true);
    const size_t started = readFile(logPath()).size();
    StandinFailNextCalls("FileTimeToLocalFileTime", 1, ERROR_INVALID_PARAMETER);
    before = now();
    log.write("in UTC", false);
    expectStampSince(started, before, false);
}

// CR LF in the file; "Logging started" and "Logging stopped" are never echoed; the echo ends
// in a bare LF; text is never a format; a message ends at its NUL in both.
TEST_F(NativeLogTest, EntriesAreWrittenByteForByte) {
    {
        NativeLog log(logPath());
        ASSERT_TRUE(log.isOpen());
        log.write("hello world", true);
        log.write("", true);
        log.write("file only", false);
        log.write("caf\xe9 100% %s %n\tend", true);
        log.write(std::string("before\0after", 12), true);
    }
    EXPECT_EQ(logText(), std::string(kStarted) +
                             "[stamp] Brevant: hello world\r\n"
                             "[stamp] Brevant: \r\n"
                             "[stamp] Brevant: file only\r\n"
                             "[stamp] Brevant: caf\xe9 100% %s %n\tend\r\n"
                             "[stamp] Brevant: before\r\n" +
                             kStopped);
    EXPECT_EQ(debugText(),
              "Brevant: hello world\n"
              "Brevant: \n"
              "Brevant: caf\xe9 100% %s %n\tend\n"
              "Brevant: before\n");
}

TEST_F(NativeLogTest, AppendsBeyondFourGigabytes) {
    const off_t size = (off_t{5} << 30) + 3;  // sparse: no disk is used for the hole
    writeFile(logPath(), "");
    ASSERT_EQ(truncate(logPath().c_str(), size), 0);
    NativeLog(logPath()).write("far out", false);
    std::ifstream file(logPath(), std::ios::binary);
    std::string head(8, 'x');
    file.read(head.data(), 8);
    EXPECT_EQ(head, std::string(8, '\0')) << "the start was written";
    file.seekg(size);
    EXPECT_EQ(withoutStamps(std::string(std::istreambuf_iterator<char>(file), {})),
              kStarted + std::string("[stamp] Brevant: far out\r\n") + kStopped);
}

TEST_F(NativeLogTest, OthersMayReadTheOpenLogButNotWriteIt) {
    {
        NativeLog log(logPath());
        ASSERT_TRUE(log.isOpen());
        HANDLE writer = openForWriting(logPath(), FILE_SHARE_READ | FILE_SHARE_WRITE);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        HANDLE reader =
            CreateFileA(logPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(reader, INVALID_HANDLE_VALUE);
        CloseHandle(reader);
    }
    EXPECT_TRUE(canOpenForWriting(logPath())) << "closed with the log";
}

TEST_F(NativeLogTest, AFileAnotherWriterHoldsIsLeftToIt) {
    HANDLE other = openForWriting(logPath(), FILE_SHARE_READ);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(echoesOfAFailedLogAt(logPath()), kNoFile);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(other, "mine\r\n", 6, &written, nullptr))
        << "closing the failed log touched our handle";
    CloseHandle(other);
    EXPECT_EQ(readFile(logPath()), "mine\r\n");
}

// Writing at its start would destroy what earlier runs wrote: the log lets the file go.
TEST_F(NativeLogTest, AFileThatCannotBeAppendedToIsLetGo) {
    writeFile(logPath(), "kept\r\n");
    StandinFailNextCalls("SetFilePointer", 1, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(echoesOfAFailedLogAt(logPath()), kNoFile);
    EXPECT_EQ(readFile(logPath()), "kept\r\n");
    EXPECT_TRUE(canOpenForWriting(logPath())) << "the handle was not released";
}

// A failed stamp drops the entry; a failed message leaves its stamp. Both are reported, the
// failure does not reach the caller, and the next entry tries again.
TEST_F(NativeLogTest, FailedWritesAreReportedAndTheNextEntryTriesAgain) {
    const std::string earlier = std::string(1000, '.') + "\r\n";  // below the debugger's limit
    writeFile(logPath(), earlier);
    NativeLog log(logPath());
    StandinFailNextCalls("WriteFile", 1, ERROR_DISK_FULL);
    SetLastError(4321);
    log.write("lost", true);
    EXPECT_EQ(GetLastError(), 4321u);
    log.write("after the stamp failed", false);
    struct stat info {};
    ASSERT_EQ(stat(logPath().c_str(), &info), 0);
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    const struct rlimit stampOnly = {static_cast<rlim_t>(info.st_size) + 27, saved.rlim_max};
    sighandler_t handler = signal(SIGXFSZ, SIG_IGN);  // a write past the limit raises it
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &stampOnly), 0);
    log.write("beyond the limit", false);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, handler);
    log.write("after the message failed", true);
    EXPECT_EQ(logText(), earlier + kStarted +
                             "[stamp] Brevant: after the stamp failed\r\n"
                             "[stamp] [stamp] Brevant: after the message failed\r\n");
    EXPECT_EQ(debugText(),
              "Brevant:  failed to write timestamp to log file.\n"
              "Brevant: lost\n"
              "Brevant:  failed to write msg to log file.\n"
              "Brevant: after the message failed\n");
}

TEST_F(NativeLogTest, LogMessageWritesThroughTheProcessLogWhenThereIsOne) {
    SetLastError(4321);
    logMessage("before the log");
    logMessage("never seen", false);
    EXPECT_EQ(GetLastError(), 4321u);
    openNativeLog(logPath());
    openNativeLog(dir_.file("second.log"));  // replaces nothing
    logMessage("through the log");
    logMessage("file only", false);
    closeNativeLog();
    EXPECT_FALSE(hasNativeLog());
    logMessage("after the log", true);
    EXPECT_NE(access(dir_.file("second.log").c_str(), F_OK), 0);
    EXPECT_EQ(logText(), kStarted +
                             std::string("[stamp] Brevant: through the log\r\n"
                                         "[stamp] Brevant: file only\r\n") +
                             kStopped);
    EXPECT_EQ(debugText(),
              "Brevant: before the log\nBrevant: through the log\nBrevant: after the log\n");
}

TEST_F(NativeLogTest, ConcurrentWritersNeverInterleave) {
    openNativeLog(logPath());
    logFromThreads(8, [](int, int i) { return i < 1250; });
    closeNativeLog();
    EXPECT_EQ(entriesPerThread(8, true), std::vector<int>(8, 1250));
    EXPECT_EQ(entriesPerThread(8, false), std::vector<int>(8, 1250));  // four strings an entry
}

// Each writer goes on until it has begun 250 entries after the close returned: late writers
// only echo, and their echoes are kept whole just the same.
TEST_F(NativeLogTest, WritersWhileTheLogClosesFinishTheirEntryOrOnlyEcho) {
    std::atomic<int> written{0};
    std::atomic<bool> closed{false};
    std::vector<int> afterClose(6);
    openNativeLog(logPath());
    const std::vector<int> entries = logFromThreads(
        6, [&](int k, int) { return ++written, (afterClose[k] += closed ? 1 : 0) <= 250; },
        [&] {
            while (written < 600) {
                std::this_thread::yield();
            }
            closeNativeLog();
            closed = true;
        });
    const std::vector<int> inFile = entriesPerThread(6, true);
    ASSERT_EQ(inFile.size(), 6u);
    for (int k = 0; k < 6; ++k) {
        EXPECT_LE(inFile[k], entries[k] - 250) << "thread " << k;
    }
    EXPECT_EQ(entriesPerThread(6, false), entries);
}

}  // namespace
