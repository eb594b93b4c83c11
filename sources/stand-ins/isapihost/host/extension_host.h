// The ISAPI extensions of the server: each module is loaded the first time a request
// names it (GetExtensionVersion once), called for every request that names it, and
// terminated and unloaded when the server stops.
//
// Thread safety: call() from any number of worker threads at once; terminate() on the
// main thread once no request runs.
#ifndef ISAPIHOST_HOST_EXTENSION_HOST_H
#define ISAPIHOST_HOST_EXTENSION_HOST_H

#include <windows.h>
#include <httpext.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "stand-ins/isapihost/host/request_context.h"

namespace isapihost {

class ExtensionHost {
  public:
    ExtensionHost() = default;
    ~ExtensionHost();
    ExtensionHost(const ExtensionHost&) = delete;
    ExtensionHost& operator=(const ExtensionHost&) = delete;

    // Serves the request with the extension module at `modulePath`. A module that cannot
    // be loaded or refuses GetExtensionVersion gets the client a 500.
    AfterResponse call(RequestContext& request, const std::string& modulePath);

    // TerminateExtension (when exported) and FreeLibrary, in load order.
    void terminate();

  private:
    struct Extension {
        std::string path;
        HMODULE module = nullptr;
        PFN_HTTPEXTENSIONPROC proc = nullptr;
        PFN_TERMINATEEXTENSION terminate = nullptr;
    };
    // The loaded module, loading it on first use; null when it cannot serve.
    const Extension* extensionFor(const std::string& modulePath);

    std::mutex mutex_;
    std::map<std::string, std::unique_ptr<Extension>> loaded_;  // guarded by mutex_
    std::vector<Extension*> loadOrder_;                         // guarded by mutex_
};

}  // namespace isapihost

#endif  // ISAPIHOST_HOST_EXTENSION_HOST_H
