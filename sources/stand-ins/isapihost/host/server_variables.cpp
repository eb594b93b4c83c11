// The server variables of a request.
#include "stand-ins/isapihost/host/server_variables.h"

#include <strings.h>

#include <cstring>

#include "native/common/basics/ascii_text.h"

namespace isapihost {

const char kServerSoftware[] = "isapihost/1.0";

namespace {

std::string upperWithUnderscores(const std::string& name) {
    std::string result = name;
    for (char& c : result) {
        c = c == '-' ? '_' : brevant::ascii::toUpper(c);
    }
    return result;
}

// "HTTP_NAME:value\n" for every header, as IIS forms ALL_HTTP.
std::string allHttp(const RequestContext& request) {
    std::string result;
    for (const Header& header : request.headers) {
        result += "HTTP_" + upperWithUnderscores(header.name) + ":" + header.value + "\n";
    }
    return result;
}

std::string allRaw(const RequestContext& request) {
    std::string result;
    for (const Header& header : request.headers) {
        result += header.name + ": " + header.value + "\r\n";
    }
    return result;
}

// HTTP_<NAME> finds the header whose name, with "_" read as "-", is NAME: a header a
// client spelled with "_" cannot pass for one spelled with "-".
bool httpHeader(const RequestContext& request, const std::string& suffix, std::string* value) {
    std::string wanted = suffix;
    for (char& c : wanted) {
        if (c == '_')
            c = '-';
    }
    const Header* header = request.findHeader(wanted);
    if (header == nullptr) {
        return false;
    }
    *value = header->value;
    return true;
}

std::string serverName(const RequestContext& request) {
    const Header* host = request.findHeader("Host");
    if (host == nullptr || host->value.empty()) {
        return request.exchange.connection().localAddress;
    }
    std::string name = host->value;
    if (name[0] == '[') {  // an IPv6 literal keeps its brackets
        auto close = name.find(']');
        return close == std::string::npos ? name : name.substr(0, close + 1);
    }
    return name.substr(0, name.find(':'));
}

std::string headerValue(const RequestContext& request, const char* name) {
    const Header* header = request.findHeader(name);
    return header != nullptr ? header->value : std::string();
}

}  // namespace

bool serverVariable(const RequestContext& request, const std::string& name, std::string* value) {
    const ConnectionInfo& connection = request.exchange.connection();
    const ClientCertificate& certificate = connection.certificate;
    if (name.rfind("HTTP_", 0) == 0 && name != "HTTP_VERSION") {
        // An absent header fails like an unknown variable, as in IIS: filters rely on it
        // to tell requests that carry a header from those that do not.
        return httpHeader(request, name.substr(5), value);
    }
    if (name == "ALL_HTTP") {
        *value = allHttp(request);
    } else if (name == "ALL_RAW") {
        *value = allRaw(request);
    } else if (name == "REQUEST_METHOD") {
        *value = request.method;
    } else if (name == "URL" || name == "SCRIPT_NAME") {
        *value = request.path;
        if (name == "SCRIPT_NAME" && request.mapping.isExtension) {
            value->resize(value->size() - request.mapping.pathInfo.size());
        }
    } else if (name == "QUERY_STRING") {
        *value = request.queryString;
    } else if (name == "PATH_INFO") {
        *value = request.mapping.isExtension ? request.mapping.pathInfo : request.path;
    } else if (name == "PATH_TRANSLATED") {
        std::string pathInfo =
            request.mapping.isExtension ? request.mapping.pathInfo : request.path;
        *value = pathInfo.empty() ? request.mapping.physicalPath
                                  : physicalPathOf(request.site, pathInfo);
    } else if (name == "SERVER_PROTOCOL" || name == "HTTP_VERSION") {
        const RequestHead& head = request.exchange.head();
        *value =
            "HTTP/" + std::to_string(head.versionMajor) + "." + std::to_string(head.versionMinor);
    } else if (name == "SERVER_NAME") {
        *value = serverName(request);
    } else if (name == "SERVER_PORT") {
        *value = std::to_string(connection.localPort);
    } else if (name == "SERVER_PORT_SECURE") {
        *value = connection.secure ? "1" : "0";
    } else if (name == "HTTPS") {
        *value = connection.secure ? "on" : "off";
    } else if (name == "SERVER_SOFTWARE") {
        *value = kServerSoftware;
    } else if (name == "REMOTE_ADDR" || name == "REMOTE_HOST") {
        *value = connection.remoteAddress;  // no reverse lookup, as IIS by default
    } else if (name == "REMOTE_PORT") {
        *value = std::to_string(connection.remotePort);
    } else if (name == "LOCAL_ADDR") {
        *value = connection.localAddress;
    } else if (name == "REMOTE_USER" || name == "AUTH_USER" || name == "LOGON_USER") {
        *value = request.user;
    } else if (name == "AUTH_TYPE") {
        *value = request.authType;
    } else if (name == "AUTH_PASSWORD") {
        *value = request.password;
    } else if (name == "CONTENT_LENGTH") {
        *value = std::to_string(request.exchange.head().contentLength);
    } else if (name == "CONTENT_TYPE") {
        *value = headerValue(request, "Content-Type");
    } else if (name == "CERT_FLAGS") {
        *value = std::to_string(certificate.flags);
    } else if (name == "CERT_SUBJECT") {
        *value = certificate.subject;
    } else if (name == "CERT_ISSUER") {
        *value = certificate.issuer;
    } else if (name == "CERT_SERIALNUMBER") {
        *value = certificate.serialNumber;
    } else if (name == "CERT_SERVER_SUBJECT") {
        *value = connection.serverCertificateSubject;
    } else if (name == "INSTANCE_ID") {
        *value = std::to_string(request.site.number);
    } else {
        return false;
    }
    return true;
}

BOOL copyText(const std::string& value, void* buffer, DWORD* size) {
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD needed = static_cast<DWORD>(value.size() + 1);
    if (buffer == nullptr || *size < needed) {
        *size = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, value.c_str(), needed);
    *size = needed;
    return TRUE;
}

BOOL copyServerVariable(const RequestContext& request, const char* name, void* buffer,
                        DWORD* size) {
    std::string value;
    if (name == nullptr || !serverVariable(request, name, &value)) {
        SetLastError(ERROR_INVALID_INDEX);
        return FALSE;
    }
    return copyText(value, buffer, size);
}

}  // namespace isapihost
