// Routing, the preprocessing notification, in the order its tests run: the client's own
// markers dropped, the URL read and made relative, the failure page after a failed start,
// then servlet URLs and directory URLs whose default document is a servlet, each marked
// with the requested URL and rewritten to the extension's URL.
#include <cstring>
#include <string>

#include "native/isapi/entry/connector_state.h"
#include "native/isapi/entry/failure_pages.h"
#include "native/isapi/entry/filter_steps.h"
#include "native/isapi/log/native_log.h"
#include "native/common/request_marking.h"

namespace brevant::isapi {

namespace {

constexpr DWORD kUrlSize = 4096;
constexpr DWORD kHostSize = 64;
constexpr char kServletPrefix[] = "/servlet/";

bool isUnderServlet(const char* url) {
    return std::strncmp(url, kServletPrefix, sizeof kServletPrefix - 1) == 0;
}

DWORD sendInitializationFailedPage(HTTP_FILTER_CONTEXT* pfc) {
    char headers[] = "Content-type: text/html\r\n\r\n";
    if (!pfc->ServerSupportFunction(pfc, SF_REQ_SEND_RESPONSE_HEADER, nullptr,
                                    reinterpret_cast<ULONG_PTR>(headers), 0)) {
        logMessage("HttpFilterProc(): AddResponseHeader failed.");
        return SF_STATUS_REQ_ERROR;
    }
    std::string page = initializationFailedPage(initErrorMessage);
    DWORD length = static_cast<DWORD>(page.size());
    if (!pfc->WriteClient(pfc, page.data(), &length, 0)) {
        logMessage("HttpFilterProc(): WriteClient failed.");
        return SF_STATUS_REQ_ERROR;
    }
    return SF_STATUS_REQ_FINISHED;
}

// Keeps the requested URL in the marker header and sends the request to the extension.
void markRequest(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers,
                 const std::string& requested, const char* addFailure, const char* setFailure) {
    char markerName[] = "X-Brevant-Request:";
    std::string value = requested;  // IIS takes the texts as writable
    if (!headers->AddHeader(pfc, markerName, value.data())) {
        logMessage(addFailure);
    }
    char urlName[] = "URL";
    std::string target = extensionURL;
    if (!headers->SetHeader(pfc, urlName, target.data())) {
        logMessage(setFailure);
    }
}

}  // namespace

DWORD routeRequest(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers) {
    // Only this filter may say which URL the client asked for: a client's own marker, under
    // any spelling, would forge the URL the engine sees, also at the extension's own URL.
    common::removeClientHeaders(pfc, headers, common::kRequestMarkerSpellings);

    char urlName[] = "URL";
    char url[kUrlSize];
    DWORD size = kUrlSize;
    if (!headers->GetHeader(pfc, urlName, url, &size)) {
        logMessage("HttpFilterProc() failed to get URL!!!");
        return SF_STATUS_REQ_ERROR;
    }
    url[kUrlSize - 1] = '\0';
    common::stripAbsoluteForm(url);

    CBrevantISAPI* bridge = engineBridge.load();
    if (bridge == nullptr) {
        if (!isUnderServlet(url)) {
            return SF_STATUS_REQ_NEXT_NOTIFICATION;
        }
        return sendInitializationFailedPage(pfc);
    }

    char hostName[] = "Host:";
    char hostText[kHostSize];
    DWORD hostSize = kHostSize;
    const char* host = nullptr;
    if (headers->GetHeader(pfc, hostName, hostText, &hostSize)) {
        hostText[kHostSize - 1] = '\0';
        host = hostText;
    }

    if (bridge->isServletAlias(url, host)) {
        markRequest(pfc, headers, url, "Failed to add X-xxx-Request header.", "Failed to set URL.");
        return SF_STATUS_REQ_NEXT_NOTIFICATION;
    }

    // A directory request: the path before any "?" ends with "/".
    const char* query = std::strchr(url, '?');
    size_t pathLength = query != nullptr ? static_cast<size_t>(query - url) : std::strlen(url);
    if (pathLength == 0 || url[pathLength - 1] != '/') {
        return SF_STATUS_REQ_NEXT_NOTIFICATION;
    }
    std::string defaultURL = bridge->getDefaultURL(std::string(url, pathLength), host, nullptr);
    if (defaultURL.empty()) {
        return SF_STATUS_REQ_NEXT_NOTIFICATION;
    }
    if (query != nullptr) {
        defaultURL += query;
    }
    markRequest(pfc, headers, defaultURL, "Failed to add X-xxx-Request header for default page.",
                "Failed to set URL for default page.");
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

}  // namespace brevant::isapi
