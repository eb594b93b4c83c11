// An extension for the isapihost tests; the query string picks what it does:
//   echo (or nothing)  the request as the extension sees it, one NAME=value line each
//   upload[&piece=N][&log]  reads the whole body (lpbData, then ReadClient in pieces of N)
//                      and reports what it saw, with the body's CRC-32; with "log" it also
//                      appends the report to the file TEST_EXTENSION_LOG names (the client
//                      may be gone by then)
//   raw                writes bytes with WriteClient only, a status line among them
//   keep               a framed response, then HSE_STATUS_SUCCESS_AND_KEEP_CONN
//   status=N           sets dwHttpStatusCode and answers with that status
//   map=URL            HSE_REQ_MAP_URL_TO_PATH of URL
#include <windows.h>
#include <httpext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "crc32.h"

namespace {

using testsupport::crc32;

std::string variable(EXTENSION_CONTROL_BLOCK* ecb, const char* name) {
    char small[16];
    DWORD size = sizeof small;
    if (ecb->GetServerVariable(ecb->ConnID, const_cast<char*>(name), small, &size)) {
        return small;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return "(error " + std::to_string(GetLastError()) + ")";
    }
    std::vector<char> buffer(size);
    if (!ecb->GetServerVariable(ecb->ConnID, const_cast<char*>(name), buffer.data(), &size)) {
        return "(second call failed)";
    }
    return buffer.data();
}

void respond(EXTENSION_CONTROL_BLOCK* ecb, const char* status, const std::string& body) {
    std::string head =
        "Content-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, const_cast<char*>(status),
                               nullptr, reinterpret_cast<LPDWORD>(const_cast<char*>(head.c_str())));
    DWORD length = static_cast<DWORD>(body.size());
    ecb->WriteClient(ecb->ConnID, const_cast<char*>(body.data()), &length, HSE_IO_SYNC);
}

DWORD echo(EXTENSION_CONTROL_BLOCK* ecb) {
    std::string body;
    body += "lpszMethod=" + std::string(ecb->lpszMethod) + "\n";
    body += "lpszQueryString=" + std::string(ecb->lpszQueryString) + "\n";
    body += "lpszPathInfo=" + std::string(ecb->lpszPathInfo) + "\n";
    body += "lpszPathTranslated=" + std::string(ecb->lpszPathTranslated) + "\n";
    body += "lpszContentType=" + std::string(ecb->lpszContentType) + "\n";
    body += "cbTotalBytes=" + std::to_string(ecb->cbTotalBytes) + "\n";
    body += "dwHttpStatusCode=" + std::to_string(ecb->dwHttpStatusCode) + "\n";
    std::istringstream names(
        "URL QUERY_STRING SERVER_PROTOCOL SERVER_PORT "
        "SERVER_PORT_SECURE HTTPS REMOTE_ADDR REMOTE_HOST REMOTE_USER AUTH_TYPE CONTENT_LENGTH "
        "HTTP_X_TEST_MARKER HTTP_X_TEST_DASH CERT_FLAGS CERT_SUBJECT CERT_ISSUER "
        "CERT_SERIALNUMBER CERT_SERVER_SUBJECT NO_SUCH_VARIABLE");
    for (std::string name; names >> name;) {
        body += name + "=" + variable(ecb, name.c_str()) + "\n";
    }
    body += "ALL_HTTP=" + variable(ecb, "ALL_HTTP");
    respond(ecb, "200 OK", body);
    return HSE_STATUS_SUCCESS;
}

void appendToLog(const std::string& text) {
    if (const char* path = std::getenv("TEST_EXTENSION_LOG")) {
        if (FILE* file = std::fopen(path, "a")) {
            std::fputs(text.c_str(), file);
            std::fclose(file);
        }
    }
}

DWORD upload(EXTENSION_CONTROL_BLOCK* ecb, DWORD piece, bool log) {
    uint32_t crc = crc32(ecb->lpbData, ecb->cbAvailable, 0);
    uint64_t total = ecb->cbAvailable;
    std::vector<unsigned char> buffer(piece);
    int calls = 0;
    const char* stop = "whole";  // or how ReadClient ended the body early
    while (total < ecb->cbTotalBytes) {
        DWORD size = piece;
        if (!ecb->ReadClient(ecb->ConnID, buffer.data(), &size)) {
            stop = "failed";
            break;
        }
        if (size == 0) {
            stop = "zero";
            break;
        }
        ++calls;
        crc = crc32(buffer.data(), size, crc);
        total += size;
    }
    DWORD atEnd = piece;
    BOOL endResult = ecb->ReadClient(ecb->ConnID, buffer.data(), &atEnd);
    char text[256];
    std::snprintf(
        text, sizeof text,
        "cbAvailable=%u\ncbTotalBytes=%u\nread=%llu\ncalls=%d\nstop=%s\nend=%d/%u\ncrc=%08x\n",
        static_cast<unsigned>(ecb->cbAvailable), static_cast<unsigned>(ecb->cbTotalBytes),
        static_cast<unsigned long long>(total), calls, stop, endResult,
        static_cast<unsigned>(atEnd), crc);
    if (log) {
        appendToLog(text);
    }
    respond(ecb, "200 OK", text);
    return HSE_STATUS_SUCCESS;
}

DWORD raw(EXTENSION_CONTROL_BLOCK* ecb) {
    std::string bytes = "HTTP/1.0 299 Raw\r\nX-Raw: yes\r\n\r\n";
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    DWORD length = static_cast<DWORD>(bytes.size());
    ecb->WriteClient(ecb->ConnID, bytes.data(), &length, HSE_IO_SYNC);
    return HSE_STATUS_SUCCESS;
}

}  // namespace

extern "C" {

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* version) {
    version->dwExtensionVersion = MAKELONG(0, 4);
    std::strcpy(version->lpszExtensionDesc, "isapihost test extension");
    return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* ecb) {
    std::string query = ecb->lpszQueryString;
    if (query.rfind("upload", 0) == 0) {
        auto piece = query.find("piece=");
        return upload(ecb,
                      piece == std::string::npos
                          ? 4096
                          : static_cast<DWORD>(std::atoi(query.c_str() + piece + 6)),
                      query.find("&log") != std::string::npos);
    }
    if (query == "raw")
        return raw(ecb);
    if (query == "keep") {
        respond(ecb, "200 OK", "kept\n");
        return HSE_STATUS_SUCCESS_AND_KEEP_CONN;
    }
    if (query.rfind("status=", 0) == 0) {
        ecb->dwHttpStatusCode = static_cast<DWORD>(std::atoi(query.c_str() + 7));
        respond(ecb, (query.substr(7) + " Chosen").c_str(), "status\n");
        return HSE_STATUS_SUCCESS;
    }
    if (query.rfind("map=", 0) == 0) {
        char path[1024];
        std::strncpy(path, query.c_str() + 4, sizeof path - 1);
        path[sizeof path - 1] = '\0';
        DWORD size = sizeof path;
        BOOL ok =
            ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_MAP_URL_TO_PATH, path, &size, nullptr);
        respond(ecb, "200 OK", ok ? std::string(path) + "\n" : "failed\n");
        return HSE_STATUS_SUCCESS;
    }
    return echo(ecb);
}

BOOL WINAPI TerminateExtension(DWORD) {
    appendToLog("TerminateExtension\n");
    return TRUE;
}

}  // extern "C"
