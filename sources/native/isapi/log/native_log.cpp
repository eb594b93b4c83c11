#include "native/isapi/log/native_log.h"
#include "native/isapi/log/native_log_internal.h"

#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

#include "native/isapi/isapi_platform.h"
#include "native/common/basics/owned_handles.h"

namespace brevant::isapi {

namespace {

constexpr char kProductWord[] = "Brevant";
constexpr char kTimestampTemplate[] = "[DDD Mon DD ..:..:.. YYYY] ";
constexpr char kWeekdayNames[] = "SunMonTueWedThuFriSat";
constexpr char kMonthNames[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
static_assert(sizeof kTimestampTemplate == kTimestampSize);

// An entry is several writes (the stamp and the line; four debugger strings), and those of
// two threads must not mix. One lock for the whole process: there is one log per process,
// and the echo of logMessage without a log needs the same lock as the echo of one.
std::mutex entryLock;

// The process-wide log: read, written and used only with entryLock held, so that no writer
// can still be inside it when closeNativeLog closes and deletes it.
NativeLog* processLog = nullptr;

// The diagnostics of the log about itself: the product word, then the text.
// REQUIRES: entryLock held.
void reportToDebugger(const char* text) {
    OutputDebugStringA(kProductWord);
    OutputDebugStringA(text);
}

// REQUIRES: entryLock held.
void echoEntry(const char* message) {
    OutputDebugStringA(kProductWord);
    OutputDebugStringA(": ");
    OutputDebugStringA(message);
    OutputDebugStringA("\n");
}

// The file's line of an entry, "Brevant: <text>\r\n"; empty when it cannot be allocated. It
// is built before the entry lock is taken and before the stamp is written, so that a line
// that cannot be had leaves no stamp without a message behind. Writes come from catch
// handlers and destructors: nothing may be thrown from here.
std::string fileLine(const char* text) noexcept {
    try {
        return std::string(kProductWord).append(": ").append(text).append("\r\n");
    } catch (const std::exception&) {
        return std::string();
    }
}

// Overwrites `width` characters at `field` with the last `width` decimal digits of value.
void putDigits(char* field, unsigned value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        field[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

// Moves to the end even past 4 GB: without the high part SetFilePointer fails there, and a
// log that has grown that far would be overwritten from its start.
bool moveToEnd(HANDLE file) {
    LONG high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(file, 0, &high, FILE_END);
    return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

}  // namespace

void formatTimestamp(const SYSTEMTIME& time, char (&stamp)[kTimestampSize]) {
    std::memcpy(stamp, kTimestampTemplate, kTimestampSize - 1);
    stamp[kTimestampSize - 1] = '\0';
    // FileTimeToSystemTime gives fields in range; the remainders keep any other time inside
    // the name tables.
    std::memcpy(stamp + 1, kWeekdayNames + time.wDayOfWeek % 7 * 3, 3);
    std::memcpy(stamp + 5, kMonthNames + (time.wMonth + 11) % 12 * 3, 3);
    putDigits(stamp + 9, time.wDay, 2);
    putDigits(stamp + 12, time.wHour, 2);
    putDigits(stamp + 15, time.wMinute, 2);
    putDigits(stamp + 18, time.wSecond, 2);
    putDigits(stamp + 21, time.wYear, 4);
}

std::string nativeLogPath(const std::string& home) {
    return home + kPathSeparator + kProductWord + "Native.log";
}

NativeLog::NativeLog(const std::string& path) {
    // Others may read the log while the connector runs; nobody else may write it.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    // A file we cannot append to is no log file: writing at its start would destroy the
    // entries of earlier runs.
    if (file != INVALID_HANDLE_VALUE && !moveToEnd(file)) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    if (file == INVALID_HANDLE_VALUE) {
        std::lock_guard<std::mutex> lock(entryLock);
        reportToDebugger(":  failed to create log file.\n");
        return;
    }
    file_ = file;
    write("Logging started", false);
}

NativeLog::~NativeLog() {
    std::lock_guard<std::mutex> lock(entryLock);
    closeLocked();
}

void NativeLog::write(const std::string& message, bool echo) {
    LastErrorKeeper keeper;
    const std::string line = fileLine(message.c_str());
    std::lock_guard<std::mutex> lock(entryLock);
    writeLocked(message.c_str(), line, echo);
}

void NativeLog::writeLocked(const char* text, const std::string& line, bool echo) {
    if (isOpen()) {
        if (line.empty()) {
            reportToDebugger(":  failed to write msg to log file.\n");
        } else if (!writeTimestamp()) {
            reportToDebugger(":  failed to write timestamp to log file.\n");
        } else if (!writeLine(line)) {
            reportToDebugger(":  failed to write msg to log file.\n");
        }
    }
    if (echo) {
        echoEntry(text);
    }
}

void NativeLog::closeLocked() {
    if (!isOpen()) {
        return;
    }
    writeLocked("Logging stopped", fileLine("Logging stopped"), false);
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
}

bool NativeLog::writeTimestamp() {
    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    FILETIME utcFileTime{};
    FILETIME localFileTime{};
    SYSTEMTIME local{};
    // Should a conversion fail, the stamp shows the UTC time rather than fields that were
    // never set.
    if (!SystemTimeToFileTime(&utc, &utcFileTime) ||
        !FileTimeToLocalFileTime(&utcFileTime, &localFileTime) ||
        !FileTimeToSystemTime(&localFileTime, &local)) {
        local = utc;
    }
    char stamp[kTimestampSize];
    formatTimestamp(local, stamp);
    DWORD written = 0;
    return WriteFile(file_, stamp, static_cast<DWORD>(std::strlen(stamp)), &written, nullptr) !=
           FALSE;
}

bool NativeLog::writeLine(const std::string& line) {
    if (line.size() > std::numeric_limits<DWORD>::max()) {
        return false;  // one WriteFile cannot take it whole
    }
    DWORD written = 0;
    return WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) !=
           FALSE;
}

void openNativeLog(const std::string& path) {
    if (hasNativeLog()) {
        return;
    }
    // Without memory for it there is no log: writers echo only.
    std::unique_ptr<NativeLog> log(new (std::nothrow) NativeLog(path));
    std::lock_guard<std::mutex> lock(entryLock);  // released before a surplus log goes
    if (processLog == nullptr) {
        processLog = log.release();
    }
}

void closeNativeLog() {
    NativeLog* log = nullptr;
    {
        std::lock_guard<std::mutex> lock(entryLock);
        log = std::exchange(processLog, nullptr);
        if (log != nullptr) {
            log->closeLocked();
        }
    }
    delete log;  // no writer can reach it any more, and it is closed already
}

bool hasNativeLog() {
    std::lock_guard<std::mutex> lock(entryLock);
    return processLog != nullptr;
}

void logMessage(const std::string& message, bool echo) {
    LastErrorKeeper keeper;
    const std::string line = fileLine(message.c_str());
    std::lock_guard<std::mutex> lock(entryLock);
    if (processLog != nullptr) {
        processLog->writeLocked(message.c_str(), line, echo);
    } else if (echo) {
        echoEntry(message.c_str());
    }
}

}  // namespace brevant::isapi
