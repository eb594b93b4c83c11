// A scratch install home for the configuration reader tests: the registry value "Home"
// names a fresh folder with its "Brevant Data" folder, and the debugger output is caught, so
// that messages can be checked byte for byte. Without a NativeLog the log echoes there too,
// as "Brevant: <message>\n". Single-threaded tests only (it changes the process environment).
#ifndef TESTS_UNIT_NATIVE_ISAPI_CONFIG_CONFIG_TEST_HOME_H
#define TESTS_UNIT_NATIVE_ISAPI_CONFIG_CONFIG_TEST_HOME_H

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "debug_output_capture.h"
#include "native/isapi/log/native_log.h"
#include "native/isapi/log/native_log_internal.h"
#include "stand-ins/win32/include/standin_test_hooks.h"
#include "test_paths.h"

namespace configtest {

constexpr char kHomeKey[] = "SOFTWARE\\Orlena\\Brevant ISAPI";

// Sets the value "Home" as given, bytes and type, creating the key.
inline void setHomeValue(DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kHomeKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "Home", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

inline void deleteHomeKey() {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kHomeKey);
}

class ConfigTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(brevant::isapi::hasNativeLog()) << "messages would go to a log file";
        std::filesystem::create_directory(dataDirectory());
        // The home with its terminating NUL, as an installer writes it.
        setHomeValue(REG_SZ, home_.path() + std::string(1, '\0'));
    }
    void TearDown() override { StandinClearFailures(); }

    const std::string& home() const { return home_.path(); }
    std::string dataDirectory() const { return home_.file("Brevant Data"); }
    void writeData(const std::string& name, const std::string& content) const {
        testsupport::writeFile(dataDirectory() + testsupport::pathSeparator() + name, content);
    }
    // Everything sent to the debugger output since the test began.
    std::string debugOutput() const { return debugOutput_.text(); }

  private:
    testsupport::DebugOutputCapture debugOutput_;
    testsupport::ScratchDir home_{"isapi-config-home"};
};

// A path under the home, with the platform's separator between the pieces.
inline std::string under(const std::string& home, const std::string& a, const std::string& b = "") {
    std::string path = home + testsupport::pathSeparator() + a;
    return b.empty() ? path : path + testsupport::pathSeparator() + b;
}

}  // namespace configtest

#endif  // TESTS_UNIT_NATIVE_ISAPI_CONFIG_CONFIG_TEST_HOME_H
