// The filter half of Brevant_Adapter: GetFilterVersion loads the group table; HttpFilterProc
// answers the status page, routes each other request to a group's extension call and puts
// the requested URL back into the log record.
//
// GetFilterVersion runs once, on the thread that loads the filter, and alone writes the
// process-wide table. HttpFilterProc runs on any number of IIS threads at once; it works on
// its own stack buffers, reads the table, and carries its decision to the extension only in
// the two headers it adds.
#include "native/adapter/adapter_filter_internal.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "native/adapter/adapter_properties.h"
#include "native/common/basics/ascii_text.h"
#include "native/adapter/caught_messages.h"
#include "native/adapter/connection_pool.h"
#include "native/adapter/debug_output.h"
#include "native/adapter/instance_addresses.h"
#include "native/common/request_marking.h"
#include "native/adapter/routing.h"
#include "native/adapter/status_page.h"

namespace brevant::adapter {

namespace {

constexpr DWORD kUrlSize = 4096;
constexpr DWORD kHostSize = 64;
constexpr DWORD kRequestSize = 1024;  // 1023 passed to IIS
constexpr char kExtensionUrl[] = "/Scripts/Brevant_Adapter.dll";

// The "Host:" header in lower case, or "default" when it is absent or does not fit.
void readHostText(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers,
                  char (&host)[kHostSize]) {
    char name[] = "Host:";
    DWORD size = kHostSize;
    if (!headers->GetHeader(pfc, name, host, &size)) {
        std::snprintf(host, kHostSize, "%s", "default");
        return;
    }
    host[kHostSize - 1] = '\0';
    for (char* c = host; *c != '\0'; ++c) {
        *c = ascii::toLower(*c);
    }
}

// Hands the request to the extension: the requested URL and the group travel in headers.
void markRequest(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers, char* url,
                 int group) {
    char requestName[] = "X-Brevant-Request:";
    if (!headers->AddHeader(pfc, requestName, url)) {
        debugOut("Brevant: failed to add X-Brevant-Request header.\n");
    }
    char urlName[] = "URL";
    char extensionUrl[sizeof kExtensionUrl];
    std::memcpy(extensionUrl, kExtensionUrl, sizeof kExtensionUrl);
    if (!headers->SetHeader(pfc, urlName, extensionUrl)) {
        debugOut("Brevant: failed to set URL.\n");
    }
    char groupName[] = "X-Brevant-Group:";
    char number[16];
    std::snprintf(number, sizeof number, "%d", group);
    if (!headers->AddHeader(pfc, groupName, number)) {
        debugOut("Brevant: failed to add X-Brevant-Group header.\n");
    }
}

// The status page, when brevant.status names this path (the query aside) and the admin page
// is on; answered whatever the groups would do with the URL.
bool sentStatusPage(const GroupTable& table, HTTP_FILTER_CONTEXT* pfc, std::string_view url) {
    if (table.statusPath.empty() || !table.adminEnabled) {
        return false;
    }
    size_t query = url.find('?');
    if (url.substr(0, query) != table.statusPath) {
        return false;
    }
    sendStatusPage(table, pfc, query != std::string_view::npos && url.substr(query + 1) == "json");
    return true;
}

DWORD onPreprocHeaders(const GroupTable& table, HTTP_FILTER_CONTEXT* pfc,
                       HTTP_FILTER_PREPROC_HEADERS* headers) {
    // Only the filter may mark a request: a client's markers would steer the extension to
    // any group or forge the URL an instance sees.
    common::removeClientHeaders(pfc, headers, common::kRequestMarkerSpellings);
    common::removeClientHeaders(pfc, headers, common::kGroupMarkerSpellings);

    char urlName[] = "URL";
    char url[kUrlSize] = {};
    DWORD size = kUrlSize;
    if (!headers->GetHeader(pfc, urlName, url, &size)) {
        return SF_STATUS_REQ_NEXT_NOTIFICATION;
    }
    url[kUrlSize - 1] = '\0';
    common::stripAbsoluteForm(url);

    if (sentStatusPage(table, pfc, url)) {
        return SF_STATUS_REQ_FINISHED;
    }

    char host[kHostSize] = {};
    readHostText(pfc, headers, host);

    int group = kNoGroup;
    if (table.groupCount > 1) {
        group = findAdminGroup(table, url, pfc);
        if (group == kAdminPageSent) {
            return SF_STATUS_REQ_FINISHED;
        }
    }
    if (group == kNoGroup) {
        group = selectGroup(table, url, host);
    }
    if (group != kNoGroup) {
        markRequest(pfc, headers, url, group);
    }
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

// IIS would log the extension's URL; the log shows what the client asked for instead.
DWORD onLog(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_LOG* log) {
    char name[] = "HTTP_X_BREVANT_REQUEST";
    char request[kRequestSize] = {};
    DWORD size = kRequestSize - 1;
    if (!pfc->GetServerVariable(pfc, name, request, &size)) {
        return SF_STATUS_REQ_NEXT_NOTIFICATION;  // not routed, or too long to read
    }
    const char* query = std::strchr(request, '?');
    size_t targetLength = query == nullptr ? std::strlen(request) : query - request;
    const char* parameters = query == nullptr ? "" : query + 1;
    size_t parametersLength = std::strlen(parameters);
    // IIS frees these with the request.
    auto* target = static_cast<char*>(pfc->AllocMem(pfc, static_cast<DWORD>(targetLength + 1), 0));
    auto* copied =
        static_cast<char*>(pfc->AllocMem(pfc, static_cast<DWORD>(parametersLength + 1), 0));
    if (target == nullptr || copied == nullptr) {
        return SF_STATUS_REQ_NEXT_NOTIFICATION;
    }
    std::memcpy(target, request, targetLength);
    target[targetLength] = '\0';
    std::memcpy(copied, parameters, parametersLength + 1);
    log->pszTarget = target;
    log->pszParameters = copied;
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

}  // namespace

DWORD handleFilterNotification(const GroupTable& table, HTTP_FILTER_CONTEXT* pfc,
                               DWORD notificationType, VOID* notification) {
    // The messages name HttpExtensionProc, as this filter's always have.
    return guardEntryPoint(
        DWORD(SF_STATUS_REQ_ERROR), kHttpExtensionProcCaught, debugOut, [&]() -> DWORD {
            switch (notificationType) {
                case SF_NOTIFY_PREPROC_HEADERS:
                    return onPreprocHeaders(
                        table, pfc, static_cast<HTTP_FILTER_PREPROC_HEADERS*>(notification));
                case SF_NOTIFY_LOG:
                    return onLog(pfc, static_cast<HTTP_FILTER_LOG*>(notification));
                default:
                    return SF_STATUS_REQ_NEXT_NOTIFICATION;
            }
        });
}

}  // namespace brevant::adapter

using namespace brevant::adapter;

extern "C" BOOL WINAPI GetFilterVersion(HTTP_FILTER_VERSION* version) {
    debugOut("BrevantISAPIAdapter::GetFilterVersion() invoked.\n");
    version->dwFilterVersion = 0x40000;
    std::snprintf(version->lpszFilterDesc, sizeof version->lpszFilterDesc, "%s", "Brevant Filter");
    version->dwFlags = SF_NOTIFY_ORDER_LOW | SF_NOTIFY_PREPROC_HEADERS | SF_NOTIFY_LOG |
                       SF_NOTIFY_NONSECURE_PORT | SF_NOTIFY_SECURE_PORT;
    // The filter stays loaded whatever happens here: without a table it routes nothing.
    return brevant::guardEntryPoint(BOOL(TRUE), kGetFilterVersionCaught, debugOut, [] {
        processGroupTable = GroupTable();  // as a freshly loaded module has it
        loadProperties(processGroupTable);
        supplyDefaults(processGroupTable);
        resolveInstances(processGroupTable);
        createConnectionPools(processGroupTable);
        return BOOL(TRUE);
    });
}

extern "C" DWORD WINAPI HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD notificationType,
                                       VOID* notification) {
    return handleFilterNotification(processGroupTable, pfc, notificationType, notification);
}
