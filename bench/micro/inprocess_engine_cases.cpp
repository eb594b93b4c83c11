#include "inprocess_engine_cases.h"

#include <stdlib.h>
#include <windows.h>
#include <httpfilt.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "native/isapi/bridge/brevant_isapi.h"
#include "native/isapi/entry/connector_state.h"
#include "native/isapi/entry/filter_steps.h"
#include "test_paths.h"
#include "typical_request.h"

namespace bench {

namespace {

using brevant::isapi::CBrevantISAPI;

std::unique_ptr<testsupport::ScratchDir> home;
std::unique_ptr<CBrevantISAPI> startedBridge;
std::unique_ptr<BrowserFilterContext> filterContext;

// The install home and the registry as an installation on this machine leaves them.
void install(const std::string& homePath) {
    std::filesystem::create_directories(homePath + "/Brevant Data");
    std::filesystem::create_directories(homePath + "/Servlets");
    testsupport::writeFile(homePath + "/Brevant Data/Classpath.pref",
                           std::string(BREVANT_BENCH_ENGINE_JAR) + "\n");
    testsupport::writeFile(getenv("STANDIN_REGISTRY"),
                           "REGEDIT4\n\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlena\\Brevant ISAPI]\n"
                           "\"Home\"=\"" +
                               homePath +
                               "\"\n\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JDK]\n"
                               "\"CurrentVersion\"=\"17\"\n\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JDK\\17]\n"
                               "\"JavaHome\"=\"" BREVANT_BENCH_JDK_HOME "\"\n\n");
}

}  // namespace

void setupInprocessEngine() {
    home = std::make_unique<testsupport::ScratchDir>("connector-bench-home");
    install(home->path());
    startedBridge = std::make_unique<CBrevantISAPI>();
    brevant::isapi::extensionURL = startedBridge->getExtensionURL();
    brevant::isapi::engineBridge = startedBridge.get();
    filterContext = std::make_unique<BrowserFilterContext>();
}

void inprocessFilterStaticUrl() {
    testsupport::FakeFilterContext& fake = filterContext->forRequest(kStaticUrl);
    DWORD status = brevant::isapi::routeRequest(fake.pfc(), fake.preproc());
    benchmark::DoNotOptimize(status);
}

bool inprocessFilterPassed() {
    return startedBridge->isInitialized() && filterContext->untouched(kStaticUrl);
}

void teardownInprocessEngine() {
    filterContext.reset();
    if (brevant::isapi::engineBridge == startedBridge.get()) {
        brevant::isapi::engineBridge = nullptr;
    }
    startedBridge.reset();  // stops the engine; the VM stays until the process ends
    home.reset();
}

}  // namespace bench
