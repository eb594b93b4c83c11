// One call of HttpExtensionProc: the EXTENSION_CONTROL_BLOCK and its callbacks.
//
// Before the call the server reads ahead min(Content-Length, 48 KiB) bytes of the body
// into lpbData (cbAvailable), as IIS does; ReadClient delivers the rest, never past
// Content-Length. After HSE_STATUS_SUCCESS or HSE_STATUS_ERROR the connection closes;
// HSE_STATUS_SUCCESS_AND_KEEP_CONN keeps it when the client allows and the body was read
// whole, unless the extension asked for HSE_REQ_CLOSE_CONNECTION. HSE_STATUS_PENDING waits
// for HSE_REQ_DONE_WITH_SESSION.
//
// Thread: the worker thread serving the request, and for a pending request the thread
// that finishes it.
#ifndef ISAPIHOST_HOST_EXTENSION_CALL_H
#define ISAPIHOST_HOST_EXTENSION_CALL_H

#include <windows.h>
#include <httpext.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "stand-ins/isapihost/host/request_context.h"

namespace isapihost {

constexpr size_t kReadAheadBytes = 48 * 1024;

class ExtensionCall {
  public:
    explicit ExtensionCall(RequestContext& request);
    ExtensionCall(const ExtensionCall&) = delete;
    ExtensionCall& operator=(const ExtensionCall&) = delete;

    AfterResponse run(PFN_HTTPEXTENSIONPROC proc);

  private:
    static ExtensionCall* of(HCONN connection);
    static BOOL WINAPI getServerVariable(HCONN connection, LPSTR name, LPVOID buffer, LPDWORD size);
    static BOOL WINAPI writeClient(HCONN connection, LPVOID buffer, LPDWORD bytes, DWORD flags);
    static BOOL WINAPI readClient(HCONN connection, LPVOID buffer, LPDWORD size);
    static BOOL WINAPI serverSupportFunction(HCONN connection, DWORD request, LPVOID buffer,
                                             LPDWORD size, LPDWORD dataType);

    void readAhead();
    BOOL mapUrlToPath(LPVOID buffer, LPDWORD size);
    BOOL redirect(LPVOID url);

    RequestContext& request_;
    EXTENSION_CONTROL_BLOCK ecb_;
    std::string method_, queryString_, pathInfo_, pathTranslated_, contentType_;
    std::vector<uint8_t> preloaded_;
    uint64_t bodyLeft_ = 0;  // body bytes not yet read from the client
    bool clientGone_ = false;
    std::atomic<bool> closeRequested_{false};  // HSE_REQ_CLOSE_CONNECTION, from any thread

    std::mutex doneMutex_;
    std::condition_variable doneSignal_;
    bool done_ = false;  // guarded by doneMutex_
};

}  // namespace isapihost

#endif  // ISAPIHOST_HOST_EXTENSION_CALL_H
