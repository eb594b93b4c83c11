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
using win32test::queryValue;
using win32test::setValue;
using win32test::terminated;

const HKEY kMachine = HKEY_LOCAL_MACHINE;

// A registry file of the test's own; the helpers work below HKEY_LOCAL_MACHINE.
class StandinRegistry : public testing::Test {
  protected:
    void SetUp() override { setenv("STANDIN_REGISTRY", registry_.c_str(), 1); }
    void TearDown() override { setenv("STANDIN_REGISTRY", previous_.c_str(), 1); }

    static HKEY create(const std::string& path, HKEY parent = kMachine) {
        LONG error = ERROR_SUCCESS;
        HKEY key = win32test::createKey(parent, path, &error);
        EXPECT_EQ(ERROR_SUCCESS, error) << path;
        return key;
    }
    static HKEY openKey(const std::string& path, REGSAM access = KEY_READ) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(kMachine, path.c_str(), 0, access, &key)) << path;
        return key;
    }
    static LONG createError(const char* path) {
        LONG error = ERROR_SUCCESS;
        RegCloseKey(win32test::createKey(kMachine, path, &error));
        return error;
    }

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
        {"", REG_SZ, terminated("default value")},
        {"Multi", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}},
        {"Bin", REG_BINARY, {1, 2, 3}},
        {"Say \"hi\" \\", REG_SZ, terminated("C:\\dir\\\"q\"")},
        {"Unterminated", REG_SZ, bytesOf("ab")},
        {"Tab", REG_SZ, terminated("a\tb")},
        {"Short", REG_DWORD, {1, 2}},
        {"Big", REG_QWORD, {8, 7, 6, 5, 4, 3, 2, 1}},
        {"Empty", REG_BINARY, {}},
    };
    HKEY key = create("SOFTWARE\\Orlena\\Brevant ISAPI");
    for (const auto& value : values) {
        ASSERT_EQ(ERROR_SUCCESS, setValue(key, value.name, value.type, value.data));
    }
    RegCloseKey(key);
    RegCloseKey(create("SOFTWARE\\Orlena\\Empty"));
    RegCloseKey(create("software\\ORLENA\\alpha"));
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
    std::filesystem::copy_file(registry_, scratch_.file("copy.reg"));
    setenv("STANDIN_REGISTRY", scratch_.file("copy.reg").c_str(), 1);
    key = openKey("SOFTWARE\\Orlena\\Brevant ISAPI");
    for (const auto& value : values) {
        DWORD type = REG_NONE;
        EXPECT_EQ(value.data, queryValue(key, value.name, &type)) << value.name;
        EXPECT_EQ(value.type, type) << value.name;
    }
    RegCloseKey(key);
}

// A file written by hand: blanks, escapes and continued lines are read, and what does not
// belong to HKEY_LOCAL_MACHINE or cannot be read is left out.
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
    HKEY key = openKey("SOFTWARE\\Hand");
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
    EXPECT_EQ(std::nullopt, queryValue(kMachine, "Orphan"));
    EXPECT_EQ((std::vector<std::string>{"SOFTWARE"}), namesIn(kMachine, true));
    EXPECT_EQ((std::vector<std::string>{"Hand"}), namesIn(openKey("SOFTWARE"), true));
}

TEST_F(StandinRegistry, FollowsTheFileAndTheVariableFromCallToCall) {
    for (std::string which : {"first", "the second"}) {
        testsupport::writeFile(registry_,
                               "REGEDIT4\n[HKEY_LOCAL_MACHINE]\n\"W\"=\"" + which + "\"");
        EXPECT_EQ(terminated(which), queryValue(kMachine, "W"));
    }
    setenv("STANDIN_REGISTRY", scratch_.file("other.reg").c_str(), 1);
    EXPECT_EQ(std::nullopt, queryValue(kMachine, "W"));
}

TEST_F(StandinRegistry, WithoutAWritableFileTheRegistryIsEmptyAndReadOnly) {
    unsetenv("STANDIN_REGISTRY");
    EXPECT_EQ(ERROR_ACCESS_DENIED, createError("SOFTWARE"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, setValue(kMachine, "Value", REG_BINARY, {1}));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(kMachine, "SOFTWARE"));
    EXPECT_EQ(std::vector<std::string>{}, namesIn(kMachine, true));
    setenv("STANDIN_REGISTRY", (scratch_.file("missing") + "/registry.reg").c_str(), 1);
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, createError("SOFTWARE"));
}

// The child's writes and its deletion of a key the parent holds open reach the parent.
TEST_F(StandinRegistry, ProcessesWritingAtOnceLoseNothing) {
    HKEY doomed = create("SOFTWARE\\Doomed");
    auto writeMany = [](const std::string& prefix) {
        bool written = true;
        for (int i = 0; i < 150 && written; ++i) {
            HKEY key = create("SOFTWARE\\Race");
            std::string name = prefix + std::to_string(i);
            written = setValue(key, name.c_str(), REG_SZ, terminated(name)) == ERROR_SUCCESS;
            if (i % 10 == 0) {
                RegCloseKey(create(name, key));
            }
            RegCloseKey(key);
        }
        return written;
    };
    ForkedChild child([&] {
        return long(writeMany("child-") && RegDeleteKeyA(kMachine, "SOFTWARE\\Doomed") == 0);
    });
    EXPECT_TRUE(writeMany("parent-"));
    ASSERT_EQ(1, child.result());
    HKEY key = openKey("SOFTWARE\\Race");
    EXPECT_EQ(300u, namesIn(key).size());
    EXPECT_EQ(30u, namesIn(key, true).size());
    EXPECT_EQ(terminated("child-149"), queryValue(key, "child-149"));
    RegCloseKey(key);
    LONG error = ERROR_SUCCESS;
    win32test::createKey(doomed, "Child", &error);
    EXPECT_EQ(ERROR_KEY_DELETED, error);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(doomed));
}

TEST_F(StandinRegistry, RightsAreCheckedAsWindowsDoes) {
    RegCloseKey(create("SOFTWARE\\Present"));
    HKEY reader = openKey("SOFTWARE"), key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(reader, "Present", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr));
    // Wine lets this through; Windows checks KEY_CREATE_SUB_KEY on the parent's handle.
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegCreateKeyExA(reader, "Absent", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              setValue(openKey("SOFTWARE\\Present", GENERIC_READ), "V", 3, {1}));
    HKEY writer = openKey("SOFTWARE\\Present", GENERIC_WRITE);
    EXPECT_EQ(ERROR_SUCCESS, setValue(writer, "V", REG_BINARY, {1}));
    EXPECT_EQ(std::nullopt, queryValue(writer, "V")) << "writing is no reading";
}

TEST_F(StandinRegistry, UnknownAndClosedHandlesAreInvalid) {
    HKEY key = create("SOFTWARE\\Handles"), opened = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, setValue(key, "Value", REG_BINARY, {1}));
    EXPECT_EQ(ERROR_INVALID_HANDLE,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &opened));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(kMachine));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyA(kMachine, ""));
}

}  // namespace
