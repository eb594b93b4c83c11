// The administration page at "/servlet/admin": a table linking every configured group to
// "/servlet/admin/<group>". Called on any IIS thread by the preprocessing notification;
// reads the group table it is given, nothing else.
#ifndef BREVANT_ADAPTER_ADMIN_PAGE_H
#define BREVANT_ADAPTER_ADMIN_PAGE_H

#include <winsock2.h>  // before windows.h, as WinSock 2 asks
#include <windows.h>
#include <httpfilt.h>

#include "native/adapter/adapter_groups.h"

namespace brevant::adapter {

// Sends IIS's default status with a text/html header, then the page in one WriteClient;
// writes nothing when the header cannot be sent. Browsers on X11 get their own fonts.
void sendAdminPage(const GroupTable& table, HTTP_FILTER_CONTEXT* pfc);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_ADMIN_PAGE_H
