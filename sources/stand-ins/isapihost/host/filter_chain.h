// The ISAPI filters of the server: loaded once at start in load order, called for the
// notifications they subscribe to in priority order, terminated and unloaded at stop.
//
// Thread safety: load() and terminate() on the main thread (COM initialised) while no
// request runs; notify() from any number of worker threads at once.
#ifndef ISAPIHOST_HOST_FILTER_CHAIN_H
#define ISAPIHOST_HOST_FILTER_CHAIN_H

#include <windows.h>
#include <httpfilt.h>

#include <memory>
#include <string>
#include <vector>

#include "stand-ins/isapihost/host/request_context.h"

namespace isapihost {

struct FilterRegistration {
    std::string name;       // the filter's key under /LM/W3SVC/Filters
    std::string imagePath;  // MD_FILTER_IMAGE_PATH
};

struct LoadedFilter {
    std::string name;
    std::string imagePath;
    HMODULE module = nullptr;
    PFN_HTTPFILTERPROC proc = nullptr;
    PFN_TERMINATEFILTER terminate = nullptr;  // optional export
    DWORD flags = 0;                          // from GetFilterVersion
    std::string description;
};

// How a notification ended for the request.
enum class FilterOutcome {
    Continue,                // every filter asked for the next notification (or handled it)
    Finished,                // a filter ended the response: close the connection
    FinishedKeepConnection,  // a filter ended the response and keeps the connection
    Error,                   // a filter failed the request: 500 and close
};

class FilterChain {
  public:
    FilterChain() = default;
    ~FilterChain();
    FilterChain(const FilterChain&) = delete;
    FilterChain& operator=(const FilterChain&) = delete;

    // Loads the filters in load order; a filter that cannot be loaded or whose
    // GetFilterVersion fails is reported on stderr and left out.
    void load(const std::vector<FilterRegistration>& filters);
    // TerminateFilter (when exported), then FreeLibrary, for every filter.
    void terminate();

    const std::vector<LoadedFilter>& filters() const { return filters_; }

  private:
    friend class FilterRequest;
    std::vector<LoadedFilter> filters_;  // in calling order: priority, then load order
};

// What the ServerContext of an HTTP_FILTER_CONTEXT points at: the context itself and its
// request, so that the callbacks find their way back.
struct FilterSlot {
    HTTP_FILTER_CONTEXT context;
    RequestContext* request;
};

// One request's view of the chain: the filter contexts that live as long as the request
// (pFilterContext keeps a filter's own data between notifications).
class FilterRequest {
  public:
    FilterRequest(const FilterChain& chain, RequestContext& request);
    FilterRequest(const FilterRequest&) = delete;
    FilterRequest& operator=(const FilterRequest&) = delete;

    FilterOutcome notify(DWORD notificationType, void* notification);

    // The callbacks' way back from an HTTP_FILTER_CONTEXT to the request.
    static RequestContext* requestOf(HTTP_FILTER_CONTEXT* context);

  private:
    const FilterChain& chain_;
    RequestContext& request_;
    std::vector<std::unique_ptr<FilterSlot>> slots_;
};

// The record of the preprocessing notification, with IIS's GetHeader, SetHeader and
// AddHeader behaviour (filter_headers.cpp).
HTTP_FILTER_PREPROC_HEADERS makePreprocHeaders();

}  // namespace isapihost

#endif  // ISAPIHOST_HOST_FILTER_CHAIN_H
