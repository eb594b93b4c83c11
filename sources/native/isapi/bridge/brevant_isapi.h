// CBrevantISAPI: the IIS flavour of the engine bridge. It turns an IIS request, given as
// its EXTENSION_CONTROL_BLOCK, into the values the engine's "ProcessRequest" takes, reads
// the IIS settings the engine needs, and carries the filter's authentication question.
// Its single instance is the process-wide engine bridge, made by the filter.
//
// It keeps no state between requests: every operation reads its own request's control
// block afresh, so any number of IIS threads may call it at once.
#ifndef BREVANT_ISAPI_BRIDGE_BREVANT_ISAPI_H
#define BREVANT_ISAPI_BRIDGE_BREVANT_ISAPI_H

#include <windows.h>
#include <httpext.h>

#include <string>

#include "native/isapi/bridge/brevant.h"

namespace brevant::isapi {

class CBrevantISAPI : public CBrevant {
  public:
    // Starts the VM and the engine (`init`); see isInitialized() for the outcome.
    CBrevantISAPI();
    ~CBrevantISAPI() override;

    std::string getExtensionURL() override;
    std::string getServerSoftware(void* request) override;
    std::string getMimeMap() override;
    std::string getRequestHeader(void* request) override;
    std::string getRequestExtra(void* request) override;
    jbyteArray getPostData(void* request, JNIEnv* env) override;
    std::string getRemoteAddr(void* request) override;
    std::string getRemoteHost(void* request) override;
    std::string getRemoteUser(void* request) override;
    std::string getAuthPassword(void* request) override;
    std::string getServerName(void* request) override;
    jint getServerPort(void* request) override;
    std::string getDocumentRoot(void* request) override;
    bool isBufferedResponse() override;
    void sendResponse(void* request, const jbyte* bytes, jsize length) override;
    bool isSecure(void* request) override;
    void initDefaultPages() override;

    // The engine's answer whether the user may reach the URL; false when it cannot be asked.
    // REQUIRES: url != nullptr; the others may be null.
    bool authIISRequest(const char* url, const char* host, const char* user, const char* password);
};

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_BRIDGE_BREVANT_ISAPI_H
