// HttpFilterProc on a group table of the caller's, for the filter's tests, which build their
// own table instead of writing the process-wide one; no other code may use it.
#ifndef BREVANT_ADAPTER_ADAPTER_FILTER_INTERNAL_H
#define BREVANT_ADAPTER_ADAPTER_FILTER_INTERNAL_H

#include <winsock2.h>  // before windows.h, as WinSock 2 asks
#include <windows.h>
#include <httpfilt.h>

#include "native/adapter/adapter_groups.h"

namespace brevant::adapter {

// What HttpFilterProc does, exceptions caught, with `table` in place of processGroupTable.
DWORD handleFilterNotification(const GroupTable& table, HTTP_FILTER_CONTEXT* pfc,
                               DWORD notificationType, VOID* notification);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_ADAPTER_FILTER_INTERNAL_H
