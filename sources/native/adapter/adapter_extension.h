// The extension half of Brevant_Adapter (adapter_extension.cpp): IIS's entry points
// GetExtensionVersion, HttpExtensionProc and TerminateExtension (declared by httpext.h),
// and the failure page that every step which cannot hand a request on answers with.
//
// IIS calls HttpExtensionProc on many worker threads at once; each call owns its
// connection and buffers, reads the group table and adds only to its instances' live marks
// and counters.
#ifndef BREVANT_ADAPTER_ADAPTER_EXTENSION_H
#define BREVANT_ADAPTER_ADAPTER_EXTENSION_H

#include <winsock2.h>  // before windows.h, as WinSock 2 asks
#include <windows.h>
#include <httpext.h>

#include <cstddef>

namespace brevant::adapter {

constexpr size_t kFailurePageSize = 512;

constexpr char kInternalServerError[] = "500 Internal Server Error";
constexpr char kGatewayTimeout[] = "504 Gateway Timeout";

// Answers the client with `status` ("500 Internal Server Error" unless said otherwise) and the
// HTML `page`.
void sendFailurePage(EXTENSION_CONTROL_BLOCK* ecb, const char* page,
                     const char* status = kInternalServerError);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_ADAPTER_EXTENSION_H
