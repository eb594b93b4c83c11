// The registry of the Win32 stand-in as the Linux side sees it: the REGEDIT4 file behind
// HKEY_LOCAL_MACHINE, processes sharing it, and the stand-in's own choices. Windows'
// behaviour itself is tested in portable/registry_behaviour_test.cpp.
#include <standin_test_hooks.h>
#include <windows.h>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "test_paths.h"

namespace {

struct Value {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
};

std::vector<BYTE> bytesOf(const std::string& text) {
    return std::vector<BYTE>(text.begin(), text.end());
}

std::vector<BYTE> terminated(const std::string& text) {
    std::vector<BYTE> bytes = bytesOf(text);
    bytes.push_back(0);
    return bytes;
}

HKEY openKey(const char* path, REGSAM access = KEY_ALL_ACCESS) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key)) << path;
    return key;
}

HKEY createKey(const char* path) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr))
        << path;
    return key;
}

LONG setValue(HKEY key, const char* name, DWORD type, const std::vector<BYTE>& data) {
    return RegSetValueExA(key, name, 0, type, data.data(), DWORD(data.size()));
}

// The value's bytes; nothing when it cannot be read.
std::optional<std::vector<BYTE>> queryValue(HKEY key, const char* name, DWORD* type = nullptr) {
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::vector<BYTE> data(size + 1);
    if (RegQueryValueExA(key, name, nullptr, type, data.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    data.resize(size);
    return data;
}

std::vector<std::string> valueNames(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    DWORD size = sizeof name;
    while (RegEnumValueA(key, DWORD(names.size()), name, &size, nullptr, nullptr, nullptr,
                         nullptr) == ERROR_SUCCESS) {
        names.emplace_back(name, size);
        size = sizeof name;
    }
    return names;
}

DWORD subkeyCount(HKEY key) {
    DWORD count = 0;
    char name[256];
    DWORD size = sizeof name;
    while (RegEnumKeyExA(key, count, name, &size, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS) {
        ++count;
        size = sizeof name;
    }
    return count;
}

// A child process that runs `body`, only registry calls, and exits with 0 when it returned
// true. It waits for release() so that parent and child can start together.
class ChildProcess {
  public:
    explicit ChildProcess(const std::function<bool()>& body) {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[1]);
            char go;
            bool released = read(fds[0], &go, 1) == 1;
            _exit(released && body() ? 0 : 1);
        }
        close(fds[0]);
        startPipe_ = fds[1];
    }
    ~ChildProcess() { wait(); }

    void release() {
        if (startPipe_ >= 0) {
            char go = 'g';
            (void)!write(startPipe_, &go, 1);
            close(startPipe_);
            startPipe_ = -1;
        }
    }

    // True when the child ran and its body returned true.
    bool wait() {
        release();
        if (pid_ > 0) {
            int status = 0;
            waitpid(pid_, &status, 0);
            succeeded_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            pid_ = -1;
        }
        return succeeded_;
    }

  private:
    pid_t pid_ = -1;
    int startPipe_ = -1;
    bool succeeded_ = false;
};

bool runInChild(const std::function<bool()>& body) {
    return ChildProcess(body).wait();
}

class StandinRegistry : public testing::Test {
  protected:
    void SetUp() override {
        if (const char* previous = std::getenv("STANDIN_REGISTRY")) {
            previous_ = previous;
        }
        useRegistry(registry_);
    }

    void TearDown() override {
        StandinClearFailures();
        if (previous_) {
            setenv("STANDIN_REGISTRY", previous_->c_str(), 1);
        } else {
            unsetenv("STANDIN_REGISTRY");
        }
    }

    static void useRegistry(const std::string& path) {
        setenv("STANDIN_REGISTRY", path.c_str(), 1);
    }

    testsupport::ScratchDir scratch_{"registry"};
    const std::string registry_ = scratch_.file("registry.reg");
    std::optional<std::string> previous_;
};

// ---- the file ------------------------------------------------------------------------------

TEST_F(StandinRegistry, WritesRegedit4ThatReadsBackByteForByte) {
    const std::vector<Value> values = {
        {"Home", REG_SZ, terminated("/opt/Brevant ISAPI")},
        {"Count", REG_DWORD, {1, 0, 0, 0}},
        {"Flags", REG_DWORD, {0xef, 0xbe, 0xad, 0xde}},
        {nullptr, REG_SZ, terminated("default value")},
        {"Multi", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}},
        {"Bin", REG_BINARY, {1, 2, 3}},
        {"Say \"hi\" \\", REG_SZ, terminated("C:\\dir\\\"q\"")},
        {"Unterminated", REG_SZ, bytesOf("ab")},
        {"Tab", REG_SZ, terminated("a\tb")},
        {"Short", REG_DWORD, {1, 2}},
        {"Big", REG_QWORD, {8, 7, 6, 5, 4, 3, 2, 1}},
        {"Empty", REG_BINARY, {}},
    };
    HKEY key = createKey("SOFTWARE\\Orlena\\Brevant ISAPI");
    for (const Value& value : values) {
        ASSERT_EQ(ERROR_SUCCESS, setValue(key, value.name, value.type, value.data));
    }
    RegCloseKey(key);
    RegCloseKey(createKey("SOFTWARE\\Orlena\\Empty"));
    RegCloseKey(createKey("software\\ORLENA\\alpha"));

    EXPECT_EQ(R"reg(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE]

[HKEY_LOCAL_MACHINE\SOFTWARE\Orlena]

[HKEY_LOCAL_MACHINE\SOFTWARE\Orlena\alpha]

[HKEY_LOCAL_MACHINE\SOFTWARE\Orlena\Brevant ISAPI]
"Home"="/opt/Brevant ISAPI"
"Count"=dword:00000001
"Flags"=dword:deadbeef
@="default value"
"Multi"=hex(7):61,00,62,00,00
"Bin"=hex:01,02,03
"Say \"hi\" \\"="C:\\dir\\\"q\""
"Unterminated"=hex(1):61,62
"Tab"=hex(1):61,09,62,00
"Short"=hex(4):01,02
"Big"=hex(b):08,07,06,05,04,03,02,01
"Empty"=hex:

[HKEY_LOCAL_MACHINE\SOFTWARE\Orlena\Empty]

)reg",
              testsupport::readFile(registry_));

    // A copy has no cached tree behind it: everything comes from parsing the text.
    std::string copy = scratch_.file("copy.reg");
    std::filesystem::copy_file(registry_, copy);
    useRegistry(copy);
    key = openKey("SOFTWARE\\Orlena\\Brevant ISAPI", KEY_READ);
    for (const Value& value : values) {
        DWORD type = REG_NONE;
        EXPECT_EQ(value.data, queryValue(key, value.name, &type)) << value.name;
        EXPECT_EQ(value.type, type) << value.name;
    }
    RegCloseKey(key);
}

TEST_F(StandinRegistry, ReadsHandWrittenFiles) {
    const std::vector<std::string> lines = {
        "REGEDIT4",
        "",
        "; written by hand",
        R"("Orphan"="before any section")",
        R"([HKEY_LOCAL_MACHINE\SOFTWARE\Hand])",
        R"(  "Spaced" = "with \"quotes\" and \\ one backslash"  )",
        R"("Path"="C:\Program Files\Brevant")",
        R"("Long"=hex:00,01,02,\)",
        "    03, 04",
        R"("Upper"=DWORD:0000ABCD)",
        R"("Expand"=hex(2):25,00)",
        R"("Broken"=hex:zz)",
        R"("Unclosed="oops)",
        R"("After"="still read")",
        R"([HKEY_CURRENT_USER\Software\Other])",
        R"("Elsewhere"="x")",
        R"([-HKEY_LOCAL_MACHINE\SOFTWARE\Gone])",
        R"("Lost"="x")",
        R"([HKEY_LOCAL_MACHINE\\SOFTWARE\\Hand\\Deeper\])",
        R"([hkey_local_machine\software\hand])",
        R"(@=dword:2)",
    };
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    testsupport::writeFile(registry_, text);

    HKEY key = openKey("SOFTWARE\\Hand", KEY_READ);
    EXPECT_EQ((std::vector<std::string>{"Spaced", "Path", "Long", "Upper", "Expand", "After", ""}),
              valueNames(key));
    EXPECT_EQ(terminated("with \"quotes\" and \\ one backslash"), queryValue(key, "Spaced"));
    EXPECT_EQ(terminated("C:\\Program Files\\Brevant"), queryValue(key, "Path"));
    EXPECT_EQ((std::vector<BYTE>{0, 1, 2, 3, 4}), queryValue(key, "Long"));
    EXPECT_EQ((std::vector<BYTE>{0xcd, 0xab, 0, 0}), queryValue(key, "Upper"));
    DWORD type = REG_NONE;
    EXPECT_EQ((std::vector<BYTE>{0x25, 0}), queryValue(key, "Expand", &type));
    EXPECT_EQ(DWORD(REG_EXPAND_SZ), type);
    EXPECT_EQ((std::vector<BYTE>{2, 0, 0, 0}), queryValue(key, nullptr));
    EXPECT_EQ(1u, subkeyCount(key));
    RegCloseKey(key);
    RegCloseKey(openKey("SOFTWARE\\Hand\\Deeper", KEY_READ));

    EXPECT_EQ(std::nullopt, queryValue(HKEY_LOCAL_MACHINE, "Orphan"));
    HKEY absent = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Other", 0, KEY_READ, &absent));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Gone", 0, KEY_READ, &absent));
}

TEST_F(StandinRegistry, FollowsTheFileAndTheVariableFromCallToCall) {
    testsupport::writeFile(registry_, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE]\n\"Which\"=\"first\"\n");
    EXPECT_EQ(terminated("first"), queryValue(HKEY_LOCAL_MACHINE, "Which"));

    testsupport::writeFile(registry_,
                           "REGEDIT4\n\n[HKEY_LOCAL_MACHINE]\n\"Which\"=\"the second\"\n");
    EXPECT_EQ(terminated("the second"), queryValue(HKEY_LOCAL_MACHINE, "Which"));

    std::string other = scratch_.file("other.reg");
    testsupport::writeFile(other, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE]\n\"Which\"=\"other\"\n");
    useRegistry(other);
    EXPECT_EQ(terminated("other"), queryValue(HKEY_LOCAL_MACHINE, "Which"));
    useRegistry(registry_);
    EXPECT_EQ(terminated("the second"), queryValue(HKEY_LOCAL_MACHINE, "Which"));
}

TEST_F(StandinRegistry, WithoutTheVariableTheRegistryIsEmptyAndReadOnly) {
    unsetenv("STANDIN_REGISTRY");
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, setValue(HKEY_LOCAL_MACHINE, "Value", REG_BINARY, {1}));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE"));
    EXPECT_EQ(std::nullopt, queryValue(HKEY_LOCAL_MACHINE, "Value"));
    EXPECT_EQ(0u, subkeyCount(HKEY_LOCAL_MACHINE));
}

TEST_F(StandinRegistry, WritesFailWhenTheFilesFolderIsMissing) {
    useRegistry(scratch_.file("missing") + "/registry.reg");
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, nullptr, 0,
                                                    KEY_ALL_ACCESS, nullptr, &key, nullptr));
}

// ---- processes sharing the file ---------------------------------------------------------

TEST_F(StandinRegistry, ProcessesWritingAtOnceLoseNothing) {
    constexpr DWORD kWrites = 150;
    auto writeMany = [](const std::string& prefix) {
        for (DWORD i = 0; i < kWrites; ++i) {
            HKEY key = nullptr;
            if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Race", 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr) != ERROR_SUCCESS) {
                return false;
            }
            std::string name = prefix + std::to_string(i);
            LONG status = RegSetValueExA(key, name.c_str(), 0, REG_DWORD,
                                         reinterpret_cast<const BYTE*>(&i), sizeof i);
            HKEY subkey = nullptr;
            if (status == ERROR_SUCCESS && i % 10 == 0) {
                status = RegCreateKeyExA(key, name.c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                                         &subkey, nullptr);
                RegCloseKey(subkey);
            }
            RegCloseKey(key);
            if (status != ERROR_SUCCESS) {
                return false;
            }
        }
        return true;
    };
    ChildProcess child([&] { return writeMany("child-"); });
    child.release();
    EXPECT_TRUE(writeMany("parent-"));
    ASSERT_TRUE(child.wait());

    HKEY key = openKey("SOFTWARE\\Race", KEY_READ);
    EXPECT_EQ(2 * kWrites, valueNames(key).size());
    EXPECT_EQ(2 * kWrites / 10, subkeyCount(key));
    for (DWORD i = 0; i < kWrites; ++i) {
        std::vector<BYTE> expected(reinterpret_cast<const BYTE*>(&i),
                                   reinterpret_cast<const BYTE*>(&i) + sizeof i);
        EXPECT_EQ(expected, queryValue(key, ("child-" + std::to_string(i)).c_str()));
        EXPECT_EQ(expected, queryValue(key, ("parent-" + std::to_string(i)).c_str()));
    }
    RegCloseKey(key);
}

TEST_F(StandinRegistry, AnotherProcessFindsNamesInAnotherLetterCase) {
    ASSERT_TRUE(runInChild([] {
        HKEY key = nullptr;
        bool written =
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orlena\\Brevant ISAPI", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS &&
            setValue(key, "ServerName", REG_SZ, terminated("tomcat")) == ERROR_SUCCESS;
        RegCloseKey(key);
        return written;
    }));

    HKEY key = openKey("software\\ORLENA\\brevant isapi", KEY_READ);
    EXPECT_EQ(terminated("tomcat"), queryValue(key, "SERVERNAME"));
    EXPECT_EQ(std::vector<std::string>{"ServerName"}, valueNames(key));
    RegCloseKey(key);
}

TEST_F(StandinRegistry, HandleOfAKeyAnotherProcessDeletedReportsItDeleted) {
    RegCloseKey(createKey("SOFTWARE\\Doomed"));
    HKEY doomed = openKey("SOFTWARE\\Doomed");
    ASSERT_TRUE(runInChild(
        [] { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed") == ERROR_SUCCESS; }));
    DWORD size = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(doomed, "", nullptr, nullptr, nullptr, &size));
    HKEY child = nullptr;
    EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyExA(doomed, "Child", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &child, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(doomed));
}

// ---- handles, rights and failures ---------------------------------------------------------

TEST_F(StandinRegistry, CreatingASubkeyNeedsTheRightButOpeningOneDoesNot) {
    RegCloseKey(createKey("SOFTWARE\\Present"));
    HKEY reader = openKey("SOFTWARE", KEY_READ);
    HKEY key = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(reader, "Present", 0, nullptr, 0, KEY_READ, nullptr,
                                             &key, &disposition));
    EXPECT_EQ(DWORD(REG_OPENED_EXISTING_KEY), disposition);
    RegCloseKey(key);
    // Wine lets this through; Windows checks KEY_CREATE_SUB_KEY on the parent's handle.
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegCreateKeyExA(reader, "Absent", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr));
    RegCloseKey(reader);
}

TEST_F(StandinRegistry, GenericRightsMapToKeyRights) {
    RegCloseKey(createKey("SOFTWARE\\Rights"));
    HKEY reader = openKey("SOFTWARE\\Rights", GENERIC_READ);
    EXPECT_EQ(ERROR_ACCESS_DENIED, setValue(reader, "Value", REG_BINARY, {1}));
    EXPECT_EQ(0u, subkeyCount(reader));
    RegCloseKey(reader);

    HKEY writer = openKey("SOFTWARE\\Rights", GENERIC_WRITE);
    EXPECT_EQ(ERROR_SUCCESS, setValue(writer, "Value", REG_BINARY, {1}));
    DWORD size = 0;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegQueryValueExA(writer, "Value", nullptr, nullptr, nullptr, &size));
    RegCloseKey(writer);
}

TEST_F(StandinRegistry, UnknownAndClosedHandlesAreInvalid) {
    HKEY key = createKey("SOFTWARE\\Handles");
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, setValue(key, "Value", REG_BINARY, {1}));

    HKEY opened = nullptr;
    EXPECT_EQ(ERROR_INVALID_HANDLE,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &opened));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""));
}

TEST_F(StandinRegistry, InjectedFailuresComeFirstAndWearOff) {
    RegCloseKey(createKey("SOFTWARE\\Injected"));
    StandinFailNextCalls("RegOpenKeyExA", 1, ERROR_ACCESS_DENIED);
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Injected", 0, KEY_READ, &key));
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Injected", 0, KEY_READ, &key));

    StandinFailNextCalls("RegQueryValueExA", 2, ERROR_NOT_ENOUGH_MEMORY);
    DWORD size = 0;
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, RegQueryValueExA(key, "", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, RegQueryValueExA(key, "", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "", nullptr, nullptr, nullptr, &size));
    RegCloseKey(key);
}

}  // namespace
