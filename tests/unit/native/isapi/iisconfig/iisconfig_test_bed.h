// What the IIS settings are read from and written to, the test's own: a registry file filled
// through the Win32 stand-in's registry functions and a metabase file in the format of
// docs/metabase.md; and the debugger output, where every message of these parts goes.
// Single-threaded tests only (the fixture changes the process environment).
#ifndef TESTS_UNIT_NATIVE_ISAPI_IISCONFIG_IISCONFIG_TEST_BED_H
#define TESTS_UNIT_NATIVE_ISAPI_IISCONFIG_IISCONFIG_TEST_BED_H

#include <stdlib.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "debug_output_capture.h"
#include "test_paths.h"

namespace iisconfigtest {

// A REG_SZ value; `terminated` false stores it without its zero, as some installers do.
struct RegValue {
    std::string name;
    std::string data;
    bool terminated = true;
};

class IISConfigTest : public testing::Test {
  protected:
    IISConfigTest() {
        const char* old = getenv("STANDIN_REGISTRY");
        oldRegistry_ = old != nullptr ? old : "";
        registry(nullptr);
        metabase("");
    }
    ~IISConfigTest() override {
        unsetenv("STANDIN_METABASE");
        setenv("STANDIN_REGISTRY", oldRegistry_.c_str(), 1);
    }

    // A registry of HKEY_LOCAL_MACHINE\<key> alone with these values; an empty one for null.
    void registry(const char* key, const std::vector<RegValue>& values = {}) {
        useFile("STANDIN_REGISTRY", "REGEDIT4\n");
        HKEY handle = nullptr;
        if (key != nullptr && RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_WRITE,
                                              nullptr, &handle, nullptr) == ERROR_SUCCESS) {
            for (const auto& [name, data, terminated] : values) {
                const auto* bytes = reinterpret_cast<const BYTE*>(data.c_str());
                RegSetValueExA(handle, name.c_str(), 0, REG_SZ, bytes, data.size() + terminated);
            }
            RegCloseKey(handle);
        }
    }
    void metabase(const std::string& text) { metabase_ = useFile("STANDIN_METABASE", text); }
    std::string metabaseText() const { return testsupport::readFile(metabase_); }

    // What was written to the debugger output since the last call.
    std::string newOutput() {
        const std::string text = debugOutput_.text();
        return text.substr(std::exchange(seen_, text.size()));
    }

  private:
    // A new file each time: the stand-in reads it again whatever its time stamp.
    std::string useFile(const char* variable, const std::string& text) {
        const std::string path = scratch_.file(std::to_string(++files_));
        testsupport::writeFile(path, text);
        setenv(variable, path.c_str(), 1);
        return path;
    }

    testsupport::ScratchDir scratch_{"iisconfig"};
    testsupport::DebugOutputCapture debugOutput_;
    std::string oldRegistry_, metabase_;
    int files_ = 0;
    std::size_t seen_ = 0;
};

}  // namespace iisconfigtest

#endif  // TESTS_UNIT_NATIVE_ISAPI_IISCONFIG_IISCONFIG_TEST_BED_H
