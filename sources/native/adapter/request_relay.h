// The adapter's wire protocol on one instance connection, in the order HttpExtensionProc
// runs it: the request head, the additional-information block and the preloaded body go
// to the instance unasked; then serveCommands answers the instance's commands until it
// closes the connection:
//
//   0  length (4 bytes, network order) + data   response bytes, written to the client
//   1  count (4 bytes, network order)           that many request-body bytes, sent back
//   2                                           the client-certificate descriptor
//   3  flag (1 byte)                            the exchange is over, the connection stays
//                                               open (only after a head that announced it)
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
#include <string>

#include "native/adapter/instance_connection.h"

namespace brevant::adapter {

// What the instance receives before its first command, read from the control block once, so
// that a request can be sent again on a new connection.
struct RequestBytes {
    std::string method;    // REQUEST_METHOD
    std::string head;      // request line, header lines, empty line
    std::string addlInfo;  // six lines and the empty line
};

// The request line and the request headers from "ALL_HTTP" (names in upper case, every
// client's "X-BREVANT-" header left out), then the empty line. With `announceExchange`, the
// last header line is "X-BREVANT-EXCHANGE: 1; preloaded=<count>". False when
// "REQUEST_METHOD" or "HTTP_X_BREVANT_REQUEST" cannot be read; GetLastError then tells why.
bool readRequestHeader(EXTENSION_CONTROL_BLOCK* ecb, bool announceExchange, RequestBytes* request);

// Client address, client host, server name, server port, server software, "true"/"false"
// for a secure port and an empty line, each ended by CR LF, with fallbacks for what IIS
// cannot tell.
void readAddlInfo(EXTENSION_CONTROL_BLOCK* ecb, RequestBytes* request);

// The body bytes IIS has already read (lpbData) that follow the additional information.
DWORD preloadedCount(const EXTENSION_CONTROL_BLOCK* ecb);

// The head, the additional information and the preloaded body: with a send each, as the
// format always had it, or, on a connection with a kept buffer they fit in, with one. A
// broken connection shows at the next receive.
void sendRequest(InstanceConnection& connection, const RequestBytes& request,
                 EXTENSION_CONTROL_BLOCK* ecb);

// How serveCommands ended.
struct ExchangeEnd {
    bool answered = false;         // some byte came from the instance
    bool responseStarted = false;  // some response bytes reached the client
    bool kept = false;             // command 3: the instance keeps the connection open
    bool keepClient = false;       // and its flag lets the client's connection be kept
};

// Serves commands until the instance closes the connection, a receive fails or times out, a
// write to the client fails, the client's body ends short of what the instance asked for, or
// an unknown command arrives; with `exchangeExtension`, command 3 and its flag end the
// exchange with the connection open. Relays through the connection's kept buffer when it has
// one, else in pieces of 4 KiB.
ExchangeEnd serveCommands(InstanceConnection& connection, EXTENSION_CONTROL_BLOCK* ecb,
                          bool exchangeExtension);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_REQUEST_RELAY_H
