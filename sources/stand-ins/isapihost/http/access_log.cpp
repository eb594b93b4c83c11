#include "stand-ins/isapihost/http/access_log.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

namespace isapihost {

namespace {

const char kHeaderStart[] =
    "#Software: isapihost 1.0\n"
    "#Version: 1.0\n"
    "#Date: ";
const char kFields[] =
    "#Fields: date time c-ip cs-username s-port cs-method cs-uri-stem cs-uri-query sc-status "
    "sc-bytes time-taken\n";

std::string utcDateTime(int64_t unixSeconds) {
    time_t when = static_cast<time_t>(unixSeconds);
    struct tm fields {};
    gmtime_r(&when, &fields);
    char text[64];  // room for any int the compiler can imagine
    snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", fields.tm_year + 1900,
             fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec);
    return text;
}

// Fields are separated by blanks, so a blank inside one becomes "+" (as IIS writes it);
// other white space would break the line and is treated alike.
void appendField(std::string& line, const std::string& value) {
    line += ' ';
    if (value.empty()) {
        line += '-';
        return;
    }
    for (char c : value) {
        line += (c == ' ' || c == '\t' || c == '\r' || c == '\n') ? '+' : c;
    }
}

}  // namespace

AccessLog::~AccessLog() {
    close();
}

bool AccessLog::open(const std::string& path, std::string* error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ != nullptr) {
        fclose(file_);
        file_ = nullptr;
    }
    FILE* file = fopen(path.c_str(), "ae");
    if (file == nullptr) {
        *error = "cannot open the access log " + path + ": " + strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fileno(file), &info) == 0 && info.st_size == 0) {
        std::string header = kHeaderStart + utcDateTime(time(nullptr)) + "\n" + kFields;
        fwrite(header.data(), 1, header.size(), file);
        fflush(file);
    }
    file_ = file;
    return true;
}

void AccessLog::write(const AccessLogEntry& entry) {
    std::string line = format(entry, time(nullptr));
    line += '\n';
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ == nullptr) {
        return;
    }
    // Flushed per line, so that a reader never sees half of one.
    fwrite(line.data(), 1, line.size(), file_);
    fflush(file_);
}

void AccessLog::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ != nullptr) {
        fclose(file_);
        file_ = nullptr;
    }
}

std::string AccessLog::format(const AccessLogEntry& entry, int64_t unixSeconds) {
    std::string line = utcDateTime(unixSeconds);
    line.reserve(128 + entry.uriStem.size() + entry.uriQuery.size());
    appendField(line, entry.clientIp);
    appendField(line, entry.userName);
    line += ' ';
    line += std::to_string(entry.serverPort);
    appendField(line, entry.method);
    appendField(line, entry.uriStem);
    appendField(line, entry.uriQuery);
    line += ' ';
    line += std::to_string(entry.status);
    line += ' ';
    line += std::to_string(entry.bytesSent);
    line += ' ';
    line += std::to_string(entry.millisecondsTaken);
    return line;
}

}  // namespace isapihost
