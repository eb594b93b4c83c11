// HttpExtensionProc on a group table of the caller's, for the extension's tests, which build
// their own table instead of writing the process-wide one; no other code may use it.
#ifndef BREVANT_ADAPTER_ADAPTER_EXTENSION_INTERNAL_H
#define BREVANT_ADAPTER_ADAPTER_EXTENSION_INTERNAL_H

#include <winsock2.h>  // before windows.h, as WinSock 2 asks
#include <windows.h>
#include <httpext.h>

#include "native/adapter/adapter_groups.h"

namespace brevant::adapter {

// What HttpExtensionProc does, exceptions caught, with `table` in place of
// processGroupTable.
DWORD handleExtensionRequest(const GroupTable& table, EXTENSION_CONTROL_BLOCK* ecb);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_ADAPTER_EXTENSION_INTERNAL_H
