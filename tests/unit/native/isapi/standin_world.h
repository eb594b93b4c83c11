// The stand-in stores of a test's own: a registry file and a metabase file, a new one for each
// change (the stand-in reads a file again whatever its time stamp), and the debugger output,
// where the connector's messages go while no native log is open ("Brevant: <message>\n").
// HomeTest adds an install home that the registry names. Single-threaded tests only (they
// change the process environment).
#ifndef TESTS_UNIT_NATIVE_ISAPI_STANDIN_WORLD_H
#define TESTS_UNIT_NATIVE_ISAPI_STANDIN_WORLD_H

#include <stdlib.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "debug_output_capture.h"
#include "native/isapi/log/native_log.h"
#include "native/isapi/log/native_log_internal.h"
#include "stand-ins/win32/include/standin_test_hooks.h"
#include "test_paths.h"

namespace isapitest {

constexpr char kHomeKey[] = "SOFTWARE\\Orlena\\Brevant ISAPI";

// A path under `home`, with the platform's separator between the pieces.
inline std::string under(const std::string& home, const std::string& a, const std::string& b = "") {
    const std::string path = home + testsupport::pathSeparator() + a;
    return b.empty() ? path : path + testsupport::pathSeparator() + b;
}

// A registry value; `terminated` false stores a text without its zero, as some installers do.
struct RegValue {
    std::string name, data;
    bool terminated = true;
    DWORD type = REG_SZ;
};

class StandinWorld : public testing::Test {
  protected:
    StandinWorld() {
        const char* old = getenv("STANDIN_REGISTRY");
        oldRegistry_ = old != nullptr ? old : "";
        registry(nullptr);
        metabase("");
    }
    ~StandinWorld() override {
        StandinClearFailures();
        unsetenv("STANDIN_METABASE");
        setenv("STANDIN_REGISTRY", oldRegistry_.c_str(), 1);
    }

    // A registry of HKEY_LOCAL_MACHINE\<key> alone with these values; an empty one for null.
    void registry(const char* key, const std::vector<RegValue>& values = {}) {
        useFile("STANDIN_REGISTRY", "REGEDIT4\n");
        HKEY handle = nullptr;
        ASSERT_TRUE(key == nullptr ||
                    RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_WRITE, nullptr,
                                    &handle, nullptr) == ERROR_SUCCESS);
        for (const auto& [name, data, terminated, type] : values) {
            RegSetValueExA(handle, name.c_str(), 0, type,
                           reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>(data.size() + terminated));
        }
        RegCloseKey(handle);
    }
    // A registry of these REGEDIT4 sections.
    void registrySections(const std::string& sections) {
        useFile("STANDIN_REGISTRY", "REGEDIT4\n\n" + sections);
    }
    void metabase(const std::string& text) { metabase_ = useFile("STANDIN_METABASE", text); }
    std::string metabaseText() const { return testsupport::readFile(metabase_); }

    // Everything sent to the debugger output since the test began, or since the last call.
    std::string debugOutput() const { return debugOutput_.text(); }
    std::string newOutput() {
        return debugOutput().substr(std::exchange(seen_, debugOutput().size()));
    }

  private:
    std::string useFile(const char* variable, const std::string& text) {
        const std::string path = scratch_.file(std::to_string(++files_));
        testsupport::writeFile(path, text);
        setenv(variable, path.c_str(), 1);
        return path;
    }

    testsupport::ScratchDir scratch_{"isapi-world"};
    testsupport::DebugOutputCapture debugOutput_;
    std::string oldRegistry_, metabase_;
    int files_ = 0;
    std::size_t seen_ = 0;
};

// An install home with its "Brevant Data" folder, named with its NUL as an installer writes it.
class HomeTest : public StandinWorld {
  protected:
    void SetUp() override {
        ASSERT_FALSE(brevant::isapi::hasNativeLog()) << "messages would go to a log file";
        std::filesystem::create_directory(dataDirectory());
        setHome({"Home", home()});
    }
    void setHome(const RegValue& value) { registry(kHomeKey, {value}); }

    const std::string& home() const { return home_.path(); }
    std::string dataDirectory() const { return home_.file("Brevant Data"); }
    void writeData(const std::string& name, const std::string& content) const {
        testsupport::writeFile(under(dataDirectory(), name), content);
    }

  private:
    testsupport::ScratchDir home_{"isapi-home"};
};

}  // namespace isapitest

#endif  // TESTS_UNIT_NATIVE_ISAPI_STANDIN_WORLD_H
