// The filter's later steps of a routed request: the authentication notification, where the
// engine may refuse the user while IIS security is on, and the log notification, where the
// log record gets the URL the client asked for instead of the extension's.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "native/isapi/entry/connector_state.h"
#include "native/isapi/entry/filter_steps.h"
#include "native/isapi/bridge/iis_security.h"

namespace brevant::isapi {

namespace {

constexpr DWORD kRequestedSize = 1024;  // 1023 passed to IIS
constexpr DWORD kHostSize = 64;         // 63 passed to IIS
constexpr char kRefusedUser[] = "Brevant Not Authorized";

// The requested URL from the marker header, at whatever size it needs: a long query string
// must not hide the URL from the engine's check. Nothing when the request is not routed.
std::optional<std::string> readRequestedURL(HTTP_FILTER_CONTEXT* pfc) {
    char name[] = "HTTP_X_BREVANT_REQUEST";
    char buffer[kRequestedSize];
    DWORD size = kRequestedSize - 1;
    if (pfc->GetServerVariable(pfc, name, buffer, &size)) {
        return std::string(buffer, strnlen(buffer, kRequestedSize - 1));
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
        return std::nullopt;
    }
    const DWORD needed = size;
    auto large = std::make_unique<char[]>(needed);
    if (!pfc->GetServerVariable(pfc, name, large.get(), &size)) {
        return std::nullopt;
    }
    return std::string(large.get(), strnlen(large.get(), needed));
}

}  // namespace

DWORD authorizeRequest(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_AUTHENT* authent) {
    CBrevantISAPI* bridge = engineBridge.load();
    if (!iisSecurityEnabled || bridge == nullptr) {
        return SF_STATUS_REQ_NEXT_NOTIFICATION;
    }
    std::optional<std::string> requested = readRequestedURL(pfc);
    if (!requested) {
        return SF_STATUS_REQ_NEXT_NOTIFICATION;  // not for the engine
    }
    char hostName[] = "HTTP_HOST";
    char hostText[kHostSize];
    DWORD hostSize = kHostSize - 1;
    const char* host = nullptr;  // an unreadable host does not skip the check
    if (pfc->GetServerVariable(pfc, hostName, hostText, &hostSize)) {
        hostText[kHostSize - 1] = '\0';
        host = hostText;
    }
    if (!bridge->authIISRequest(requested->c_str(), host, authent->pszUser, authent->pszPassword)) {
        // The logon IIS then performs with this user fails, and the request is refused. IIS's
        // buffer holds the name whole; a smaller one still gets a name no account has.
        if (authent->pszUser != nullptr && authent->cbUserBuff > 1) {
            size_t length = std::min<size_t>(sizeof kRefusedUser - 1, authent->cbUserBuff - 1);
            std::memcpy(authent->pszUser, kRefusedUser, length);
            authent->pszUser[length] = '\0';
        }
    }
    return SF_STATUS_REQ_HANDLED_NOTIFICATION;
}

DWORD logRequestedURL(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_LOG* log) {
    char name[] = "HTTP_X_BREVANT_REQUEST";
    char requested[kRequestedSize];
    DWORD size = kRequestedSize - 1;
    if (!pfc->GetServerVariable(pfc, name, requested, &size)) {
        return SF_STATUS_REQ_NEXT_NOTIFICATION;  // not routed: logged as IIS wrote it
    }
    // n counts the terminating NUL; never more than the buffer holds.
    size_t n = size < kRequestedSize - 1 ? size : kRequestedSize - 1;
    requested[n] = '\0';
    const void* mark = std::memchr(requested, '?', n);
    size_t targetLength =
        mark != nullptr ? static_cast<size_t>(static_cast<const char*>(mark) - requested) : n;
    size_t queryLength = mark != nullptr ? n - targetLength - 1 : 0;
    // IIS frees both blocks with the request.
    auto* target = static_cast<char*>(pfc->AllocMem(pfc, static_cast<DWORD>(targetLength + 1), 0));
    auto* parameters =
        static_cast<char*>(pfc->AllocMem(pfc, static_cast<DWORD>(queryLength + 1), 0));
    if (target == nullptr || parameters == nullptr) {
        return SF_STATUS_REQ_NEXT_NOTIFICATION;
    }
    std::memcpy(target, requested, targetLength);
    target[targetLength] = '\0';
    std::memcpy(parameters, requested + targetLength + (mark != nullptr ? 1 : 0), queryLength);
    parameters[queryLength] = '\0';
    log->pszTarget = target;
    log->pszParameters = parameters;
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

}  // namespace brevant::isapi
