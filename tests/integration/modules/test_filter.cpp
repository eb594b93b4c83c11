// A filter for the isapihost tests. What it does depends on the request:
//   URL /rewrite/...    adds "X-Test-Marker:" with the URL as sent and rewrites the URL to
//                       /Scripts/TestExtension.dll?echo
//   URL /finish         answers itself and ends the request (SF_STATUS_REQ_FINISHED);
//   URL /finish-keep    the same, keeping the connection
//   URL /filter-error   fails the request (SF_STATUS_REQ_ERROR)
//   header X-Test-User  becomes the user name in the authentication notification
//   log notification    a request with the marker is logged with the marker's path and
//                       query as target and parameters
#include <windows.h>
#include <httpfilt.h>

#include <cstring>
#include <string>

namespace {

bool startsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

DWORD preprocHeaders(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers) {
    char url[4096];
    DWORD size = sizeof url;
    if (!headers->GetHeader(pfc, const_cast<char*>("URL"), url, &size)) {
        return SF_STATUS_REQ_ERROR;
    }
    if (startsWith(url, "/rewrite/")) {
        headers->AddHeader(pfc, const_cast<char*>("X-Test-Marker:"), url);
        headers->SetHeader(pfc, const_cast<char*>("URL"),
                           const_cast<char*>("/Scripts/TestExtension.dll?echo"));
        return SF_STATUS_REQ_NEXT_NOTIFICATION;
    }
    if (startsWith(url, "/finish")) {
        bool keep = startsWith(url, "/finish-keep");
        const char* body = "finished by the filter\n";
        std::string head =
            "Content-Type: text/plain\r\nContent-Length: " + std::to_string(std::strlen(body)) +
            "\r\n\r\n";
        pfc->ServerSupportFunction(pfc, SF_REQ_SEND_RESPONSE_HEADER, nullptr,
                                   reinterpret_cast<ULONG_PTR>(head.c_str()), 0);
        DWORD length = static_cast<DWORD>(std::strlen(body));
        pfc->WriteClient(pfc, const_cast<char*>(body), &length, 0);
        return keep ? SF_STATUS_REQ_FINISHED_KEEP_CONN : SF_STATUS_REQ_FINISHED;
    }
    if (startsWith(url, "/filter-error")) {
        return SF_STATUS_REQ_ERROR;
    }
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

DWORD authentication(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_AUTHENT* authent) {
    char user[256];
    DWORD size = sizeof user;
    if (pfc->GetServerVariable(pfc, const_cast<char*>("HTTP_X_TEST_USER"), user, &size) &&
        size < authent->cbUserBuff) {
        std::memcpy(authent->pszUser, user, size);
    }
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

DWORD log(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_LOG* record) {
    char marker[1024];
    DWORD size = sizeof marker;
    if (!pfc->GetServerVariable(pfc, const_cast<char*>("HTTP_X_TEST_MARKER"), marker, &size)) {
        return SF_STATUS_REQ_NEXT_NOTIFICATION;
    }
    // The record's texts must outlive the notification: the server's memory holds them.
    auto copy = [pfc](const std::string& text) {
        return static_cast<char*>(
            std::memcpy(pfc->AllocMem(pfc, text.size() + 1, 0), text.c_str(), text.size() + 1));
    };
    std::string value = marker;
    auto question = value.find('?');
    record->pszTarget = copy(value.substr(0, question));
    record->pszParameters = copy(question == std::string::npos ? "" : value.substr(question + 1));
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

}  // namespace

extern "C" {

BOOL WINAPI GetFilterVersion(HTTP_FILTER_VERSION* version) {
    version->dwFilterVersion = HTTP_FILTER_REVISION;
    std::strcpy(version->lpszFilterDesc, "isapihost test filter");
    version->dwFlags = SF_NOTIFY_ORDER_DEFAULT | SF_NOTIFY_PREPROC_HEADERS |
                       SF_NOTIFY_AUTHENTICATION | SF_NOTIFY_LOG | SF_NOTIFY_SECURE_PORT |
                       SF_NOTIFY_NONSECURE_PORT;
    return TRUE;
}

DWORD WINAPI HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD type, VOID* notification) {
    switch (type) {
        case SF_NOTIFY_PREPROC_HEADERS:
            return preprocHeaders(pfc, static_cast<HTTP_FILTER_PREPROC_HEADERS*>(notification));
        case SF_NOTIFY_AUTHENTICATION:
            return authentication(pfc, static_cast<HTTP_FILTER_AUTHENT*>(notification));
        case SF_NOTIFY_LOG:
            return log(pfc, static_cast<HTTP_FILTER_LOG*>(notification));
        default:
            return SF_STATUS_REQ_NEXT_NOTIFICATION;
    }
}

}  // extern "C"
