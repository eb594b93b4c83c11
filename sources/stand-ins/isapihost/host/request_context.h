// Everything isapihost knows about one request while its worker thread serves it: the
// head as filters have changed it, the URL mapping, the authenticated user, the response
// state, and the memory filters allocated for it.
//
// Filters and the extension see this object only through the ISAPI callbacks
// (filter_chain.cpp, extension_call.cpp), which reach it through their context
// pointers. Thread: the one worker thread serving the request; a filter or extension that
// hands the request to another thread must not call back after returning, as in IIS.
#ifndef ISAPIHOST_HOST_REQUEST_CONTEXT_H
#define ISAPIHOST_HOST_REQUEST_CONTEXT_H

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "stand-ins/isapihost/http/exchange.h"
#include "stand-ins/isapihost/host/site.h"

namespace isapihost {

struct RequestContext {
    RequestContext(Exchange& exchange, const Site& site);

    Exchange& exchange;
    const Site& site;

    // ---- the request, as filters leave it ----
    std::string method;
    std::string target;       // GetHeader("URL"): as sent, or as a filter set it
    std::string path;         // the URL path of the target, without query
    std::string queryString;  // after the first "?", without it
    std::vector<Header> headers;

    // Finds a header by name without regard to case; null when absent.
    const Header* findHeader(const std::string& name) const;
    // Splits `target` into path and query (an absolute "http://host/p?q" target too).
    void deriveUrl();

    // ---- URL mapping, after the preprocessing notification ----
    Mapping mapping;

    // ---- authentication ----
    std::string authType;  // "Basic" or ""
    std::string user;      // after the authentication notification
    std::string password;

    // ---- response ----
    bool responseStarted = false;        // status line sent: the server frames nothing more
    bool finished = false;               // a filter ended the request
    bool keepConnection = false;         // with `finished`: SF_STATUS_REQ_FINISHED_KEEP_CONN
    std::string pendingResponseHeaders;  // from AddResponseHeaders, sent with the status line
    int status = 0;                      // for the access log
    std::string logTarget;               // for the access log; a filter may replace them
    std::string logParameters;

    // Sends "HTTP/1.1 <status>\r\n" (status text as given, "200 OK" when null), the
    // headers filters added, then `headers` as given. False when the client is gone.
    bool sendResponseHeader(const char* statusText, const char* headers);

    // Memory a filter asked for with AllocMem: freed when the request ends.
    void* allocate(size_t size);

  private:
    std::vector<std::unique_ptr<uint8_t[]>> allocations_;
};

}  // namespace isapihost

#endif  // ISAPIHOST_HOST_REQUEST_CONTEXT_H
