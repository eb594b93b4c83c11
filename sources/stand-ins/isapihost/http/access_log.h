// The access log, in the W3C extended format IIS writes:
//   #Software: isapihost 1.0
//   #Version: 1.0
//   #Date: 2026-12-06 01:49:33
//   #Fields: date time c-ip cs-username s-port cs-method cs-uri-stem cs-uri-query sc-status
//   sc-bytes time-taken
// then one line per request. Blanks inside a field are written as "+", an empty field as
// "-"; date and time are UTC.
//
// Thread safety: write() from any thread; each line is written whole. close() flushes.
#ifndef ISAPIHOST_HTTP_ACCESS_LOG_H
#define ISAPIHOST_HTTP_ACCESS_LOG_H

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace isapihost {

struct AccessLogEntry {
    std::string clientIp;
    std::string userName;
    uint16_t serverPort = 0;
    std::string method;
    std::string uriStem;
    std::string uriQuery;
    int status = 0;
    uint64_t bytesSent = 0;
    uint64_t millisecondsTaken = 0;
};

class AccessLog {
  public:
    AccessLog() = default;
    ~AccessLog();
    AccessLog(const AccessLog&) = delete;
    AccessLog& operator=(const AccessLog&) = delete;

    // Opens the file for appending (creating it) and writes the header lines when the file
    // is new or empty. False with *error when it cannot be opened.
    bool open(const std::string& path, std::string* error);
    void write(const AccessLogEntry& entry);
    void close();

    // The line written for `entry`, without its line end (for tests).
    static std::string format(const AccessLogEntry& entry, int64_t unixSeconds);

  private:
    std::mutex mutex_;
    FILE* file_ = nullptr;  // guarded by mutex_
};

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_ACCESS_LOG_H
