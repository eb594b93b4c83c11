// What the filter and the extension of Brevant_ISAPI share in the process: the engine
// bridge instance, the extension's URL and, after a failed start, the reason.
//
// The filter writes them while it loads (GetFilterVersion, before any notification) and the
// extension's unload destroys the bridge (TerminateExtension); every other thread only
// reads. The instance pointer is atomic because the unload may meet a late notification.
#ifndef BREVANT_ISAPI_ENTRY_CONNECTOR_STATE_H
#define BREVANT_ISAPI_ENTRY_CONNECTOR_STATE_H

#include <atomic>
#include <string>

#include "native/isapi/bridge/brevant_isapi.h"

namespace brevant::isapi {

// The process-wide engine bridge instance: null before the filter loads, after a failed
// start and after the unload.
extern std::atomic<CBrevantISAPI*> engineBridge;

// The URL under which IIS reaches the extension; the filter rewrites servlet URLs to it.
extern std::string extensionURL;

// Why the engine did not start; shown on the filter's failure page.
extern std::string initErrorMessage;

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_ENTRY_CONNECTOR_STATE_H
