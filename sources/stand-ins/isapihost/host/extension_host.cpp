// Loading extensions and handing them requests.
#include "stand-ins/isapihost/host/extension_host.h"

#include <cstdio>
#include <cstring>

#include "stand-ins/isapihost/host/extension_call.h"
#include "stand-ins/isapihost/http/responses.h"

namespace isapihost {

namespace {

template <typename Function>
Function procAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

ExtensionHost::~ExtensionHost() {
    terminate();
}

const ExtensionHost::Extension* ExtensionHost::extensionFor(const std::string& modulePath) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = loaded_.find(modulePath);
    if (found != loaded_.end()) {
        return found->second.get();  // null for a module that failed once
    }
    auto extension = std::make_unique<Extension>();
    extension->path = modulePath;
    extension->module = LoadLibraryA(modulePath.c_str());
    if (extension->module == nullptr) {
        std::fprintf(stderr, "isapihost: extension %s cannot be loaded (error %u)\n",
                     modulePath.c_str(), static_cast<unsigned>(GetLastError()));
        return nullptr;  // not remembered: the file may appear later, as with IIS
    }
    auto getVersion =
        procAddress<PFN_GETEXTENSIONVERSION>(extension->module, "GetExtensionVersion");
    extension->proc = procAddress<PFN_HTTPEXTENSIONPROC>(extension->module, "HttpExtensionProc");
    extension->terminate =
        procAddress<PFN_TERMINATEEXTENSION>(extension->module, "TerminateExtension");
    HSE_VERSION_INFO version;
    std::memset(&version, 0, sizeof version);
    if (getVersion == nullptr || extension->proc == nullptr || !getVersion(&version)) {
        std::fprintf(stderr, "isapihost: extension %s refused to load (GetExtensionVersion)\n",
                     modulePath.c_str());
        FreeLibrary(extension->module);
        loaded_[modulePath] = nullptr;
        return nullptr;
    }
    Extension* result = extension.get();
    loadOrder_.push_back(result);
    loaded_[modulePath] = std::move(extension);
    return result;
}

AfterResponse ExtensionHost::call(RequestContext& request, const std::string& modulePath) {
    const Extension* extension = extensionFor(modulePath);
    if (extension == nullptr) {
        request.status = 500;
        return sendError(request.exchange, 500).after;
    }
    ExtensionCall call(request);
    return call.run(extension->proc);
}

void ExtensionHost::terminate() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Extension* extension : loadOrder_) {
        // A module may end the process here (a hosted JVM does): everything of the
        // server's own is flushed and closed before terminate() runs.
        if (extension->terminate != nullptr) {
            extension->terminate(HSE_TERM_MUST_UNLOAD);
        }
        FreeLibrary(extension->module);
    }
    loadOrder_.clear();
    loaded_.clear();
}

}  // namespace isapihost
