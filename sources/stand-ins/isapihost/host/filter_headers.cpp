// GetHeader, SetHeader and AddHeader of the preprocessing notification.
//
// Names: "URL", "method" and "version" (any letter case) address the request line; any
// other name is a header name, given with or without its final ":", matched without
// regard to case.
//   GetHeader   "URL" is the request target exactly as the client sent it (or as a filter
//               set it): query string and absolute form included.
//   SetHeader   replaces (the first header of that name; later ones are removed); an empty
//               value removes the header. Setting "URL" derives URL, QUERY_STRING and the
//               URL mapping anew.
//   AddHeader   appends a header; when the name is already present, the value is added to
//               the present one after ", ", as HTTP allows repeated headers to be combined.
#include <strings.h>

#include <string>

#include "stand-ins/isapihost/host/filter_chain.h"
#include "stand-ins/isapihost/host/server_variables.h"

namespace isapihost {

namespace {

enum class Field { Url, Method, Version, Header };

Field fieldOf(const char* name, std::string* headerName) {
    if (strcasecmp(name, "url") == 0)
        return Field::Url;
    if (strcasecmp(name, "method") == 0)
        return Field::Method;
    if (strcasecmp(name, "version") == 0)
        return Field::Version;
    *headerName = name;
    if (!headerName->empty() && headerName->back() == ':') {
        headerName->pop_back();
    }
    return Field::Header;
}

bool validHeaderText(const std::string& text) {
    return text.find_first_of("\r\n") == std::string::npos;
}

std::string versionOf(const RequestContext& request) {
    const RequestHead& head = request.exchange.head();
    return "HTTP/" + std::to_string(head.versionMajor) + "." + std::to_string(head.versionMinor);
}

BOOL WINAPI getHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer, LPDWORD size) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const RequestContext& request = *FilterRequest::requestOf(pfc);
    std::string headerName;
    switch (fieldOf(name, &headerName)) {
        case Field::Url:
            return copyText(request.target, buffer, size);
        case Field::Method:
            return copyText(request.method, buffer, size);
        case Field::Version:
            return copyText(versionOf(request), buffer, size);
        case Field::Header:
            break;
    }
    const Header* header = request.findHeader(headerName);
    if (header == nullptr) {
        SetLastError(ERROR_INVALID_INDEX);
        return FALSE;
    }
    return copyText(header->value, buffer, size);
}

void removeHeaders(RequestContext& request, const std::string& name, bool keepFirst) {
    bool kept = false;
    for (auto it = request.headers.begin(); it != request.headers.end();) {
        if (strcasecmp(it->name.c_str(), name.c_str()) == 0 && (!keepFirst || kept)) {
            it = request.headers.erase(it);
        } else {
            kept = kept || strcasecmp(it->name.c_str(), name.c_str()) == 0;
            ++it;
        }
    }
}

BOOL WINAPI setHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value) {
    if (name == nullptr || value == nullptr || !validHeaderText(value)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RequestContext& request = *FilterRequest::requestOf(pfc);
    std::string headerName;
    switch (fieldOf(name, &headerName)) {
        case Field::Url:
            if (value[0] == '\0') {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            request.target = value;
            request.deriveUrl();
            return TRUE;
        case Field::Method:
            request.method = value;
            return TRUE;
        case Field::Version:
            return TRUE;  // the version the client spoke stays what the server answers in
        case Field::Header:
            break;
    }
    if (headerName.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (value[0] == '\0') {
        removeHeaders(request, headerName, false);
        return TRUE;
    }
    removeHeaders(request, headerName, true);
    for (Header& header : request.headers) {
        if (strcasecmp(header.name.c_str(), headerName.c_str()) == 0) {
            header.value = value;
            return TRUE;
        }
    }
    request.headers.push_back({headerName, value});
    return TRUE;
}

BOOL WINAPI addHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value) {
    if (name == nullptr || value == nullptr || !validHeaderText(value)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RequestContext& request = *FilterRequest::requestOf(pfc);
    std::string headerName;
    if (fieldOf(name, &headerName) != Field::Header || headerName.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (Header& header : request.headers) {
        if (strcasecmp(header.name.c_str(), headerName.c_str()) == 0) {
            header.value += ", ";
            header.value += value;
            return TRUE;
        }
    }
    request.headers.push_back({headerName, value});
    return TRUE;
}

}  // namespace

HTTP_FILTER_PREPROC_HEADERS makePreprocHeaders() {
    HTTP_FILTER_PREPROC_HEADERS record{};
    record.GetHeader = getHeader;
    record.SetHeader = setHeader;
    record.AddHeader = addHeader;
    record.HttpStatus = 0;
    return record;
}

}  // namespace isapihost
