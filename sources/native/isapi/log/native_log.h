// NativeLog: Brevant_ISAPI's own log file, BrevantNative.log in the install home, with an
// optional echo of each entry to the Windows debugger output.
//
// One object per process, created by the engine bridge and reached through the
// process-wide pointer `nativeLog`; writers that find the pointer empty still echo. Any
// thread may write: one process-wide lock is held across the stamp, the message and the
// echo of an entry (and across the echo of `logMessage` when there is no log), so the
// entries of concurrent threads never interleave, in the file or in the debugger output.
// The object owns its file handle; it cannot be copied.
#ifndef BREVANT_ISAPI_LOG_NATIVE_LOG_H
#define BREVANT_ISAPI_LOG_NATIVE_LOG_H

#include <windows.h>

#include <cstddef>
#include <string>

namespace brevant::isapi {

class NativeLog {
  public:
    // Opens (creates or appends to) the log file and writes "Logging started". When the file
    // cannot be opened, or not be positioned at its end, the object has no file: it says so
    // on the debugger output and from then on only echoes.
    explicit NativeLog(const std::string& path);
    // Writes "Logging stopped" and closes the file (nothing when it never opened).
    ~NativeLog();
    NativeLog(const NativeLog&) = delete;
    NativeLog& operator=(const NativeLog&) = delete;

    // One entry: "[Sun Dec 06 01:49:33 2026] Brevant: <message>\r\n" in the file, and with
    // `echo` the four debugger strings "Brevant", ": ", message, "\n". The message is 8-bit
    // text up to its first NUL. Failures go to the debugger output, never to the caller:
    // this throws nothing and leaves GetLastError as it was.
    void write(const std::string& message, bool echo);

    bool isOpen() const { return file_ != INVALID_HANDLE_VALUE; }

  private:
    // Writes the 27-character local-time stamp; false when the write failed.
    // REQUIRES: the entry lock is held and the file is open.
    bool writeTimestamp();
    // Writes one whole built line; false when the write failed.
    // REQUIRES: the entry lock is held and the file is open.
    bool writeLine(const std::string& line);

    HANDLE file_ = INVALID_HANDLE_VALUE;
};

// The process-wide log; null before the engine bridge creates it and after it deletes it.
// Written only while the filter loads and at unload, when no other thread logs.
extern NativeLog* nativeLog;

// Writes through `nativeLog` when there is one, and echoes to the debugger output when
// asked even when there is none. Throws nothing; leaves GetLastError as it was.
void logMessage(const std::string& message, bool echo = true);

// The log file of an install home: the home, the path separator, "BrevantNative.log".
std::string nativeLogPath(const std::string& home);

// A stamp is 27 characters and its NUL.
constexpr std::size_t kTimestampSize = 28;

// Fills `stamp` with "[DDD Mon DD hh:mm:ss YYYY] " from the calendar fields of `time`;
// milliseconds are not shown. Used by the log for the local time; exposed so that the
// fields can be checked on a given time.
void formatTimestamp(const SYSTEMTIME& time, char (&stamp)[kTimestampSize]);

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_LOG_NATIVE_LOG_H
