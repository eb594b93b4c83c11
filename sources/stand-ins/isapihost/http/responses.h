// Responses the server frames itself: error pages, redirects and static files.
// Thread: any worker thread, on its own Exchange.
#ifndef ISAPIHOST_HTTP_RESPONSES_H
#define ISAPIHOST_HTTP_RESPONSES_H

#include <cstdint>
#include <string>

#include "stand-ins/isapihost/http/exchange.h"

namespace isapihost {

struct ResponseResult {
    int status = 0;
    AfterResponse after = AfterResponse::Close;
};

// "HTTP/1.1 <status> <reason>" with a short HTML page, Content-Length, and any extra header
// lines (each ended by CR LF), e.g. a WWW-Authenticate or Allow header.
ResponseResult sendError(Exchange& exchange, int status, const std::string& extraHeaders = "");

// 302 to `location`, as IIS answers a directory URL without its final "/".
ResponseResult sendRedirect(Exchange& exchange, const std::string& location, int status = 302);

// GET and HEAD of a regular file: Content-Type, Content-Length, Last-Modified, 304 for a
// fresh If-Modified-Since; 404 when the file does not exist, 403 when it cannot be read,
// 405 (with Allow) for other methods.
ResponseResult serveFile(Exchange& exchange, const std::string& physicalPath,
                         const std::string& contentType);

// The reason phrase of a status code ("Not Found"); "Unknown" for codes without one.
const char* reasonPhrase(int status);

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_RESPONSES_H
