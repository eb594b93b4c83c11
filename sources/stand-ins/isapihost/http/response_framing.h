// The framing every response the server writes itself shares: the status line, the
// Server and Date headers, the Connection header, and the short HTML error page. Both the
// worker side (sendError and friends) and the I/O side (400, 408 and 411 for heads that
// never reach a worker) frame their responses here, so they look alike on the wire.
// Thread safety: pure functions, any thread.
#ifndef ISAPIHOST_HTTP_RESPONSE_FRAMING_H
#define ISAPIHOST_HTTP_RESPONSE_FRAMING_H

#include <cstdint>
#include <string>

#include "stand-ins/isapihost/http/exchange.h"

namespace isapihost {

// Appends "HTTP/1.1 <status> <reason>\r\nServer: isapihost/1.0\r\nDate: ...\r\n".
void appendResponseStart(std::string& out, int status);

// Appends the Connection header the decision needs: "close" when the connection ends,
// "keep-alive" for an HTTP/1.0 client that keeps it, nothing for HTTP/1.1 (its default).
void appendConnectionHeader(std::string& out, const RequestHead* head, bool keepAlive);

// Whether a response may leave the connection open: the client asked for it and sent no
// body that the response would leave unread.
bool mayKeepAlive(const RequestHead& head);

// A whole error response: status line, Content-Type text/html and Content-Length (neither
// for 1xx, 204 and 304), `extraHeaders` (lines ended by CR LF), Connection, then the page
// unless `withBody` is false (HEAD).
std::string frameErrorResponse(int status, const std::string& extraHeaders, const RequestHead* head,
                               bool keepAlive, bool withBody);

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_RESPONSE_FRAMING_H
