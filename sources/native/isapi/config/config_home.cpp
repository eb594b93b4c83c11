// The install home from the registry, and the directories named after it.
//
// Registry failures go to the debugger output only: the native log is itself placed in
// the home, so there may be no log to write to yet.
#include <windows.h>

#include <string>
#include <vector>

#include "native/isapi/config/configuration.h"
#include "native/isapi/registry/registry_text.h"
#include "native/isapi/isapi_platform.h"

namespace brevant::isapi {

namespace {

constexpr char kHomeKey[] = "SOFTWARE\\Orlena\\Brevant ISAPI";
constexpr char kHomeValue[] = "Home";

void sendToDebugger(const char* text) {
    OutputDebugStringA(text);
    OutputDebugStringA(kHomeKey);
    OutputDebugStringA("\n");
}

}  // namespace

std::string getHomeDirectory() {
    RegistryKey key;
    if (!key.open(kHomeKey)) {
        sendToDebugger("Failed to open key: ");
        return kDefaultHome;
    }
    std::string home;
    switch (readRegistryText(key.get(), kHomeValue, &home)) {
        case RegistryTextResult::kRead:
            return home;
        case RegistryTextResult::kNoSize:
            sendToDebugger("Failed to get Home value for key: ");
            return kDefaultHome;
        case RegistryTextResult::kNotRead:
            break;
    }
    return kDefaultHome;
}

std::string getDataDirectory() {
    return getHomeDirectory() + kPathSeparator + "Brevant" + " Data";
}

std::string getServletsDirectory() {
    return getHomeDirectory() + kPathSeparator + "Servlets";
}

}  // namespace brevant::isapi
