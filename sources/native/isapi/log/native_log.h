// NativeLog: Brevant_ISAPI's own log file, BrevantNative.log in the install home, with an
// optional echo of each entry to the Windows debugger output.
//
// The connector writes to one object per process, the process-wide log: the engine bridge
// opens it with openNativeLog and ends it with closeNativeLog, every part writes through
// logMessage, and writers that find no log still echo. Writes come from any thread at any
// time, also during and after the close: a created Java VM is never destroyed, and its
// threads keep logging. One process-wide lock, the entry lock, is held across the stamp,
// the message and the echo of an entry, and across every use of the process-wide log,
// closing and emptying it included: entries never interleave, in the file or in the
// debugger output, and a late writer either finished its entry before the close or only
// echoes. The process-wide log is reached only through these functions.
// A NativeLog owns its file handle; it cannot be copied.
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
    // Writes "Logging stopped" and closes the file (nothing when it never opened or was
    // closed already).
    ~NativeLog();
    NativeLog(const NativeLog&) = delete;
    NativeLog& operator=(const NativeLog&) = delete;

    // One entry: "[Sun Dec 06 01:49:33 2026] Brevant: <message>\r\n" in the file, and with
    // `echo` the four debugger strings "Brevant", ": ", message, "\n". The message is 8-bit
    // text up to its first NUL. Failures go to the debugger output, never to the caller:
    // this throws nothing and leaves GetLastError as it was.
    void write(const std::string& message, bool echo);

    // Whether the file is open. REQUIRES: no other thread closes the log meanwhile.
    bool isOpen() const { return file_ != INVALID_HANDLE_VALUE; }

  private:
    friend void logMessage(const std::string& message, bool echo);
    friend void closeNativeLog();

    // One entry: `line` (the file's, built beforehand; empty when that failed) in the file
    // and, with `echo`, `text` on the debugger output.
    // REQUIRES: the entry lock is held.
    void writeLocked(const char* text, const std::string& line, bool echo);
    // Writes "Logging stopped" and closes the file, once.
    // REQUIRES: the entry lock is held.
    void closeLocked();
    // Writes the 27-character local-time stamp; false when the write failed.
    // REQUIRES: the entry lock is held and the file is open.
    bool writeTimestamp();
    // Writes one whole built line; false when the write failed.
    // REQUIRES: the entry lock is held and the file is open.
    bool writeLine(const std::string& line);

    HANDLE file_ = INVALID_HANDLE_VALUE;
};

// Creates the process-wide log for the file at `path` (writing "Logging started", or
// reporting on the debugger output that the file cannot be had) and publishes it. When its
// memory cannot be had there is no log, and writers only echo. Throws nothing.
// REQUIRES: no log is open (a second call while one is open replaces nothing and returns).
void openNativeLog(const std::string& path);

// Writes "Logging stopped", closes the file and empties the process-wide log, all under the
// entry lock, so that a writer on another thread either finished its entry before or writes
// only its echo after. Nothing when there is no log.
void closeNativeLog();

// Writes through the process-wide log when there is one, and echoes to the debugger output
// when asked even when there is none. Any thread, any time. Throws nothing; leaves
// GetLastError as it was.
void logMessage(const std::string& message, bool echo = true);

// The log file of an install home: the home, the path separator, "BrevantNative.log".
std::string nativeLogPath(const std::string& home);

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_LOG_NATIVE_LOG_H
