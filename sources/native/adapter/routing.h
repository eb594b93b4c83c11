// Which group takes a request: by the administration URLs, by application prefix, by
// alias, each limited to the groups that serve the request's host.
//
// Called by the preprocessing notification on any IIS thread at once; reads the group
// table it is given, which nothing writes after loading, and keeps no state.
#ifndef BREVANT_ADAPTER_ROUTING_H
#define BREVANT_ADAPTER_ROUTING_H

#include <winsock2.h>  // before windows.h, as WinSock 2 asks
#include <windows.h>
#include <httpfilt.h>

#include "native/adapter/adapter_groups.h"

namespace brevant::adapter {

constexpr int kNoGroup = -1;        // routing goes on; or: no group takes the request
constexpr int kAdminPageSent = -2;  // the request has been answered with the admin page

// "/servlet/admin" answered with the page when allowed, or "/servlet/admin/<group>[/...]"
// routed to that group; kNoGroup for every other URL.
// REQUIRES: more than one group is configured.
int findAdminGroup(const GroupTable& table, const char* url, HTTP_FILTER_CONTEXT* pfc);

// The first group serving `host` whose application the URL begins with; failing that, the
// first serving `host` with a matching alias; else kNoGroup. `host` is in lower case.
int selectGroup(const GroupTable& table, const char* url, const char* host);

// Some application of the group is a prefix of the URL.
bool matchesApplication(const char* url, const AdapterGroup& group);

// Some path alias is a prefix of the URL, or some suffix alias ends the URL's path (the
// text before the first "?" or ";") and is shorter than it.
bool matchesAlias(const char* url, const AdapterGroup& group);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_ROUTING_H
