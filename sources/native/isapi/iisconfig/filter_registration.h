// Registering Brevant_ISAPI as the IIS filter "Brevant" in the metabase: the
// exports ConfigureFilter and UnConfigureFilter, which a program outside the connector
// calls by name (filterctl, an installer). Their steps on the key /LM/W3SVC/Filters are
// in filter_entries.h.
//
// Everything they report goes to the debugger output (OutputDebugStringA), never to the
// native log. They keep no state and take no locks: a call is one thread's, and the
// metabase keeps concurrent callers apart (the key is opened with a 200 ms time-out).
// IIS reads a new registration the next time the web service starts.
#ifndef BREVANT_ISAPI_IISCONFIG_FILTER_REGISTRATION_H
#define BREVANT_ISAPI_IISCONFIG_FILTER_REGISTRATION_H

#include <windows.h>

// TRUE when the filter is registered afterwards, also when it already was; FALSE on any
// failure, after a message. filterPath is the full path of the module, written as
// MD_FILTER_IMAGE_PATH; null is refused (FALSE). Initialises COM on the calling thread and
// leaves it initialised.
extern "C" BOOL WINAPI ConfigureFilter(const char* filterPath);

// TRUE when no registration remains, also when there was none; FALSE on any failure.
// filterPath is only echoed to the debugger output (null allowed). Initialises COM as
// ConfigureFilter does.
extern "C" BOOL WINAPI UnConfigureFilter(const char* filterPath);

#endif  // BREVANT_ISAPI_IISCONFIG_FILTER_REGISTRATION_H
