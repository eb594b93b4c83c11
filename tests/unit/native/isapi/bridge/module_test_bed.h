// Brevant_ISAPI as IIS loads it, with the installed JDK and the test engine, driven through
// its exports with fake control blocks and filter contexts.
//
// A process holds one VM and the connector keeps process-wide state, so the tests run in
// child processes: the test binary starts itself again, and the child, a gtest run like any
// other, reports its own failures. A test body begins with IN_SUITE_PROCESS(), where the
// suite's tests share one child and one module (the parent's first test runs them all), or
// IN_OWN_PROCESS(), for a test that needs a module of its own.
#ifndef TESTS_UNIT_NATIVE_ISAPI_BRIDGE_MODULE_TEST_BED_H
#define TESTS_UNIT_NATIVE_ISAPI_BRIDGE_MODULE_TEST_BED_H

#include <windows.h>
#include <httpext.h>
#include <httpfilt.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "fake_ecb.h"
#include "fake_filter_context.h"
#include "test_paths.h"

namespace bridgetest {

using testsupport::FakeEcb;
using testsupport::FakeFilterContext;

bool isChildProcess();
// Runs the tests that `filter` selects in a child process and expects them to pass.
void runInChildProcess(const std::string& filter);
// Runs the current test's suite in a child process, once per parent process.
void runCurrentSuiteOnce();

#define IN_OWN_PROCESS()                                                                          \
    if (!bridgetest::isChildProcess()) {                                                          \
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();    \
        bridgetest::runInChildProcess(std::string(test->test_suite_name()) + "." + test->name()); \
        return;                                                                                   \
    }
#define IN_SUITE_PROCESS()                 \
    if (!bridgetest::isChildProcess()) {   \
        bridgetest::runCurrentSuiteOnce(); \
        return;                            \
    }

class ModuleTest : public testing::Test {
  protected:
    // In the child: an install home whose class path puts the test engine first, the JDK in
    // the registry, "index.jsp" as IIS's default document.
    void SetUp() override;

    // Loads the module and its filter, which starts the VM and the engine; once a process.
    void loadModule();
    // Serves a request for the extension whose query string names the engine's action,
    // with `variables` over the usual ones; what the client received.
    std::string serve(FakeEcb& ecb, const std::string& action,
                      const std::map<std::string, std::string>& variables = {});
    DWORD filter(FakeFilterContext& context, DWORD type, void* notification) {
        return httpFilterProc_(context.pfc(), type, notification);
    }
    // The preprocessing notification for `url`.
    DWORD route(FakeFilterContext& context, const std::string& url) {
        context.url = url;
        return filter(context, SF_NOTIFY_PREPROC_HEADERS, context.preproc());
    }

    void writeData(const std::string& name, const std::string& text) const;
    std::string engineCalls() const;  // calls.txt of the test engine
    std::string nativeLog() const;
    std::string debugOutput() const;

  private:
    static PFN_HTTPEXTENSIONPROC httpExtensionProc_;
    static PFN_HTTPFILTERPROC httpFilterProc_;
};

}  // namespace bridgetest

#endif  // TESTS_UNIT_NATIVE_ISAPI_BRIDGE_MODULE_TEST_BED_H
