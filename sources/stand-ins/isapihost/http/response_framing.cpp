#include "stand-ins/isapihost/http/response_framing.h"
#include "stand-ins/isapihost/http/response_framing_internal.h"

#include "stand-ins/isapihost/http/http_date.h"
#include "stand-ins/isapihost/http/responses.h"

namespace isapihost {

void appendResponseStart(std::string& out, int status) {
    out += "HTTP/1.1 ";
    out += std::to_string(status);
    out += ' ';
    out += reasonPhrase(status);
    out += "\r\nServer: isapihost/1.0\r\nDate: ";
    out += httpDateNow();
    out += "\r\n";
}

void appendConnectionHeader(std::string& out, const RequestHead* head, bool keepAlive) {
    if (!keepAlive) {
        out += "Connection: close\r\n";
    } else if (head != nullptr && head->versionMajor == 1 && head->versionMinor == 0) {
        out += "Connection: keep-alive\r\n";
    }
}

bool mayKeepAlive(const RequestHead& head) {
    return head.clientWantsKeepAlive && head.contentLength == 0;
}

std::string errorPage(int status) {
    std::string title = std::to_string(status) + " " + reasonPhrase(status);
    return "<html><head><title>" + title + "</title></head><body><h1>" + title +
           "</h1></body></html>";
}

std::string frameErrorResponse(int status, const std::string& extraHeaders, const RequestHead* head,
                               bool keepAlive, bool withBody) {
    // 1xx, 204 and 304 never carry a body, so they get no page and no length either.
    bool bodiless = status < 200 || status == 204 || status == 304;
    std::string page = bodiless ? std::string() : errorPage(status);
    std::string out;
    out.reserve(256 + extraHeaders.size() + page.size());
    appendResponseStart(out, status);
    if (!bodiless) {
        out += "Content-Type: text/html\r\nContent-Length: ";
        out += std::to_string(page.size());
        out += "\r\n";
    }
    out += extraHeaders;
    appendConnectionHeader(out, head, keepAlive);
    out += "\r\n";
    if (withBody) {
        out += page;
    }
    return out;
}

}  // namespace isapihost
