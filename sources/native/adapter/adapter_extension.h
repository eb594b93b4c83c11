// The extension half of Brevant_Adapter (adapter_extension.cpp): IIS's entry points
// GetExtensionVersion, HttpExtensionProc and TerminateExtension (declared by httpext.h),
// and the failure page that every step which cannot hand a request on answers with.
//
// IIS calls HttpExtensionProc on many worker threads at once; each call owns its
// connection and buffers and only reads the group table.
#ifndef BREVANT_ADAPTER_ADAPTER_EXTENSION_H
#define BREVANT_ADAPTER_ADAPTER_EXTENSION_H

#include <winsock2.h>  // before windows.h, as WinSock 2 asks
#include <windows.h>
#include <httpext.h>

#include <cstddef>

namespace brevant::adapter {

constexpr size_t kFailurePageSize = 512;

// Answers the client "500 Internal Server Error" with the HTML `page`.
void sendFailurePage(EXTENSION_CONTROL_BLOCK* ecb, const char* page);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_ADAPTER_EXTENSION_H
