// Responses the server frames itself. Keep-alive after them: a response leaves the
// connection open only when the client asked for it and sent no body (a body nobody read
// would be taken for the next request). Error pages do so only for the statuses that
// refuse a request cleanly (401, 403, 404, 405, 304); any other error closes, as the
// client or the request may be in a bad state.
#include "stand-ins/isapihost/http/responses.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "native/common/basics/markup_text.h"
#include "stand-ins/isapihost/http/http_date.h"
#include "stand-ins/isapihost/http/response_framing.h"

namespace isapihost {

namespace {

constexpr size_t kFilePiece = 64 * 1024;

struct ReasonPhrase {
    int status;
    const char* phrase;
};

// The standard phrases; 413, 414 and 416 keep the older names IIS still sends.
const ReasonPhrase kReasonPhrases[] = {
    {100, "Continue"},
    {101, "Switching Protocols"},
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-Authoritative Information"},
    {204, "No Content"},
    {205, "Reset Content"},
    {206, "Partial Content"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {303, "See Other"},
    {304, "Not Modified"},
    {305, "Use Proxy"},
    {307, "Temporary Redirect"},
    {308, "Permanent Redirect"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Precondition Failed"},
    {413, "Request Entity Too Large"},
    {414, "Request-URI Too Long"},
    {415, "Unsupported Media Type"},
    {416, "Requested Range Not Satisfiable"},
    {417, "Expectation Failed"},
    {429, "Too Many Requests"},
    {431, "Request Header Fields Too Large"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
    {505, "HTTP Version Not Supported"},
};

bool isHead(const Exchange& exchange) {
    return exchange.head().method == "HEAD";
}

bool keepsAliveAfterError(int status) {
    switch (status) {
        case 304:
        case 401:
        case 403:
        case 404:
        case 405:
            return true;
        default:
            return false;
    }
}

// The value of the first header named `name` (case-insensitively), or null.
const std::string* findHeader(const RequestHead& head, const char* name) {
    for (const Header& header : head.headers) {
        if (strcasecmp(header.name.c_str(), name) == 0) {
            return &header.value;
        }
    }
    return nullptr;
}

// Header values come from our callers; a line break inside one would end the header.
std::string headerSafe(const std::string& value) {
    std::string safe;
    safe.reserve(value.size());
    for (char c : value) {
        if (c != '\r' && c != '\n') {
            safe += c;
        }
    }
    return safe;
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

ResponseResult sendFileBody(Exchange& exchange, int fd, uint64_t length, std::string& out,
                            bool keepAlive) {
    // The first piece goes out with the head: a small file costs one write.
    thread_local std::string piece;
    uint64_t left = length;
    size_t headSize = out.size();
    size_t first = static_cast<size_t>(std::min<uint64_t>(left, kFilePiece));
    out.resize(headSize + first);
    size_t got = 0;
    while (got < first) {
        ssize_t n = read(fd, out.data() + headSize + got, first - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    out.resize(headSize + got);
    left -= got;
    if (!exchange.writeAll(out.data(), out.size())) {
        return {200, AfterResponse::Close};
    }
    if (got < first) {
        return {200, AfterResponse::Close};  // the file shrank: the length we sent was wrong
    }
    piece.resize(kFilePiece);
    while (left > 0) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(left, kFilePiece));
        ssize_t n = read(fd, piece.data(), want);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return {200, AfterResponse::Close};
        }
        if (!exchange.writeAll(piece.data(), static_cast<size_t>(n))) {
            return {200, AfterResponse::Close};
        }
        left -= static_cast<uint64_t>(n);
    }
    return {200, keepAlive ? AfterResponse::KeepAlive : AfterResponse::Close};
}

}  // namespace

ResponseResult sendError(Exchange& exchange, int status, const std::string& extraHeaders) {
    const RequestHead& head = exchange.head();
    bool keepAlive = keepsAliveAfterError(status) && mayKeepAlive(head);
    std::string response =
        frameErrorResponse(status, extraHeaders, &head, keepAlive, !isHead(exchange));
    if (!exchange.writeAll(response.data(), response.size())) {
        return {status, AfterResponse::Close};
    }
    return {status, keepAlive ? AfterResponse::KeepAlive : AfterResponse::Close};
}

ResponseResult sendRedirect(Exchange& exchange, const std::string& location, int status) {
    const RequestHead& head = exchange.head();
    bool keepAlive = mayKeepAlive(head);
    std::string body =
        "<html><head><title>Object Moved</title></head><body><h1>Object Moved</h1>"
        "This document may be found <a HREF=\"" +
        brevant::markup::htmlEscaped(location) + "\">here</a></body></html>";
    std::string out;
    out.reserve(256 + location.size() + body.size());
    appendResponseStart(out, status);
    out += "Location: ";
    out += headerSafe(location);
    out += "\r\nContent-Type: text/html\r\nContent-Length: ";
    out += std::to_string(body.size());
    out += "\r\n";
    appendConnectionHeader(out, &head, keepAlive);
    out += "\r\n";
    if (!isHead(exchange)) {
        out += body;
    }
    if (!exchange.writeAll(out.data(), out.size())) {
        return {status, AfterResponse::Close};
    }
    return {status, keepAlive ? AfterResponse::KeepAlive : AfterResponse::Close};
}

ResponseResult serveFile(Exchange& exchange, const std::string& physicalPath,
                         const std::string& contentType) {
    const RequestHead& head = exchange.head();
    if (head.method != "GET" && head.method != "HEAD") {
        return sendError(exchange, 405, "Allow: GET, HEAD\r\n");
    }
    // O_NONBLOCK: opening a FIFO must not hang the worker; it is refused below anyway.
    FileDescriptor file(open(physicalPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        bool missing = errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG;
        return sendError(exchange, missing ? 404 : 403);
    }
    struct stat info {};
    if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return sendError(exchange, 403);
    }

    bool keepAlive = mayKeepAlive(head);
    std::string lastModified = httpDate(info.st_mtime);
    thread_local std::string out;
    out.clear();
    const std::string* since = findHeader(head, "If-Modified-Since");
    time_t sinceTime = 0;
    if (since != nullptr && parseHttpDate(*since, &sinceTime) && info.st_mtime <= sinceTime) {
        appendResponseStart(out, 304);
        out += "Last-Modified: ";
        out += lastModified;
        out += "\r\n";
        appendConnectionHeader(out, &head, keepAlive);
        out += "\r\n";
        bool sent = exchange.writeAll(out.data(), out.size());
        return {304, sent && keepAlive ? AfterResponse::KeepAlive : AfterResponse::Close};
    }

    appendResponseStart(out, 200);
    out += "Content-Type: ";
    out += headerSafe(contentType);
    out += "\r\nContent-Length: ";
    out += std::to_string(static_cast<uint64_t>(info.st_size));
    out += "\r\nLast-Modified: ";
    out += lastModified;
    out += "\r\n";
    appendConnectionHeader(out, &head, keepAlive);
    out += "\r\n";
    if (isHead(exchange)) {
        bool sent = exchange.writeAll(out.data(), out.size());
        return {200, sent && keepAlive ? AfterResponse::KeepAlive : AfterResponse::Close};
    }
    return sendFileBody(exchange, file.get(), static_cast<uint64_t>(info.st_size), out, keepAlive);
}

const char* reasonPhrase(int status) {
    for (const ReasonPhrase& entry : kReasonPhrases) {
        if (entry.status == status) {
            return entry.phrase;
        }
    }
    return "Unknown";
}

}  // namespace isapihost
