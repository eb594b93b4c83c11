// The extension half of Brevant_ISAPI: GetExtensionVersion announces it, HttpExtensionProc
// hands each request to the engine through the bridge the filter made, TerminateExtension
// stops the engine when IIS unloads the connector.
//
// HttpExtensionProc runs on many IIS threads at once. Its only lock is serverInfoLock,
// around the first request's setServerInfo; every request is complete when it returns.
#include <windows.h>
#include <httpext.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "native/isapi/entry/connector_state.h"
#include "native/isapi/entry/entry_guard.h"
#include "native/isapi/entry/failure_pages.h"
#include "native/isapi/log/native_log.h"

namespace brevant::isapi {

std::atomic<CBrevantISAPI*> engineBridge{nullptr};
std::string extensionURL;
std::string initErrorMessage;

namespace {

constexpr DWORD kExtensionVersion = 0x00040000;  // 4.0
constexpr char kExtensionDescription[] = "Brevant Extension";

CRITICAL_SECTION serverInfoLock;
std::once_flag serverInfoLockReady;
std::atomic<bool> serverInfoSent{false};

// Holds serverInfoLock, also when setServerInfo ends by an exception.
class ServerInfoGuard {
  public:
    ServerInfoGuard() { EnterCriticalSection(&serverInfoLock); }
    ~ServerInfoGuard() { LeaveCriticalSection(&serverInfoLock); }
    ServerInfoGuard(const ServerInfoGuard&) = delete;
    ServerInfoGuard& operator=(const ServerInfoGuard&) = delete;
};

DWORD sendProcessRequestFailedPage(EXTENSION_CONTROL_BLOCK* ecb) {
    logMessage("ProcessRequest Failed!!!");
    std::string page = processRequestFailedPage();
    DWORD length = static_cast<DWORD>(page.size());
    ecb->WriteClient(ecb->ConnID, page.data(), &length, HSE_IO_SYNC);
    return HSE_STATUS_ERROR;
}

DWORD serveRequest(EXTENSION_CONTROL_BLOCK* ecb) {
    // Without a bridge (no filter, a failed start, or after the unload) a client that names
    // the extension's URL gets the same page as one the engine cannot be reached for.
    CBrevantISAPI* bridge = engineBridge.load();
    if (bridge == nullptr) {
        return sendProcessRequestFailedPage(ecb);
    }
    if (!serverInfoSent.load()) {
        ServerInfoGuard guard;
        bridge->setServerInfo(ecb);
        serverInfoSent = true;
    }
    if (bridge->processRequest(ecb)) {
        return HSE_STATUS_SUCCESS;  // also when the engine itself failed: it answered
    }
    return sendProcessRequestFailedPage(ecb);
}

}  // namespace

}  // namespace brevant::isapi

using brevant::guardEntryPoint;
using brevant::isapi::logCaught;

extern "C" BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* version) {
    return guardEntryPoint(BOOL(FALSE), brevant::isapi::kGetExtensionVersionCaught, logCaught, [&] {
        version->dwExtensionVersion = brevant::isapi::kExtensionVersion;
        std::strncpy(version->lpszExtensionDesc, brevant::isapi::kExtensionDescription,
                     HSE_MAX_EXT_DLL_NAME_LEN);
        std::call_once(brevant::isapi::serverInfoLockReady,
                       [] { InitializeCriticalSection(&brevant::isapi::serverInfoLock); });
        return BOOL(TRUE);
    });
}

extern "C" DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* ecb) {
    return guardEntryPoint(DWORD(HSE_STATUS_ERROR), brevant::isapi::kHttpExtensionProcCaught,
                           logCaught, [&] { return brevant::isapi::serveRequest(ecb); });
}

extern "C" BOOL WINAPI TerminateExtension(DWORD /*flags: advisory and mandatory alike*/) {
    return guardEntryPoint(BOOL(TRUE), brevant::isapi::kTerminateExtensionCaught, logCaught, [] {
        brevant::isapi::CBrevantISAPI* bridge = brevant::isapi::engineBridge.exchange(nullptr);
        if (bridge != nullptr) {
            // The web server unloads the connector: the VM ends with it.
            bridge->endVmOnDestroy();
            delete bridge;
        }
        return BOOL(TRUE);
    });
}
