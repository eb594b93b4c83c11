// The promises of the native log: the bytes of an entry in the file and on the debugger
// output, the local-time stamp, appending to earlier runs, life without a file, failed
// writes, and whole entries from many threads at once.
#include <windows.h>

#include <standin_test_hooks.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "native_log.h"
#include "test_paths.h"

using namespace brevant::isapi;
using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::writeFile;

namespace {

// Five and a half hours east of UTC, without daylight saving: a stamp that skipped the
// conversion to local time, or applied it twice, is off in its hour and minute.
constexpr char kTimeZone[] = "BRV-5:30";

// A stamp as the log writes it: names from the tables, every number in its range.
constexpr char kStampPattern[] =
    R"(\[(?:Sun|Mon|Tue|Wed|Thu|Fri|Sat) (?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) )"
    R"((?:0[1-9]|[12]\d|3[01]) (?:[01]\d|2[0-3]):[0-5]\d:[0-5]\d \d{4}\] )";

// The text with every well-formed stamp replaced by "[stamp] ", so that whole files can be
// compared byte for byte; a malformed stamp stays and fails the comparison.
std::string withoutStamps(const std::string& text) {
    static const std::regex stamp(kStampPattern);
    return std::regex_replace(text, stamp, "[stamp] ");
}

// The stamp the log should write at `seconds`, built by the C library.
std::string stampAt(time_t seconds, bool local) {
    struct tm fields {};
    if (local) {
        localtime_r(&seconds, &fields);
    } else {
        gmtime_r(&seconds, &fields);
    }
    char text[64];
    strftime(text, sizeof text, "[%a %b %d %H:%M:%S %Y] ", &fields);
    return text;
}

// The clock GetSystemTime reads.
time_t now() {
    struct timespec time {};
    clock_gettime(CLOCK_REALTIME, &time);
    return time.tv_sec;
}

// The pieces of `text` between the separators; a text that ends with one ends with "".
std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t end; (end = text.find(separator, start)) != std::string::npos;) {
        pieces.push_back(text.substr(start, end - start));
        start = end + separator.size();
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

// Lowers the largest file size this process may write and ignores the signal a write past
// it raises, until the object goes: a real "the file can grow no further" at a chosen byte.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &savedAction_);
        struct rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        sigaction(SIGXFSZ, &savedAction_, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool active() const { return active_; }

  private:
    struct rlimit saved_ {};
    struct sigaction savedAction_ {};
    bool active_ = false;
};

const std::regex kFileEntry(R"(\[stamp\] Brevant: thread (\d) entry (\d+)\r)");
const std::regex kEchoEntry(R"(Brevant: thread (\d) entry (\d+))");

// How many entries "thread <k> entry <i>" each of `threads` writers has in `text`: lines
// ended by LF, each matching `format` (whose two groups are k and i), each writer's from 0 in
// order. Empty, and a failure, at the first line that breaks this.
std::vector<int> entriesPerThread(const std::string& text, const std::regex& format, int threads) {
    std::vector<std::string> lines = split(text, "\n");
    EXPECT_EQ(lines.back(), "") << "the last line is ended";
    lines.pop_back();
    std::vector<int> next(threads, 0);
    for (const std::string& line : lines) {
        std::smatch match;
        if (!std::regex_match(line, match, format) || std::stoi(match[1].str()) >= threads ||
            std::stoi(match[2].str()) != next[std::stoi(match[1].str())]++) {
            ADD_FAILURE() << "not a whole entry in order: " << line;
            return {};
        }
    }
    return next;
}

class NativeLogTest : public testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", kTimeZone, 1);
        tzset();
        const char* debugOutput = getenv("STANDIN_DEBUG_OUTPUT");
        savedDebugOutput_ = debugOutput != nullptr ? debugOutput : "";
        setenv("STANDIN_DEBUG_OUTPUT", dir_.file("debug.txt").c_str(), 1);
        StandinClearFailures();
    }
    void TearDown() override {
        StandinClearFailures();
        closeNativeLog();  // after a test that failed with the log open
        setenv("STANDIN_DEBUG_OUTPUT", savedDebugOutput_.c_str(), 1);
    }

    std::string logPath() const { return dir_.file("BrevantNative.log"); }
    std::string logText() const { return readFile(logPath()); }
    // Everything sent to the debugger output during the test.
    std::string debugText() const { return readFile(dir_.file("debug.txt")); }

    // The entries per writer (entriesPerThread) in the log file, which holds one whole run,
    // and on the debugger output from byte `from` on.
    std::vector<int> fileEntries(int threads) const {
        const std::string text = withoutStamps(logText());
        const std::string started = "[stamp] Brevant: Logging started\r\n";
        const std::string stopped = "[stamp] Brevant: Logging stopped\r\n";
        if (!text.starts_with(started) || !text.ends_with(stopped)) {
            ADD_FAILURE() << "not one whole run: " << text.substr(0, 200);
            return {};
        }
        return entriesPerThread(
            text.substr(started.size(), text.size() - started.size() - stopped.size()), kFileEntry,
            threads);
    }
    std::vector<int> echoEntries(int threads, size_t from = 0) const {
        return entriesPerThread(debugText().substr(from), kEchoEntry, threads);
    }

    ScratchDir dir_{"native-log"};

  private:
    std::string savedDebugOutput_;
};

HANDLE openForWriting(const std::string& path, DWORD share) {
    return CreateFileA(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Up to `count` bytes of a file from `offset` on.
std::string bytesAt(const std::string& path, off_t offset, size_t count) {
    std::string bytes(count, '\0');
    ssize_t read = -1;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        read = pread(fd, bytes.data(), count, offset);
        close(fd);
    }
    bytes.resize(read > 0 ? static_cast<size_t>(read) : 0);
    return bytes;
}

bool writeText(HANDLE file, const std::string& text) {
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// ---- the stamp -----------------------------------------------------------------------------

SYSTEMTIME calendarTime(WORD year, WORD month, WORD weekday, WORD day, WORD hour, WORD minute,
                        WORD second, WORD milliseconds) {
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDayOfWeek = weekday;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    time.wMilliseconds = milliseconds;
    return time;
}

TEST(NativeLogStamp, EveryFieldInItsPlace) {
    char stamp[kTimestampSize];

    // Month before day, every number zero-padded, the NUL after the trailing blank.
    std::memset(stamp, 'x', sizeof stamp);
    formatTimestamp(calendarTime(2023, 1, 0, 1, 9, 5, 7, 999), stamp);
    EXPECT_EQ(std::string(stamp, sizeof stamp), std::string("[Sun Jan 01 09:05:07 2023] \0", 28));

    formatTimestamp(calendarTime(2022, 12, 6, 31, 23, 59, 59, 0), stamp);
    EXPECT_STREQ(stamp, "[Sat Dec 31 23:59:59 2022] ");

    // Every weekday, month, day, hour, minute and second against the C library's names:
    // steps of a day, an hour, a minute and a second over five years.
    for (time_t t = 946684800; t < 946684800 + 5 * 366 * 86400; t += 86400 + 3600 + 61) {
        struct tm fields {};
        gmtime_r(&t, &fields);
        formatTimestamp(
            calendarTime(static_cast<WORD>(fields.tm_year + 1900),
                         static_cast<WORD>(fields.tm_mon + 1), static_cast<WORD>(fields.tm_wday),
                         static_cast<WORD>(fields.tm_mday), static_cast<WORD>(fields.tm_hour),
                         static_cast<WORD>(fields.tm_min), static_cast<WORD>(fields.tm_sec), 0),
            stamp);
        ASSERT_EQ(stamp, stampAt(t, false)) << "at " << t;
    }

    // Fields no conversion produces still give a stamp of the same shape, read from inside
    // the name tables.
    const std::regex shape(
        R"(\[(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) )"
        R"(\d\d \d\d:\d\d:\d\d \d{4}\] )");
    for (const SYSTEMTIME& odd : {calendarTime(65535, 0, 7, 99, 100, 60, 61, 1000),
                                  calendarTime(2026, 13, 65535, 0, 24, 0, 0, 0),
                                  calendarTime(0, 65535, 9, 65535, 65535, 65535, 65535, 65535)}) {
        formatTimestamp(odd, stamp);
        EXPECT_EQ(std::strlen(stamp), 27u);
        EXPECT_TRUE(std::regex_match(stamp, shape)) << stamp;
    }
}

TEST(NativeLogFile, LivesDirectlyInTheInstallHome) {
    EXPECT_EQ(nativeLogPath("/opt/Brevant ISAPI"), "/opt/Brevant ISAPI/BrevantNative.log");
}

TEST_F(NativeLogTest, StampIsTheLocalTimeOfTheEntry) {
    const time_t before = now();
    auto log = std::make_unique<NativeLog>(logPath());
    const time_t after = now();
    ASSERT_TRUE(log->isOpen());
    const std::string started = logText();
    ASSERT_GE(started.size(), 27u);
    std::vector<std::string> expected;
    for (time_t t = before; t <= after; ++t) {
        expected.push_back(stampAt(t, true));
    }
    EXPECT_NE(std::find(expected.begin(), expected.end(), started.substr(0, 27)), expected.end())
        << "stamp " << started.substr(0, 27) << ", local time " << expected.front();

    // Without the local conversion the stamp shows UTC, never fields that were not set.
    StandinFailNextCalls("FileTimeToLocalFileTime", 1, ERROR_INVALID_PARAMETER);
    const time_t utcBefore = now();
    log->write("in UTC", false);
    const time_t utcAfter = now();
    const std::string entry = logText().substr(started.size());
    ASSERT_GE(entry.size(), 27u);
    expected.clear();
    for (time_t t = utcBefore; t <= utcAfter; ++t) {
        expected.push_back(stampAt(t, false));
    }
    EXPECT_NE(std::find(expected.begin(), expected.end(), entry.substr(0, 27)), expected.end())
        << "stamp " << entry.substr(0, 27) << ", UTC " << expected.front();
}

// ---- entries -------------------------------------------------------------------------------

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
    // CR LF in the file; "Logging started" and "Logging stopped" are never echoed; the
    // echo ends in a bare LF; text is never a format; a message ends at its NUL in both.
    EXPECT_EQ(withoutStamps(logText()),
              "[stamp] Brevant: Logging started\r\n"
              "[stamp] Brevant: hello world\r\n"
              "[stamp] Brevant: \r\n"
              "[stamp] Brevant: file only\r\n"
              "[stamp] Brevant: caf\xe9 100% %s %n\tend\r\n"
              "[stamp] Brevant: before\r\n"
              "[stamp] Brevant: Logging stopped\r\n");
    EXPECT_EQ(debugText(),
              "Brevant: hello world\n"
              "Brevant: \n"
              "Brevant: caf\xe9 100% %s %n\tend\n"
              "Brevant: before\n");
}

TEST_F(NativeLogTest, AppendsToWhatEarlierRunsWrote) {
    writeFile(logPath(), "earlier run\r\n");
    {
        NativeLog log(logPath());
        log.write("first", false);
    }
    {
        NativeLog log(logPath());
        log.write("second", false);
    }
    EXPECT_EQ(withoutStamps(logText()),
              "earlier run\r\n"
              "[stamp] Brevant: Logging started\r\n"
              "[stamp] Brevant: first\r\n"
              "[stamp] Brevant: Logging stopped\r\n"
              "[stamp] Brevant: Logging started\r\n"
              "[stamp] Brevant: second\r\n"
              "[stamp] Brevant: Logging stopped\r\n");
    EXPECT_EQ(debugText(), "");
}

TEST_F(NativeLogTest, AppendsBeyondFourGigabytes) {
    // A sparse file: no disk is used for the hole.
    const off_t size = (off_t{5} << 30) + 3;
    writeFile(logPath(), "");
    if (truncate(logPath().c_str(), size) != 0) {
        GTEST_SKIP() << "no 5 GB file here";
    }
    {
        NativeLog log(logPath());
        ASSERT_TRUE(log.isOpen());
        log.write("far out", false);
    }
    EXPECT_EQ(withoutStamps(bytesAt(logPath(), size, 1000)),
              "[stamp] Brevant: Logging started\r\n"
              "[stamp] Brevant: far out\r\n"
              "[stamp] Brevant: Logging stopped\r\n");
    EXPECT_EQ(bytesAt(logPath(), 0, 8), std::string(8, '\0')) << "the start was written";
}

// ---- the file and its neighbours -----------------------------------------------------------

TEST_F(NativeLogTest, OthersMayReadTheOpenLogButNotWriteIt) {
    {
        NativeLog log(logPath());
        ASSERT_TRUE(log.isOpen());
        HANDLE writer = openForWriting(logPath(), FILE_SHARE_READ | FILE_SHARE_WRITE);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        if (writer != INVALID_HANDLE_VALUE) {
            CloseHandle(writer);
        }

        HANDLE reader =
            CreateFileA(logPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(reader, INVALID_HANDLE_VALUE);
        char text[128] = {};
        DWORD read = 0;
        EXPECT_TRUE(ReadFile(reader, text, sizeof text - 1, &read, nullptr));
        CloseHandle(reader);
        EXPECT_EQ(withoutStamps(std::string(text, read)), "[stamp] Brevant: Logging started\r\n");
    }
    // Closed with the log: now anybody may write it.
    HANDLE writer = openForWriting(logPath(), FILE_SHARE_READ);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE);
    CloseHandle(writer);
}

TEST_F(NativeLogTest, WithoutItsFileTheLogStillEchoes) {
    // Opens a log that cannot have its file, writes with and without echo, closes it, and
    // returns what reached the debugger output meanwhile.
    auto echoesOnly = [this](const std::string& path) {
        const size_t start = debugText().size();
        {
            NativeLog log(path);
            EXPECT_FALSE(log.isOpen());
            log.write("still told", true);
            log.write("not told", false);
        }
        return debugText().substr(start);
    };
    const std::string expected =
        "Brevant:  failed to create log file.\n"
        "Brevant: still told\n";

    // Its folder is missing.
    const std::string nowhere = dir_.file("missing") + "/BrevantNative.log";
    EXPECT_EQ(echoesOnly(nowhere), expected);
    EXPECT_NE(access(nowhere.c_str(), F_OK), 0);

    // Another writer holds it, sharing it for reading only.
    HANDLE other = openForWriting(logPath(), FILE_SHARE_READ);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(writeText(other, "other writer\r\n"));
    EXPECT_EQ(echoesOnly(logPath()), expected);
    EXPECT_TRUE(writeText(other, "still mine\r\n")) << "closing the failed log touched our handle";
    CloseHandle(other);
    EXPECT_EQ(logText(), "other writer\r\nstill mine\r\n");

    // It opens but cannot be positioned at its end: writing at its start would destroy what
    // earlier runs wrote, so the log does without it and lets it go.
    const std::string stuck = dir_.file("stuck.log");
    writeFile(stuck, "kept\r\n");
    StandinFailNextCalls("SetFilePointer", 1, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(echoesOnly(stuck), expected);
    EXPECT_EQ(readFile(stuck), "kept\r\n");
    HANDLE after = openForWriting(stuck, FILE_SHARE_READ);
    EXPECT_NE(after, INVALID_HANDLE_VALUE) << "the handle was not released";
    CloseHandle(after);
}

TEST_F(NativeLogTest, FailedWritesAreReportedAndTheNextEntryTriesAgain) {
    // Something before the log's own lines, so that the debugger output file stays far below
    // the file size limit used further down.
    const std::string earlier = std::string(1000, '.') + "\r\n";
    writeFile(logPath(), earlier);
    NativeLog log(logPath());
    ASSERT_TRUE(log.isOpen());

    // The stamp cannot be written: the whole entry is dropped from the file.
    StandinFailNextCalls("WriteFile", 1, ERROR_DISK_FULL);
    SetLastError(4321);
    log.write("lost", true);
    EXPECT_EQ(GetLastError(), 4321u) << "the failure reached the caller";
    log.write("after the stamp failed", false);

    // The stamp fits and the message does not.
    struct stat info {};
    ASSERT_EQ(stat(logPath().c_str(), &info), 0);
    DWORD errorAfterwards = 0;
    {
        FileSizeLimit limit(static_cast<rlim_t>(info.st_size) + 27);
        ASSERT_TRUE(limit.active());
        SetLastError(4321);
        log.write("beyond the limit", false);
        errorAfterwards = GetLastError();
    }
    EXPECT_EQ(errorAfterwards, 4321u) << "the failure reached the caller";
    log.write("after the message failed", true);

    EXPECT_EQ(withoutStamps(logText()),
              earlier +
                  "[stamp] Brevant: Logging started\r\n"
                  "[stamp] Brevant: after the stamp failed\r\n"
                  "[stamp] [stamp] Brevant: after the message failed\r\n");
    EXPECT_EQ(debugText(),
              "Brevant:  failed to write timestamp to log file.\n"
              "Brevant: lost\n"
              "Brevant:  failed to write msg to log file.\n"
              "Brevant: after the message failed\n");
}

// ---- the process-wide log and its writers --------------------------------------------------

TEST_F(NativeLogTest, LogMessageWritesThroughTheProcessLogWhenThereIsOne) {
    SetLastError(4321);
    logMessage("before the log");
    logMessage("never seen", false);
    closeNativeLog();  // without a log: nothing
    EXPECT_EQ(GetLastError(), 4321u);

    openNativeLog(logPath());
    openNativeLog(dir_.file("second.log"));  // replaces nothing
    logMessage("through the log");
    logMessage("file only", false);
    closeNativeLog();
    EXPECT_FALSE(hasNativeLog());

    logMessage("after the log", true);
    EXPECT_NE(access(dir_.file("second.log").c_str(), F_OK), 0);
    EXPECT_EQ(withoutStamps(logText()),
              "[stamp] Brevant: Logging started\r\n"
              "[stamp] Brevant: through the log\r\n"
              "[stamp] Brevant: file only\r\n"
              "[stamp] Brevant: Logging stopped\r\n");
    EXPECT_EQ(debugText(),
              "Brevant: before the log\n"
              "Brevant: through the log\n"
              "Brevant: after the log\n");
}

// Runs `threads` writers at once, writer k logging "thread <k> entry <i>" for i = 0, 1, ...
// while more(k, i), and `meanwhile` on this thread; how many entries each writer logged.
std::vector<int> logFromThreads(
    int threads, const std::function<bool(int, int)>& more,
    const std::function<void()>& meanwhile = [] {}) {
    std::vector<int> entries(threads);
    std::vector<std::thread> writers;
    for (int k = 0; k < threads; ++k) {
        writers.emplace_back([&, k] {
            for (; more(k, entries[k]); ++entries[k]) {
                logMessage("thread " + std::to_string(k) + " entry " + std::to_string(entries[k]));
            }
        });
    }
    meanwhile();
    for (std::thread& writer : writers) {
        writer.join();
    }
    return entries;
}

TEST_F(NativeLogTest, ConcurrentWritersNeverInterleave) {
    const std::vector<int> all(8, 1250);  // 10,000 entries
    openNativeLog(logPath());
    logFromThreads(8, [](int, int i) { return i < 1250; });
    closeNativeLog();
    EXPECT_EQ(fileEntries(8), all);
    EXPECT_EQ(echoEntries(8), all);  // four strings per entry, kept together
}

// Each writer goes on until it has begun 250 entries after the close returned: late
// writers only echo, and their echoes alone are kept together just the same.
TEST_F(NativeLogTest, WritersWhileTheLogClosesFinishTheirEntryOrOnlyEcho) {
    std::atomic<int> written{0};
    std::atomic<bool> closed{false};
    std::vector<int> afterClose(6);
    openNativeLog(logPath());
    const std::vector<int> entries = logFromThreads(
        6,
        [&](int k, int) {
            ++written;
            return (afterClose[k] += closed ? 1 : 0) <= 250;
        },
        [&] {
            while (written < 600) {
                std::this_thread::yield();
            }
            closeNativeLog();
            closed = true;
        });
    const std::vector<int> inFile = fileEntries(6);  // each writer's first ones
    ASSERT_EQ(inFile.size(), 6u);
    for (int k = 0; k < 6; ++k) {
        EXPECT_LE(inFile[k], entries[k] - 250) << "thread " << k;
    }
    EXPECT_EQ(echoEntries(6), entries);
}

}  // namespace
