// The live status page: every group and instance with its policy, its up or down mark and
// its counters, as HTML or, for the query "json", as JSON. Answered by the filter at the path
// that brevant.status names.
//
// Called on any IIS thread by the preprocessing notification; reads the group table and the
// live fields of its instances, each an atomic read on its own, so a row may mix values of
// requests that run meanwhile.
#ifndef BREVANT_ADAPTER_STATUS_PAGE_H
#define BREVANT_ADAPTER_STATUS_PAGE_H

#include <winsock2.h>  // before windows.h, as WinSock 2 asks
#include <windows.h>
#include <httpfilt.h>

#include <cstdint>
#include <string>

#include "native/adapter/adapter_groups.h"

namespace brevant::adapter {

// The page's text at the steady-clock time `now` (milliseconds).
std::string statusPage(const GroupTable& table, bool json, int64_t now);

// Sends "200 OK", the content type and the page in one WriteClient.
void sendStatusPage(const GroupTable& table, HTTP_FILTER_CONTEXT* pfc, bool json);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_STATUS_PAGE_H
