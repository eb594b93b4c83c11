// Registering Brevant_ISAPI as the IIS filter "Brevant" in the metabase: the
// exports ConfigureFilter and UnConfigureFilter, which a program outside the connector
// calls by name (filterctl, an installer), and the steps they take on the key
// /LM/W3SVC/Filters: its subkey "Brevant" with the module's path, and the item ",Brevant"
// of the filter load order.
//
// Everything they report goes to the debugger output (OutputDebugStringA), never to the
// native log. They keep no state and take no locks: a call is one thread's, and the
// metabase keeps concurrent callers apart (the key is opened with a 200 ms time-out).
// IIS reads a new registration the next time the web service starts.
#ifndef BREVANT_ISAPI_IISCONFIG_FILTER_REGISTRATION_H
#define BREVANT_ISAPI_IISCONFIG_FILTER_REGISTRATION_H

#include <windows.h>
#include <iadmw.h>

// TRUE when the filter is registered afterwards, also when it already was; FALSE on any
// failure, after a message. filterPath is the full path of the module, written as
// MD_FILTER_IMAGE_PATH; null is refused (FALSE). Initialises COM on the calling thread and
// leaves it initialised.
extern "C" BOOL WINAPI ConfigureFilter(const char* filterPath);

// TRUE when no registration remains, also when there was none; FALSE on any failure.
// filterPath is only echoed to the debugger output (null allowed). Initialises COM as
// ConfigureFilter does.
extern "C" BOOL WINAPI UnConfigureFilter(const char* filterPath);

namespace brevant::isapi::iisconfig {

// The steps, each on `filters`, the handle of /LM/W3SVC/Filters open for reading and
// writing through `admin`; each holds a reference of its own on `admin` while it runs.
// Nothing they write is undone when a later call fails.

// True when some subkey's MD_FILTER_IMAGE_PATH contains "Brevant" (case-sensitive).
bool findFilterEntry(IMSAdminBase* admin, METADATA_HANDLE filters);

// True when the key "Brevant", its MD_FILTER_IMAGE_PATH (filterPath) and MD_FILTER_ENABLED
// (1), and the load order with ",Brevant" appended were written.
// REQUIRES: filterPath is not null.
bool addFilterEntry(IMSAdminBase* admin, METADATA_HANDLE filters, const char* filterPath);

// True when no subkey's name contains "Brevant", or when the key "Brevant" was deleted and
// the load order, less its last ",Brevant" item, written back (left as it is when that
// would leave it empty).
bool removeFilterEntry(IMSAdminBase* admin, METADATA_HANDLE filters);

}  // namespace brevant::isapi::iisconfig

#endif  // BREVANT_ISAPI_IISCONFIG_FILTER_REGISTRATION_H
