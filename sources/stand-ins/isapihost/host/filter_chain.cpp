// Loading filters and calling them for a notification.
#include "stand-ins/isapihost/host/filter_chain.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "stand-ins/isapihost/host/server_variables.h"

namespace isapihost {

namespace {

// GCC wants casts between unrelated function types to pass through void(*)().
template <typename Function>
Function procAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

int priorityRank(DWORD flags) {
    if (flags & SF_NOTIFY_ORDER_HIGH)
        return 0;
    if (flags & SF_NOTIFY_ORDER_MEDIUM)
        return 1;
    return 2;  // SF_NOTIFY_ORDER_LOW, the default
}

// ---- the HTTP_FILTER_CONTEXT callbacks ----

BOOL WINAPI filterGetServerVariable(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer,
                                    LPDWORD size) {
    return copyServerVariable(*FilterRequest::requestOf(pfc), name, buffer, size);
}

BOOL WINAPI filterAddResponseHeaders(HTTP_FILTER_CONTEXT* pfc, LPSTR headers, DWORD) {
    if (headers == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    FilterRequest::requestOf(pfc)->pendingResponseHeaders += headers;
    return TRUE;
}

BOOL WINAPI filterWriteClient(HTTP_FILTER_CONTEXT* pfc, LPVOID buffer, LPDWORD bytes, DWORD) {
    if (bytes == nullptr || (buffer == nullptr && *bytes != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RequestContext* request = FilterRequest::requestOf(pfc);
    request->responseStarted = true;
    if (!request->exchange.writeAll(buffer, *bytes)) {
        SetLastError(ERROR_NETNAME_DELETED);
        return FALSE;
    }
    return TRUE;
}

VOID* WINAPI filterAllocMem(HTTP_FILTER_CONTEXT* pfc, DWORD size, DWORD) {
    return FilterRequest::requestOf(pfc)->allocate(size);
}

BOOL WINAPI filterServerSupportFunction(HTTP_FILTER_CONTEXT* pfc, enum SF_REQ_TYPE request,
                                        PVOID data, ULONG_PTR ul1, ULONG_PTR) {
    if (request != SF_REQ_SEND_RESPONSE_HEADER) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RequestContext* context = FilterRequest::requestOf(pfc);
    if (!context->sendResponseHeader(static_cast<const char*>(data),
                                     reinterpret_cast<const char*>(ul1))) {
        SetLastError(ERROR_NETNAME_DELETED);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

// ---- the chain ----

FilterChain::~FilterChain() {
    terminate();
}

void FilterChain::load(const std::vector<FilterRegistration>& filters) {
    for (const FilterRegistration& registration : filters) {
        LoadedFilter filter;
        filter.name = registration.name;
        filter.imagePath = registration.imagePath;
        filter.module = LoadLibraryA(registration.imagePath.c_str());
        if (filter.module == nullptr) {
            std::fprintf(stderr, "isapihost: filter %s: cannot load %s (error %u)\n",
                         registration.name.c_str(), registration.imagePath.c_str(),
                         static_cast<unsigned>(GetLastError()));
            continue;
        }
        auto getVersion = procAddress<PFN_GETFILTERVERSION>(filter.module, "GetFilterVersion");
        filter.proc = procAddress<PFN_HTTPFILTERPROC>(filter.module, "HttpFilterProc");
        filter.terminate = procAddress<PFN_TERMINATEFILTER>(filter.module, "TerminateFilter");
        HTTP_FILTER_VERSION version;
        std::memset(&version, 0, sizeof version);
        version.dwServerFilterVersion = HTTP_FILTER_REVISION;
        if (getVersion == nullptr || filter.proc == nullptr) {
            std::fprintf(stderr,
                         "isapihost: filter %s: %s exports no GetFilterVersion and "
                         "HttpFilterProc\n",
                         registration.name.c_str(), registration.imagePath.c_str());
            FreeLibrary(filter.module);
            continue;
        }
        if (!getVersion(&version)) {
            std::fprintf(stderr, "isapihost: filter %s: GetFilterVersion failed (error %u)\n",
                         registration.name.c_str(), static_cast<unsigned>(GetLastError()));
            FreeLibrary(filter.module);
            continue;
        }
        version.lpszFilterDesc[sizeof version.lpszFilterDesc - 1] = '\0';
        filter.flags = version.dwFlags;
        filter.description = version.lpszFilterDesc;
        filters_.push_back(filter);
    }
    std::stable_sort(filters_.begin(), filters_.end(),
                     [](const LoadedFilter& a, const LoadedFilter& b) {
                         return priorityRank(a.flags) < priorityRank(b.flags);
                     });
}

void FilterChain::terminate() {
    for (LoadedFilter& filter : filters_) {
        if (filter.terminate != nullptr) {
            filter.terminate(0);
        }
        FreeLibrary(filter.module);
    }
    filters_.clear();
}

// ---- one request ----

FilterRequest::FilterRequest(const FilterChain& chain, RequestContext& request)
    : chain_(chain), request_(request) {
    for (size_t i = 0; i < chain.filters_.size(); ++i) {
        auto slot = std::make_unique<FilterSlot>();
        std::memset(&slot->context, 0, sizeof slot->context);
        slot->request = &request;
        HTTP_FILTER_CONTEXT& context = slot->context;
        context.cbSize = sizeof context;
        context.Revision = HTTP_FILTER_REVISION;
        context.ServerContext = slot.get();
        context.fIsSecurePort = request.exchange.connection().secure ? TRUE : FALSE;
        context.GetServerVariable = filterGetServerVariable;
        context.AddResponseHeaders = filterAddResponseHeaders;
        context.WriteClient = filterWriteClient;
        context.AllocMem = filterAllocMem;
        context.ServerSupportFunction = filterServerSupportFunction;
        slots_.push_back(std::move(slot));
    }
}

RequestContext* FilterRequest::requestOf(HTTP_FILTER_CONTEXT* context) {
    return static_cast<FilterSlot*>(context->ServerContext)->request;
}

FilterOutcome FilterRequest::notify(DWORD notificationType, void* notification) {
    DWORD portKind =
        request_.exchange.connection().secure ? SF_NOTIFY_SECURE_PORT : SF_NOTIFY_NONSECURE_PORT;
    for (size_t i = 0; i < chain_.filters_.size(); ++i) {
        const LoadedFilter& filter = chain_.filters_[i];
        // A filter that names neither port kind is called on both, as IIS does.
        bool anyPort = (filter.flags & (SF_NOTIFY_SECURE_PORT | SF_NOTIFY_NONSECURE_PORT)) == 0;
        if ((filter.flags & notificationType) == 0 || (!anyPort && !(filter.flags & portKind))) {
            continue;
        }
        DWORD result = filter.proc(&slots_[i]->context, notificationType, notification);
        switch (result) {
            case SF_STATUS_REQ_NEXT_NOTIFICATION:
            case SF_STATUS_REQ_READ_NEXT:
                continue;
            case SF_STATUS_REQ_HANDLED_NOTIFICATION:
                return FilterOutcome::Continue;  // no later filter sees this notification
            case SF_STATUS_REQ_FINISHED:
                return FilterOutcome::Finished;
            case SF_STATUS_REQ_FINISHED_KEEP_CONN:
                return FilterOutcome::FinishedKeepConnection;
            default:
                return FilterOutcome::Error;
        }
    }
    return FilterOutcome::Continue;
}

}  // namespace isapihost
