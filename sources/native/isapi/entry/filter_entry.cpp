// The filter half of Brevant_ISAPI: GetFilterVersion creates the engine bridge, and with it
// the VM and the engine; HttpFilterProc hands each subscribed notification to its step:
// routing (filter_routing.cpp), authentication and logging (filter_notifications.cpp).
//
// GetFilterVersion runs once, on the thread that loads the filter, before any notification.
// HttpFilterProc runs on many IIS threads at once, on stack buffers and AllocMem blocks.
#include <windows.h>
#include <httpfilt.h>

#include <cstring>
#include <exception>
#include <new>

#include "native/isapi/entry/connector_state.h"
#include "native/isapi/entry/entry_guard.h"
#include "native/isapi/entry/filter_steps.h"
#include "native/isapi/bridge/iis_security.h"
#include "native/isapi/log/native_log.h"
#include "native/isapi/iisconfig/server_settings.h"

namespace brevant::isapi {

namespace {

constexpr DWORD kFilterVersion = 0x00040000;  // 4.0
constexpr char kFilterDescription[] = "Brevant Filter";
constexpr DWORD kFilterFlags = SF_NOTIFY_ORDER_LOW | SF_NOTIFY_PREPROC_HEADERS |
                               SF_NOTIFY_AUTHENTICATION | SF_NOTIFY_LOG | SF_NOTIFY_NONSECURE_PORT |
                               SF_NOTIFY_SECURE_PORT;
static_assert(kFilterFlags == 0x00026203);

void startEngine() {
    OutputDebugStringA(kProductWord);
    OutputDebugStringA(": initializing.\n");
    CBrevantISAPI* bridge = nullptr;
    try {
        bridge = new CBrevantISAPI();
    } catch (const std::bad_alloc&) {
        extensionURL = iisconfig::kFallbackExtensionURL;
        logMessage("Failed to create object needed for initialization.");
        initErrorMessage = "Failed to create object needed for initialization.";
        return;
    }
    // Known even when the engine failed to start.
    extensionURL = bridge->getExtensionURL();
    if (bridge->isInitialized()) {
        engineBridge = bridge;
        return;
    }
    logMessage("Failed to initialize.");
    initErrorMessage = bridge->getInitMessage();
    logMessage(initErrorMessage);
    // Destroyed without ending the VM: the web server goes on and explains the failure.
    delete bridge;
}

}  // namespace

}  // namespace brevant::isapi

using namespace brevant::isapi;

extern "C" BOOL WINAPI GetFilterVersion(HTTP_FILTER_VERSION* version) {
    // Loaded in every case, so that failures can be explained to clients.
    return brevant::guardEntryPoint(BOOL(TRUE), kGetFilterVersionCaught, logCaught, [&] {
        version->dwFilterVersion = kFilterVersion;
        std::strncpy(version->lpszFilterDesc, kFilterDescription, SF_MAX_FILTER_DESC_LEN);
        version->dwFlags = kFilterFlags;
        iisSecurityEnabled = false;
        startEngine();
        return BOOL(TRUE);
    });
}

extern "C" DWORD WINAPI HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD notificationType,
                                       VOID* notification) {
    return brevant::guardEntryPoint(
        DWORD(SF_STATUS_REQ_ERROR), kHttpFilterProcCaught, logCaught, [&]() -> DWORD {
            switch (notificationType) {
                case SF_NOTIFY_PREPROC_HEADERS:
                    return routeRequest(pfc,
                                        static_cast<HTTP_FILTER_PREPROC_HEADERS*>(notification));
                case SF_NOTIFY_AUTHENTICATION:
                    return authorizeRequest(pfc, static_cast<HTTP_FILTER_AUTHENT*>(notification));
                case SF_NOTIFY_LOG:
                    return logRequestedURL(pfc, static_cast<HTTP_FILTER_LOG*>(notification));
                default:
                    return SF_STATUS_REQ_NEXT_NOTIFICATION;
            }
        });
}
