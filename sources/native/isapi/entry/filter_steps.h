// The filter's three notifications, one step of a request's way each. Called by
// HttpFilterProc inside its exception guard, on any IIS thread; each works on its own
// request and reads the connector's process-wide state without a lock.
#ifndef BREVANT_ISAPI_ENTRY_FILTER_STEPS_H
#define BREVANT_ISAPI_ENTRY_FILTER_STEPS_H

#include <windows.h>
#include <httpfilt.h>

namespace brevant::isapi {

// Preprocessing: marks the engine's requests with "X-Brevant-Request:" and rewrites their
// URL to the extension's; after a failed start answers "/servlet/" with the failure page.
DWORD routeRequest(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers);

// Authentication: with IIS security on, lets the engine refuse a routed request's user.
DWORD authorizeRequest(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_AUTHENT* authent);

// Log: a routed request is logged with the URL the client asked for.
DWORD logRequestedURL(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_LOG* log);

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_ENTRY_FILTER_STEPS_H
