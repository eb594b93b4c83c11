// The connector's entry points in a test process without Java: the registry names a fresh
// install home and no Java installation, so the filter's start fails and the connector
// stays loaded to explain why. The debugger output and the native log are the test's own.
// Single-threaded tests only (they change the process environment and the connector's
// process-wide state).
#ifndef TESTS_UNIT_NATIVE_ISAPI_ENTRY_ENTRY_TEST_HOME_H
#define TESTS_UNIT_NATIVE_ISAPI_ENTRY_ENTRY_TEST_HOME_H

#include <windows.h>
#include <httpext.h>
#include <httpfilt.h>

#include <gtest/gtest.h>

#include <string>

#include "config_test_home.h"
#include "debug_output_capture.h"
#include "test_paths.h"

namespace entrytest {

class EntryTest : public testing::Test {
  protected:
    void SetUp() override { configtest::setHomeValue(REG_SZ, home_.path() + std::string(1, '\0')); }
    void TearDown() override {
        TerminateExtension(HSE_TERM_MUST_UNLOAD);
        configtest::deleteHomeKey();
    }

    HTTP_FILTER_VERSION loadFilter() {
        HTTP_FILTER_VERSION version{};
        EXPECT_TRUE(GetFilterVersion(&version));
        return version;
    }
    bool debugOutputHas(const std::string& text) const {
        return debugOutput_.text().find(text) != std::string::npos;
    }
    bool nativeLogHas(const std::string& text) const {
        return testsupport::readFile(home_.file("BrevantNative.log")).find(text) !=
               std::string::npos;
    }

  private:
    testsupport::DebugOutputCapture debugOutput_;
    testsupport::ScratchDir home_{"isapi-entry-home"};
};

}  // namespace entrytest

#endif  // TESTS_UNIT_NATIVE_ISAPI_ENTRY_ENTRY_TEST_HOME_H
