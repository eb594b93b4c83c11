#include "inprocess_cases.h"

#include <windows.h>
#include <httpext.h>
#include <httpfilt.h>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "native/isapi/bridge/brevant_isapi.h"
#include "native/isapi/entry/connector_state.h"
#include "fake_ecb.h"
#include "native/isapi/entry/filter_steps.h"
#include "typical_request.h"

namespace bench {

namespace {

using brevant::isapi::CBrevantISAPI;
using testsupport::FakeEcb;

std::unique_ptr<CBrevantISAPI> bridge;
int bridgeUsers = 0;  // cases set up that use it

std::unique_ptr<BrowserFilterContext> filterContext;

std::unique_ptr<FakeEcb> requestEcb;

// As the filter's load leaves the connector, but with the bridge kept although its start
// failed: the filter's routing runs as with a started engine up to the first call into
// Java.
void acquireBridge() {
    if (bridgeUsers++ > 0) {
        return;
    }
    bridge = std::make_unique<CBrevantISAPI>();
    brevant::isapi::extensionURL = bridge->getExtensionURL();
    brevant::isapi::engineBridge = bridge.get();
}

void releaseBridge() {
    if (--bridgeUsers > 0) {
        return;
    }
    brevant::isapi::engineBridge = nullptr;
    bridge.reset();
}

}  // namespace

void setupInprocessFilter() {
    acquireBridge();
    filterContext = std::make_unique<BrowserFilterContext>();
}

void inprocessFilterServletUrl() {
    testsupport::FakeFilterContext& fake = filterContext->forRequest(kServletUrl);
    DWORD status = brevant::isapi::routeRequest(fake.pfc(), fake.preproc());
    benchmark::DoNotOptimize(status);
}

bool inprocessFilterRouted() {
    const testsupport::FakeFilterContext& fake = filterContext->fake();
    return fake.url == brevant::isapi::extensionURL &&
           fake.header("X-Brevant-Request") == kServletUrl;
}

void teardownInprocessFilter() {
    filterContext.reset();
    releaseBridge();
}

void setupInprocessRequestText() {
    acquireBridge();
    requestEcb = std::make_unique<FakeEcb>();
    requestEcb->variables = {
        {"REQUEST_METHOD", "GET"},      {"URL", kServletUrl},
        {"QUERY_STRING", kQueryString}, {"SERVER_PROTOCOL", "HTTP/1.1"},
        {"ALL_HTTP", browserAllHttp()},
    };
}

void inprocessRequestText() {
    std::string text = bridge->getRequestHeader(requestEcb->get());
    benchmark::DoNotOptimize(text.data());
}

bool inprocessRequestTextBuilt() {
    return bridge->getRequestHeader(requestEcb->get()) == std::string("GET ") + kServletUrl + "?" +
                                                              kQueryString + " HTTP/1.1\n" +
                                                              browserAllHttp();
}

void teardownInprocessRequestText() {
    requestEcb.reset();
    releaseBridge();
}

}  // namespace bench
