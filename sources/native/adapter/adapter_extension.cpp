// HttpExtensionProc, top to bottom: the group the filter chose, the connection to one of its
// instances (in a group with `keepalive`, perhaps one kept from an earlier request), the
// request sent in the adapter's wire format, the instance's commands served until it closes
// (or ends the exchange with command 3, or says nothing for the group's reply time-out), the
// connection closed or kept.
#include "native/adapter/adapter_extension.h"
#include "native/adapter/adapter_extension_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "native/adapter/caught_messages.h"
#include "native/adapter/connection_pool.h"
#include "native/adapter/debug_output.h"
#include "native/adapter/instance_choice.h"
#include "native/adapter/instance_connection.h"
#include "native/adapter/request_relay.h"
#include "native/common/server_variable.h"

namespace brevant::adapter {

namespace {

constexpr DWORD kExtensionVersion = 0x40000;  // 4.0
constexpr char kExtensionDescription[] = "Brevant ISAPI Adapter Extension";
constexpr size_t kGroupNumberSize = 3;  // two digits and the NUL

// The group number from the filter's "X-Brevant-Group:" header, which it writes as one or
// two digits; anything else (among it a header that is missing or too long) is -1.
int readGroupNumber(EXTENSION_CONTROL_BLOCK* ecb) {
    char text[kGroupNumberSize];
    auto value =
        common::readServerVariable(ecb, "HTTP_X_BREVANT_GROUP", text, sizeof text, sizeof text);
    if (!value || value->empty()) {
        return -1;
    }
    int number = 0;
    for (char c : *value) {
        if (c < '0' || c > '9') {
            return -1;
        }
        number = number * 10 + (c - '0');
    }
    return number;
}

// The instance said nothing for the group's reply time-out: the client gets a page saying so
// when no byte of the response has reached it yet, and a closed connection when some has,
// since its response can no longer be told from a whole one otherwise.
void answerTimeOut(EXTENSION_CONTROL_BLOCK* ecb, const AdapterGroup& group,
                   const AdapterInstance& instance, bool responseStarted) {
    instance.timeouts.fetch_add(1);
    debugOut("Brevant instance did not answer in time.\n");
    if (responseStarted) {
        ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_CLOSE_CONNECTION, nullptr, nullptr,
                                   nullptr);
        return;
    }
    char page[kFailurePageSize];
    std::snprintf(page, sizeof page,
                  "<html><head><title>Brevant Failure</title></head><body bgcolor=#ffffff>"
                  "<center><h2><font color=#FF0000>Brevant instance %.*s at %.160s did not "
                  "answer within %u ms</font></h2></center></body></html>",
                  static_cast<int>(kGroupNameSize - 1), group.name, instance.entry.c_str(),
                  group.replyTimeout);
    sendFailurePage(ecb, page, kGatewayTimeout);
}

// Methods that a client may send again without harm: the only ones sent again after a kept
// connection turned out to be closed.
bool isIdempotent(const std::string& method) {
    return method == "GET" || method == "HEAD" || method == "OPTIONS";
}

ExchangeEnd exchange(InstanceConnection& connection, const RequestBytes& request,
                     EXTENSION_CONTROL_BLOCK* ecb, bool extension) {
    sendRequest(connection, request, ecb);
    connection.instance()->requestsSent.fetch_add(1);
    return serveCommands(connection, ecb, extension);
}

DWORD serveRequest(const GroupTable& table, EXTENSION_CONTROL_BLOCK* ecb) {
    int number = readGroupNumber(ecb);
    if (number < 0 || number >= kMaxGroups) {
        debugOut("Failed to retrieve Brevant Group for request.");
        return HSE_STATUS_ERROR;
    }
    const AdapterGroup& group = table.groups[number];
    bool extension = group.keepAlive != 0;

    InstanceConnection connection = connectToInstance(ecb, group);
    if (!connection.isOpen()) {
        return HSE_STATUS_ERROR;  // the client has the failure page
    }

    RequestBytes request;
    if (!readRequestHeader(ecb, extension, &request)) {
        DWORD error = GetLastError();  // why the server variable could not be read
        debugOut("Failed to send request headers to Brevant.\n");
        char page[kFailurePageSize];
        std::snprintf(page, sizeof page,
                      "<html><head><title>Brevant Failure</title></head><body bgcolor=#ffffff>"
                      "<center><h2><font color=#FF0000>Failed to send request headers to "
                      "Brevant</font></h2>"
                      "<p>The error number is %d"
                      "</center></body></html>",
                      static_cast<int>(error));
        connection.close();
        sendFailurePage(ecb, page);
        return HSE_STATUS_ERROR;
    }
    readAddlInfo(ecb, &request);

    ExchangeEnd end = exchange(connection, request, ecb, extension);
    // The instance closed a kept connection while it was idle: nothing of the request ran,
    // and a request that may run twice goes once more, on a new connection.
    if (!end.answered && connection.reused() && !connection.timedOut() &&
        isIdempotent(request.method)) {
        connection.close();
        connection = connectToInstance(ecb, group, true);
        if (!connection.isOpen()) {
            return HSE_STATUS_ERROR;
        }
        end = exchange(connection, request, ecb, extension);
    }

    if (end.kept) {
        // Anything more from the instance would be read as the next request's answer.
        const AdapterInstance& instance = *connection.instance();
        if (instance.pool && connection.drained()) {
            instance.pool->give(connection.release(steadyMilliseconds()));
        }
        connection.close();
        return end.keepClient ? HSE_STATUS_SUCCESS_AND_KEEP_CONN : HSE_STATUS_SUCCESS;
    }
    connection.close();
    if (connection.timedOut()) {
        answerTimeOut(ecb, group, *connection.instance(), end.responseStarted);
        return HSE_STATUS_ERROR;
    }
    return HSE_STATUS_SUCCESS;
}

}  // namespace

void sendFailurePage(EXTENSION_CONTROL_BLOCK* ecb, const char* page, const char* status) {
    // The log then shows the status the client got, not the control block's initial 200.
    ecb->dwHttpStatusCode = static_cast<DWORD>(std::strtoul(status, nullptr, 10));
    char headers[] = "Content-Type: text/html\r\n\r\n";
    DWORD headersLength = static_cast<DWORD>(sizeof headers - 1);
    ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, const_cast<char*>(status),
                               &headersLength, reinterpret_cast<LPDWORD>(headers));
    DWORD pageLength = static_cast<DWORD>(std::strlen(page));
    ecb->WriteClient(ecb->ConnID, const_cast<char*>(page), &pageLength, HSE_IO_SYNC);
}

// Like every entry point, it catches what escapes it: IIS must never see an exception.
DWORD handleExtensionRequest(const GroupTable& table, EXTENSION_CONTROL_BLOCK* ecb) {
    return guardEntryPoint(DWORD(HSE_STATUS_ERROR), kHttpExtensionProcCaught, debugOut,
                           [&] { return serveRequest(table, ecb); });
}

}  // namespace brevant::adapter

using brevant::adapter::debugOut;

extern "C" BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* info) {
    return brevant::guardEntryPoint(
        BOOL(FALSE), brevant::adapter::kGetExtensionVersionCaught, debugOut, [&] {
            info->dwExtensionVersion = brevant::adapter::kExtensionVersion;
            std::snprintf(info->lpszExtensionDesc, HSE_MAX_EXT_DLL_NAME_LEN, "%s",
                          brevant::adapter::kExtensionDescription);
            return BOOL(TRUE);
        });
}

extern "C" DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* ecb) {
    return brevant::adapter::handleExtensionRequest(brevant::adapter::processGroupTable, ecb);
}

extern "C" BOOL WINAPI TerminateExtension(DWORD /*flags*/) {
    // Requests have ended; what stays between them is the kept instance connections.
    return brevant::guardEntryPoint(
        BOOL(TRUE), brevant::adapter::kTerminateExtensionCaught, debugOut, [] {
            brevant::adapter::closeConnectionPools(brevant::adapter::processGroupTable);
            return BOOL(TRUE);
        });
}
