// The steps of filter registration on the key /LM/W3SVC/Filters: its subkey "Brevant" with
// the module's path, and the item ",Brevant" of the filter load order. Taken by the
// exports of filter_registration.h, on their caller's thread, which has initialised COM.
// Everything they report goes to the debugger output.
#ifndef BREVANT_ISAPI_IISCONFIG_FILTER_ENTRIES_H
#define BREVANT_ISAPI_IISCONFIG_FILTER_ENTRIES_H

#include <windows.h>
#include <iadmw.h>

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

#endif  // BREVANT_ISAPI_IISCONFIG_FILTER_ENTRIES_H
