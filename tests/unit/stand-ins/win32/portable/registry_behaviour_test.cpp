// The Windows registry behaviour that product code relies on, below a key of each test's own.
// That values of every type read back as written is checked through the stand-in's file by
// registry_test.cpp.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "win32_helpers.h"

namespace {

using win32test::createKey;
using win32test::namesIn;
using win32test::terminated;

const char kTestsRoot[] = "SOFTWARE\\BrevantTests";

// Wine sorts values by name and compares key names by their lower-case form.
bool runningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Removes a key with everything below it; false when something stayed.
bool deleteTree(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    bool cleared = true;
    for (const std::string& child : namesIn(key, true)) {
        cleared = deleteTree(key, child) && cleared;
    }
    RegCloseKey(key);
    return cleared && RegDeleteKeyA(parent, name.c_str()) == ERROR_SUCCESS;
}

class RegistryBehaviour : public testing::Test {
  protected:
    void SetUp() override {
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::string(kTestsRoot) + "\\" +
                testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                std::to_string(stamp);
        key_ = createKey(HKEY_LOCAL_MACHINE, path_);
    }
    void TearDown() override {
        RegCloseKey(key_);
        EXPECT_TRUE(deleteTree(HKEY_LOCAL_MACHINE, path_));
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTestsRoot);  // stays while other runs use it
    }

    void set(const char* name, DWORD type, const std::vector<BYTE>& data) {
        ASSERT_EQ(ERROR_SUCCESS, win32test::setValue(key_, name, type, data));
    }
    void addSubkey(const char* name) { RegCloseKey(createKey(key_, name)); }

    std::string path_;
    HKEY key_ = nullptr;
};

TEST_F(RegistryBehaviour, NamesMatchInAnyCaseAndKeepTheCreatorsSpelling) {
    addSubkey("MixedCase");
    DWORD disposition = 0;
    RegCloseKey(createKey(key_, "MIXEDCASE", nullptr, &disposition));
    EXPECT_EQ(DWORD(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_EQ(std::vector<std::string>{"MixedCase"}, namesIn(key_, true));
    set("ServerName", REG_SZ, terminated("first"));
    set("SERVERNAME", REG_SZ, terminated("second"));
    EXPECT_EQ(terminated("second"), win32test::queryValue(key_, "servername"));
    EXPECT_EQ(std::vector<std::string>{"ServerName"}, namesIn(key_));
}

TEST_F(RegistryBehaviour, ValuesEnumerateInCreationOrder) {
    for (const char* name : {"zeta", "Alpha", "mid", "ALPHA"}) {  // set again, kept in place
        set(name, REG_BINARY, {1});
    }
    std::vector<std::string> order = {"zeta", "Alpha", "mid"};
    if (runningUnderWine()) {
        order = {"Alpha", "mid", "zeta"};
    }
    EXPECT_EQ(order, namesIn(key_));
}

TEST_F(RegistryBehaviour, SubkeysEnumerateByTheirUpperCaseForm) {
    // '[' and '_' lie between the upper- and the lower-case letters.
    std::vector<std::string> order = {"A", "b", "charlie", "[bracket", "_under"};
    if (runningUnderWine()) {
        order = {"A", "b", "charlie"};  // Wine compares the lower-case form
    }
    for (auto name = order.rbegin(); name != order.rend(); ++name) {
        addSubkey(name->c_str());
    }
    EXPECT_EQ(order, namesIn(key_, true));
}

TEST_F(RegistryBehaviour, QueryTellsTheSizeAndRefusesBuffersTooSmall) {
    set("Home", REG_SZ, terminated("/opt/x"));
    BYTE buffer[16];
    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Home", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(7u, size);
    size = 6;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key_, "Home", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(7u, size);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Home", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegQueryValueExA(key_, "Home", nullptr, nullptr, buffer, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(key_, "Absent", nullptr, nullptr, nullptr, &size));
}

TEST_F(RegistryBehaviour, StringWrittenWithoutItsZeroReadsBackTerminatedWhereThereIsRoom) {
    // The byte after the five given is not zero: Windows would otherwise count it in.
    const char text[] = "Hello world";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "Greeting", 0, REG_SZ, (const BYTE*)text, 5));
    char exact[5], roomy[16];
    std::memset(roomy, 'x', sizeof roomy);
    DWORD size = sizeof exact;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(key_, "Greeting", nullptr, nullptr, (BYTE*)exact, &size));
    EXPECT_EQ(0, std::memcmp(exact, "Hello", 5));
    size = sizeof roomy;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(key_, "Greeting", nullptr, nullptr, (BYTE*)roomy, &size));
    EXPECT_EQ(5u, size);
    EXPECT_STREQ("Hello", roomy);
}

TEST_F(RegistryBehaviour, EnumerationTakesBuffersThatJustFitAndEnds) {
    set("TwelveLetter", REG_BINARY, {1, 2, 3});
    char name[32];
    std::memset(name, '#', sizeof name);
    BYTE data[3];
    DWORD nameSize = 12, dataSize = 2, type = REG_NONE;  // no room for the terminator
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumValueA(key_, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ('#', name[12]);
    nameSize = 13;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumValueA(key_, 0, name, &nameSize, nullptr, nullptr, data, &dataSize));
    EXPECT_EQ(3u, dataSize);
    nameSize = 13;
    ASSERT_EQ(ERROR_SUCCESS,
              RegEnumValueA(key_, 0, name, &nameSize, nullptr, &type, data, &dataSize));
    EXPECT_STREQ("TwelveLetter", name);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumValueA(key_, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
    addSubkey("Subkey");
    nameSize = 6;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumKeyExA(key_, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegistryBehaviour, OnlyKeysWithoutSubkeysCanBeDeleted) {
    addSubkey("Parent\\Child");
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(key_, "Parent"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key_, "Parent\\Child"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key_, "Parent"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(key_, "Parent"));
}

TEST_F(RegistryBehaviour, MissingKeysAndBadPathsAreRefused) {
    HKEY opened = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key_, "Absent\\Deeper", 0, KEY_READ, &opened));
    EXPECT_EQ(ERROR_BAD_PATHNAME,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("\\" + path_).c_str(), 0, KEY_READ, &opened));
    addSubkey("Present");
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "Present\\", 0, KEY_READ, &opened));
    RegCloseKey(opened);
}

TEST_F(RegistryBehaviour, HandleOfADeletedKeyReportsItDeleted) {
    HKEY doomed = createKey(key_, "Doomed");
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key_, "Doomed"));
    EXPECT_EQ(ERROR_KEY_DELETED, win32test::setValue(doomed, "Value", REG_BINARY, {1}));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(doomed));
}

}  // namespace
