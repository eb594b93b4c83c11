#include "stand-ins/isapihost/host/extension_call.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "stand-ins/isapihost/http/responses.h"
#include "stand-ins/isapihost/host/server_variables.h"

namespace isapihost {

ExtensionCall::ExtensionCall(RequestContext& request) : request_(request) {
    std::memset(&ecb_, 0, sizeof ecb_);
    method_ = request.method;
    queryString_ = request.queryString;
    serverVariable(request, "PATH_INFO", &pathInfo_);
    serverVariable(request, "PATH_TRANSLATED", &pathTranslated_);
    serverVariable(request, "CONTENT_TYPE", &contentType_);
    bodyLeft_ = request.exchange.head().contentLength;

    ecb_.cbSize = sizeof ecb_;
    ecb_.dwVersion = HSE_VERSION;
    ecb_.ConnID = this;
    ecb_.dwHttpStatusCode = 200;
    ecb_.lpszMethod = method_.data();
    ecb_.lpszQueryString = queryString_.data();
    ecb_.lpszPathInfo = pathInfo_.data();
    ecb_.lpszPathTranslated = pathTranslated_.data();
    ecb_.lpszContentType = contentType_.data();
    ecb_.cbTotalBytes = static_cast<DWORD>(std::min<uint64_t>(bodyLeft_, 0xFFFFFFFFu));
    ecb_.GetServerVariable = getServerVariable;
    ecb_.WriteClient = writeClient;
    ecb_.ReadClient = readClient;
    ecb_.ServerSupportFunction = serverSupportFunction;
}

ExtensionCall* ExtensionCall::of(HCONN connection) {
    return static_cast<ExtensionCall*>(connection);
}

void ExtensionCall::readAhead() {
    preloaded_.resize(static_cast<size_t>(std::min<uint64_t>(bodyLeft_, kReadAheadBytes)));
    size_t have = 0;
    while (have < preloaded_.size()) {
        ssize_t got =
            request_.exchange.readSome(preloaded_.data() + have, preloaded_.size() - have);
        if (got <= 0) {
            clientGone_ = true;
            break;
        }
        have += static_cast<size_t>(got);
    }
    preloaded_.resize(have);
    bodyLeft_ -= have;
    ecb_.cbAvailable = static_cast<DWORD>(have);
    ecb_.lpbData = preloaded_.empty() ? nullptr : preloaded_.data();
}

AfterResponse ExtensionCall::run(PFN_HTTPEXTENSIONPROC proc) {
    readAhead();
    DWORD result = proc(&ecb_);
    if (result == HSE_STATUS_PENDING) {
        // The extension finishes the request on a thread of its own and says so with
        // HSE_REQ_DONE_WITH_SESSION.
        std::unique_lock<std::mutex> lock(doneMutex_);
        doneSignal_.wait(lock, [this] { return done_; });
    }
    request_.status = static_cast<int>(ecb_.dwHttpStatusCode);
    bool keep = result == HSE_STATUS_SUCCESS_AND_KEEP_CONN && bodyLeft_ == 0 && !clientGone_ &&
                !closeRequested_;
    return keep ? AfterResponse::KeepAlive : AfterResponse::Close;
}

BOOL WINAPI ExtensionCall::getServerVariable(HCONN connection, LPSTR name, LPVOID buffer,
                                             LPDWORD size) {
    return copyServerVariable(of(connection)->request_, name, buffer, size);
}

BOOL WINAPI ExtensionCall::writeClient(HCONN connection, LPVOID buffer, LPDWORD bytes,
                                       DWORD flags) {
    if (bytes == nullptr || (buffer == nullptr && *bytes != 0) || (flags & HSE_IO_ASYNC)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ExtensionCall* call = of(connection);
    call->request_.responseStarted = true;
    if (!call->request_.exchange.writeAll(buffer, *bytes)) {
        SetLastError(ERROR_NETNAME_DELETED);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI ExtensionCall::readClient(HCONN connection, LPVOID buffer, LPDWORD size) {
    if (size == nullptr || (buffer == nullptr && *size != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ExtensionCall* call = of(connection);
    // At the end of the body: TRUE with 0 bytes, and the next pipelined request stays unread.
    if (call->bodyLeft_ == 0 || call->clientGone_ || *size == 0) {
        *size = 0;
        return TRUE;
    }
    size_t wanted = static_cast<size_t>(std::min<uint64_t>(*size, call->bodyLeft_));
    ssize_t got = call->request_.exchange.readSome(buffer, wanted);
    if (got < 0) {
        *size = 0;
        SetLastError(ERROR_TIMEOUT);
        return FALSE;
    }
    if (got == 0) {
        call->clientGone_ = true;  // the client closed: 0 bytes, as IIS reports it
    }
    call->bodyLeft_ -= static_cast<uint64_t>(got);
    *size = static_cast<DWORD>(got);
    return TRUE;
}

BOOL ExtensionCall::mapUrlToPath(LPVOID buffer, LPDWORD size) {
    if (buffer == nullptr || size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    char* text = static_cast<char*>(buffer);
    std::string url(text, strnlen(text, *size));
    std::string path = physicalPathOf(request_.site, url);
    return copyText(path, buffer, size);
}

BOOL ExtensionCall::redirect(LPVOID url) {
    if (url == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    request_.responseStarted = true;
    ecb_.dwHttpStatusCode = 302;
    sendRedirect(request_.exchange, static_cast<const char*>(url));
    return TRUE;
}

BOOL WINAPI ExtensionCall::serverSupportFunction(HCONN connection, DWORD request, LPVOID buffer,
                                                 LPDWORD size, LPDWORD dataType) {
    ExtensionCall* call = of(connection);
    switch (request) {
        case HSE_REQ_SEND_RESPONSE_HEADER:
            // The status text is read up to its zero ("200 OK" when null); lpdwSize is
            // ignored, as IIS ignores it.
            if (!call->request_.sendResponseHeader(static_cast<const char*>(buffer),
                                                   reinterpret_cast<const char*>(dataType))) {
                SetLastError(ERROR_NETNAME_DELETED);
                return FALSE;
            }
            return TRUE;
        case HSE_REQ_MAP_URL_TO_PATH:
            return call->mapUrlToPath(buffer, size);
        case HSE_REQ_SEND_URL_REDIRECT_RESP:
            return call->redirect(buffer);
        case HSE_REQ_CLOSE_CONNECTION:
            // The connection goes when the call is over, whatever the extension answers.
            call->closeRequested_ = true;
            return TRUE;
        case HSE_REQ_DONE_WITH_SESSION: {
            std::lock_guard<std::mutex> lock(call->doneMutex_);
            call->done_ = true;
            call->doneSignal_.notify_all();
            return TRUE;
        }
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
    }
}

}  // namespace isapihost
