// The registry of the Win32 stand-in as the Linux side sees it: the REGEDIT4 file behind
// HKEY_LOCAL_MACHINE, processes sharing it, and the stand-in's own choices. Windows'
// behaviour itself is tested in portable/registry_behaviour_test.cpp.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "forked_child.h"
#include "portable/win32_helpers.h"
#include "test_paths.h"

namespace {

using win32test::bytesOf;
using win32test::ForkedChild;
using win32test::namesIn;
using win32test::terminated;

HKEY createKey(const char* path, HKEY parent = HKEY_LOCAL_MACHINE) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
        << path;
    return key;
}

HKEY openKey(const char* path, REGSAM access = KEY_ALL_ACCESS) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key)) << path;
    return key;
}

LONG setValue(HKEY key, const char* name, DWORD type, const std::vector<BYTE>& data) {
    return RegSetValueExA(key, name, 0, type, data.data(), DWORD(data.size()));
}

// The value's bytes; nothing when it cannot be read.
std::optional<std::vector<BYTE>> queryValue(HKEY key, const char* name, DWORD* type = nullptr) {
    std::vector<BYTE> data(4096);
    DWORD size = DWORD(data.size());
    if (RegQueryValueExA(key, name, nullptr, type, data.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    data.resize(size);
    return data;
}

class StandinRegistry : public testing::Test {
  protected:
    void SetUp() override { setenv("STANDIN_REGISTRY", registry_.c_str(), 1); }
    void TearDown() override { setenv("STANDIN_REGISTRY", previous_.c_str(), 1); }

    testsupport::ScratchDir scratch_{"registry"};
    const std::string registry_ = scratch_.file("registry.reg");
    const std::string previous_ = std::getenv("STANDIN_REGISTRY");  // set by the test main
};

TEST_F(StandinRegistry, WritesRegedit4ThatReadsBackByteForByte) {
    const struct {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    } values[] = {
        {"Home", REG_SZ, terminated("/opt/Brevant ISAPI")},
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
    for (const auto& value : values) {
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
    setenv("STANDIN_REGISTRY", copy.c_str(), 1);
    key = openKey("SOFTWARE\\Orlena\\Brevant ISAPI", KEY_READ);
    for (const auto& value : values) {
        DWORD type = REG_NONE;
        EXPECT_EQ(value.data, queryValue(key, value.name, &type)) << value.name;
        EXPECT_EQ(value.type, type) << value.name;
    }
    RegCloseKey(key);
}

TEST_F(StandinRegistry, ReadsHandWrittenFiles) {
    testsupport::writeFile(registry_, R"(REGEDIT4

; written by hand
"Orphan"="before any section"
[HKEY_LOCAL_MACHINE\SOFTWARE\Hand]
  "Spaced" = "with \"quotes\" and \\ one backslash"  
"Path"="C:\Program Files\Brevant"
"Long"=hex:00,01,02,\
    03, 04
"Upper"=DWORD:0000ABCD
"Expand"=hex(2):25,00
"Broken"=hex:zz
"Unclosed="oops
"After"="still read"
[HKEY_CURRENT_USER\Software\Other]
"Elsewhere"="x"
[-HKEY_LOCAL_MACHINE\SOFTWARE\Gone]
"Lost"="x"
[HKEY_LOCAL_MACHINE\\SOFTWARE\\Hand\\Deeper\]
[hkey_local_machine\software\hand]
@=dword:2
)");
    HKEY key = openKey("SOFTWARE\\Hand", KEY_READ);
    EXPECT_EQ((std::vector<std::string>{"Spaced", "Path", "Long", "Upper", "Expand", "After", ""}),
              namesIn(key));
    EXPECT_EQ(terminated("with \"quotes\" and \\ one backslash"), queryValue(key, "Spaced"));
    EXPECT_EQ(terminated("C:\\Program Files\\Brevant"), queryValue(key, "Path"));
    EXPECT_EQ((std::vector<BYTE>{0, 1, 2, 3, 4}), queryValue(key, "Long"));
    EXPECT_EQ((std::vector<BYTE>{0xcd, 0xab, 0, 0}), queryValue(key, "Upper"));
    DWORD type = REG_NONE;
    EXPECT_EQ((std::vector<BYTE>{0x25, 0}), queryValue(key, "Expand", &type));
    EXPECT_EQ(DWORD(REG_EXPAND_SZ), type);
    EXPECT_EQ((std::vector<BYTE>{2, 0, 0, 0}), queryValue(key, nullptr));
    EXPECT_EQ(std::vector<std::string>{"Deeper"}, namesIn(key, true));
    RegCloseKey(key);
    EXPECT_EQ(std::nullopt, queryValue(HKEY_LOCAL_MACHINE, "Orphan"));
    EXPECT_EQ((std::vector<std::string>{"SOFTWARE"}), namesIn(HKEY_LOCAL_MACHINE, true));
    EXPECT_EQ((std::vector<std::string>{"Hand"}), namesIn(openKey("SOFTWARE", KEY_READ), true));
}

TEST_F(StandinRegistry, FollowsTheFileAndTheVariableFromCallToCall) {
    for (const char* which : {"first", "the second"}) {
        testsupport::writeFile(
            registry_,
            std::string("REGEDIT4\n[HKEY_LOCAL_MACHINE]\n\"Which\"=\"") + which + "\"\n");
        EXPECT_EQ(terminated(which), queryValue(HKEY_LOCAL_MACHINE, "Which"));
    }
    setenv("STANDIN_REGISTRY", scratch_.file("other.reg").c_str(), 1);
    EXPECT_EQ(std::nullopt, queryValue(HKEY_LOCAL_MACHINE, "Which"));
}

TEST_F(StandinRegistry, WithoutAWritableFileTheRegistryIsEmptyAndReadOnly) {
    HKEY key = nullptr;
    unsetenv("STANDIN_REGISTRY");
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, setValue(HKEY_LOCAL_MACHINE, "Value", REG_BINARY, {1}));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE"));
    EXPECT_EQ(std::vector<std::string>{}, namesIn(HKEY_LOCAL_MACHINE, true));
    setenv("STANDIN_REGISTRY", (scratch_.file("missing") + "/registry.reg").c_str(), 1);
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, nullptr, 0,
                                                    KEY_ALL_ACCESS, nullptr, &key, nullptr));
}

TEST_F(StandinRegistry, ProcessesWritingAtOnceLoseNothing) {
    auto writeMany = [](const std::string& prefix) {
        for (DWORD i = 0; i < 150; ++i) {
            HKEY key = createKey("SOFTWARE\\Race");
            std::string name = prefix + std::to_string(i);
            bool written = setValue(key, name.c_str(), REG_SZ, terminated(name)) == ERROR_SUCCESS;
            if (i % 10 == 0) {
                RegCloseKey(createKey(name.c_str(), key));
            }
            RegCloseKey(key);
            if (!written) {
                return false;
            }
        }
        return true;
    };
    ForkedChild child([&] { return long(writeMany("child-")); });
    EXPECT_TRUE(writeMany("parent-"));
    ASSERT_EQ(1, child.result());
    HKEY key = openKey("SOFTWARE\\Race", KEY_READ);
    EXPECT_EQ(300u, namesIn(key).size());
    EXPECT_EQ(30u, namesIn(key, true).size());
    for (std::string name : {"child-0", "child-149", "parent-0", "parent-149"}) {
        EXPECT_EQ(terminated(name), queryValue(key, name.c_str()));
    }
    RegCloseKey(key);
}

TEST_F(StandinRegistry, AnotherProcessSeesChangesAndDeletions) {
    HKEY doomed = createKey("SOFTWARE\\Doomed");
    ASSERT_EQ(
        1, ForkedChild([] {
               HKEY key = createKey("SOFTWARE\\Orlena");
               bool written = setValue(key, "ServerName", REG_SZ, {'t', 0}) == ERROR_SUCCESS;
               return long(RegCloseKey(key) == ERROR_SUCCESS && written &&
                           RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed") == ERROR_SUCCESS);
           }).result());
    EXPECT_EQ(terminated("t"), queryValue(openKey("software\\ORLENA", KEY_READ), "SERVERNAME"));
    HKEY child = nullptr;
    EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyExA(doomed, "Child", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &child, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(doomed));
}

TEST_F(StandinRegistry, RightsAreCheckedAsWindowsDoes) {
    RegCloseKey(createKey("SOFTWARE\\Present"));
    HKEY reader = openKey("SOFTWARE", KEY_READ), key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(reader, "Present", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr));
    // Wine lets this through; Windows checks KEY_CREATE_SUB_KEY on the parent's handle.
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegCreateKeyExA(reader, "Absent", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr));
    HKEY genericRead = openKey("SOFTWARE\\Present", GENERIC_READ);
    EXPECT_EQ(ERROR_ACCESS_DENIED, setValue(genericRead, "Value", REG_BINARY, {1}));
    HKEY genericWrite = openKey("SOFTWARE\\Present", GENERIC_WRITE);
    EXPECT_EQ(ERROR_SUCCESS, setValue(genericWrite, "Value", REG_BINARY, {1}));
    EXPECT_EQ(std::nullopt, queryValue(genericWrite, "Value"));
}

TEST_F(StandinRegistry, UnknownAndClosedHandlesAreInvalid) {
    HKEY key = createKey("SOFTWARE\\Handles"), opened = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, setValue(key, "Value", REG_BINARY, {1}));
    EXPECT_EQ(ERROR_INVALID_HANDLE,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &opened));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""));
}

}  // namespace
