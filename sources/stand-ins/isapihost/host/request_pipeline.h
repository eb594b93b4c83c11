// The way of one request through isapihost, phase by phase:
//
//   1. preprocessing notification  filters read and change the request line and headers
//   2. URL mapping                 virtual directory, physical path, extension or file
//   3. authentication notification filters see the Basic credentials; a named user must
//                                  then log on against the site's users, else 401
//   4. content                     the extension, or a static file / default document
//   5. log notification            filters may change target, parameters and status;
//                                  then the access-log line is written
//   6. end-of-request notification
//
// A filter that finishes the request or fails it skips to phase 5.
//
// Thread safety: handle() runs on many worker threads at once; the sites, filters and the
// access log it shares are safe for that.
#ifndef ISAPIHOST_HOST_REQUEST_PIPELINE_H
#define ISAPIHOST_HOST_REQUEST_PIPELINE_H

#include <vector>

#include "stand-ins/isapihost/http/access_log.h"
#include "stand-ins/isapihost/http/exchange.h"
#include "stand-ins/isapihost/host/extension_host.h"
#include "stand-ins/isapihost/host/filter_chain.h"
#include "stand-ins/isapihost/host/site.h"

namespace isapihost {

class RequestPipeline : public RequestHandler {
  public:
    // `accessLog` may be null (no access log).
    RequestPipeline(const std::vector<Site>& sites, const FilterChain& filters,
                    ExtensionHost& extensions, AccessLog* accessLog);

    AfterResponse handle(Exchange& exchange) override;

  private:
    const Site& siteFor(uint16_t localPort) const;
    AfterResponse serve(RequestContext& request, FilterRequest& filters);
    AfterResponse authenticate(RequestContext& request, FilterRequest& filters, bool* denied);
    AfterResponse serveContent(RequestContext& request);
    AfterResponse serveStatic(RequestContext& request);
    AfterResponse afterFilter(RequestContext& request, FilterOutcome outcome);
    void log(RequestContext& request, FilterRequest& filters, uint64_t milliseconds);

    const std::vector<Site>& sites_;
    const FilterChain& filters_;
    ExtensionHost& extensions_;
    AccessLog* accessLog_;
};

}  // namespace isapihost

#endif  // ISAPIHOST_HOST_REQUEST_PIPELINE_H
