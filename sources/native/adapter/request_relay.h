// The adapter's wire protocol on one instance connection, in the order HttpExtensionProc
// runs it: the request head, the additional-information block and the preloaded body go
// to the instance unasked; then serveCommands answers the instance's commands until it
// closes the connection:
//
//   0  length (4 bytes, network order) + data   response bytes, written to the client
//   1  count (4 bytes, network order)           that many request-body bytes, sent back
//   2                                           the client-certificate descriptor
//
// Runs on the IIS worker thread of the request, on its stack buffers; reads no shared
// state but what the control block offers.
#ifndef BREVANT_ADAPTER_REQUEST_RELAY_H
#define BREVANT_ADAPTER_REQUEST_RELAY_H

#include <winsock2.h>  // before windows.h, as WinSock 2 asks
#include <windows.h>
#include <httpext.h>

#include <cstddef>
#include <cstdint>

#include "native/adapter/instance_connection.h"

namespace brevant::adapter {

// The request line, the request headers from "ALL_HTTP" (names in upper case, the filter's
// "X-BREVANT-" headers left out) and the empty line, sent whole. False, with nothing sent,
// when "REQUEST_METHOD" or "HTTP_X_BREVANT_REQUEST" cannot be read; GetLastError then
// tells why.
bool sendRequestHeader(InstanceConnection& connection, EXTENSION_CONTROL_BLOCK* ecb);

// Client address, client host, server name, server port, server software, "true"/"false"
// for a secure port and an empty line, each ended by CR LF, with fallbacks for what IIS
// cannot tell.
void sendAddlInfo(InstanceConnection& connection, EXTENSION_CONTROL_BLOCK* ecb);

// The body bytes IIS has already read (lpbData), raw.
void sendPreloadedBody(InstanceConnection& connection, EXTENSION_CONTROL_BLOCK* ecb);

// Serves commands until the instance closes the connection, a receive fails or times out, a
// write to the client fails, the client's body ends short of what the instance asked for, or
// an unknown command arrives. True when some response bytes reached the client.
bool serveCommands(InstanceConnection& connection, EXTENSION_CONTROL_BLOCK* ecb);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_REQUEST_RELAY_H
