#include "stand-ins/isapihost/host/request_context.h"

#include <strings.h>

#include <cstring>

namespace isapihost {

RequestContext::RequestContext(Exchange& exchange_, const Site& site_)
    : exchange(exchange_), site(site_) {
    const RequestHead& head = exchange.head();
    method = head.method;
    target = head.target;
    headers = head.headers;
    deriveUrl();
}

const Header* RequestContext::findHeader(const std::string& name) const {
    for (const Header& header : headers) {
        if (strcasecmp(header.name.c_str(), name.c_str()) == 0) {
            return &header;
        }
    }
    return nullptr;
}

void RequestContext::deriveUrl() {
    std::string rest = target;
    // An absolute target ("http://host/path") is served by its path, as IIS does.
    auto scheme = rest.find("://");
    if (scheme != std::string::npos && scheme < rest.find('/')) {
        auto slash = rest.find('/', scheme + 3);
        rest = slash == std::string::npos ? "/" : rest.substr(slash);
    }
    auto question = rest.find('?');
    path = rest.substr(0, question);
    queryString = question == std::string::npos ? std::string() : rest.substr(question + 1);
}

bool RequestContext::sendResponseHeader(const char* statusText, const char* extraHeaders) {
    std::string status = statusText != nullptr ? statusText : "200 OK";
    std::string text = "HTTP/1.1 " + status + "\r\n" + pendingResponseHeaders;
    pendingResponseHeaders.clear();
    // Without header text the head ends here; header text comes with its own blank line.
    text += extraHeaders != nullptr ? extraHeaders : "\r\n";
    responseStarted = true;
    if (this->status == 0) {
        this->status = atoi(status.c_str());
    }
    return exchange.writeAll(text.data(), text.size());
}

void* RequestContext::allocate(size_t size) {
    allocations_.push_back(std::make_unique<uint8_t[]>(size == 0 ? 1 : size));
    return allocations_.back().get();
}

}  // namespace isapihost
