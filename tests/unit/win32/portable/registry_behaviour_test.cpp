// The Windows registry behaviour that product code relies on. The same file runs against
// the Win32 stand-in and, built with mingw-w64, against Windows under Wine; so it uses
// nothing but the Windows API. Each test works below a key of its own that it removes
// again.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kTestsRoot[] = "SOFTWARE\\BrevantTests";

// Wine keeps values sorted by name and compares key names by their lower-case form, where
// Windows enumerates values in creation order and compares key names by their upper-case
// form; the tests of those two orders cannot hold there.
bool runningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::vector<BYTE> bytesOf(const std::string& text) {
    return std::vector<BYTE>(text.begin(), text.end());
}

// A string's bytes with its terminating zero, as REG_SZ data is normally written.
std::vector<BYTE> terminated(const std::string& text) {
    std::vector<BYTE> bytes = bytesOf(text);
    bytes.push_back(0);
    return bytes;
}

// Removes a key with everything below it; false when something stayed.
bool deleteTree(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    char child[256];
    DWORD size = sizeof child;
    bool cleared = true;
    while (cleared && RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) ==
                          ERROR_SUCCESS) {
        cleared = deleteTree(key, child);
        size = sizeof child;
    }
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name.c_str()) == ERROR_SUCCESS;
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

std::vector<std::string> subkeyNames(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    DWORD size = sizeof name;
    while (RegEnumKeyExA(key, DWORD(names.size()), name, &size, nullptr, nullptr, nullptr,
                         nullptr) == ERROR_SUCCESS) {
        names.emplace_back(name, size);
        size = sizeof name;
    }
    return names;
}

class RegistryBehaviour : public testing::Test {
  protected:
    void SetUp() override {
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::string(kTestsRoot) + "\\" +
                testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                std::to_string(stamp);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key_, nullptr));
    }

    void TearDown() override {
        RegCloseKey(key_);
        EXPECT_TRUE(deleteTree(HKEY_LOCAL_MACHINE, path_));
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTestsRoot);  // stays while other runs use it
    }

    HKEY createSubkey(const char* name) {
        HKEY subkey = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key_, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                 &subkey, nullptr));
        return subkey;
    }

    void setValue(const char* name, DWORD type, const std::vector<BYTE>& data) {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key_, name, 0, type, data.data(), DWORD(data.size())));
    }

    // The value's bytes, read with the size query first as callers do.
    std::vector<BYTE> queryValue(const char* name, DWORD* type) {
        DWORD size = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, name, nullptr, nullptr, nullptr, &size));
        std::vector<BYTE> data(size + 1);  // non-empty even for an empty value
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, name, nullptr, type, data.data(), &size));
        data.resize(size);
        return data;
    }

    std::string path_;
    HKEY key_ = nullptr;
};

TEST_F(RegistryBehaviour, ValuesOfEachTypeReadBackAsWritten) {
    const std::vector<BYTE> dword = {0x78, 0x56, 0x34, 0x12};
    const std::vector<BYTE> binary = {0x00, 0x01, 0x7f, 0x80, 0xff};
    const std::vector<BYTE> emptyBinary;
    setValue("Home", REG_SZ, terminated("C:\\Program Files\\\"Brevant\""));
    setValue("Count", REG_DWORD, dword);
    setValue("Hosts", REG_MULTI_SZ, bytesOf(std::string("alpha\0beta\0\0", 12)));
    setValue("Blob", REG_BINARY, binary);
    setValue("Nothing", REG_BINARY, emptyBinary);
    setValue(nullptr, REG_EXPAND_SZ, terminated("%SystemRoot%\\x"));

    DWORD type = REG_NONE;
    EXPECT_EQ(terminated("C:\\Program Files\\\"Brevant\""), queryValue("Home", &type));
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(dword, queryValue("Count", &type));
    EXPECT_EQ(DWORD(REG_DWORD), type);
    EXPECT_EQ(bytesOf(std::string("alpha\0beta\0\0", 12)), queryValue("Hosts", &type));
    EXPECT_EQ(DWORD(REG_MULTI_SZ), type);
    EXPECT_EQ(binary, queryValue("Blob", &type));
    EXPECT_EQ(DWORD(REG_BINARY), type);
    EXPECT_EQ(emptyBinary, queryValue("Nothing", &type));
    EXPECT_EQ(terminated("%SystemRoot%\\x"), queryValue("", &type));
    EXPECT_EQ(DWORD(REG_EXPAND_SZ), type);
}

TEST_F(RegistryBehaviour, KeyNamesMatchInAnyCaseAndKeepTheCreatorsSpelling) {
    RegCloseKey(createSubkey("MixedCase"));
    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "mIXEDcASE", 0, KEY_READ, &opened));
    RegCloseKey(opened);
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key_, "MIXEDCASE", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &opened, &disposition));
    RegCloseKey(opened);
    EXPECT_EQ(DWORD(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_EQ(std::vector<std::string>{"MixedCase"}, subkeyNames(key_));
}

TEST_F(RegistryBehaviour, ValueNamesMatchInAnyCaseAndKeepTheCreatorsSpelling) {
    setValue("ServerName", REG_SZ, terminated("first"));
    setValue("SERVERNAME", REG_SZ, terminated("second"));
    DWORD type = REG_NONE;
    EXPECT_EQ(terminated("second"), queryValue("servername", &type));
    EXPECT_EQ(std::vector<std::string>{"ServerName"}, valueNames(key_));
}

TEST_F(RegistryBehaviour, ValuesEnumerateInCreationOrder) {
    if (runningUnderWine()) {
        GTEST_SKIP() << "Wine enumerates values sorted by name";
    }
    const std::vector<BYTE> one = {1};
    setValue("zeta", REG_BINARY, one);
    setValue("Alpha", REG_BINARY, one);
    setValue("mid", REG_BINARY, one);
    setValue("ALPHA", REG_BINARY, {2});  // a value set again keeps its place
    EXPECT_EQ((std::vector<std::string>{"zeta", "Alpha", "mid"}), valueNames(key_));
}

TEST_F(RegistryBehaviour, SubkeysEnumerateAlphabeticallyWhateverTheCreationOrder) {
    for (const char* name : {"charlie", "Delta", "alpha", "Bravo"}) {
        RegCloseKey(createSubkey(name));
    }
    EXPECT_EQ((std::vector<std::string>{"alpha", "Bravo", "charlie", "Delta"}), subkeyNames(key_));
}

TEST_F(RegistryBehaviour, SubkeysCompareByTheirUpperCaseForm) {
    if (runningUnderWine()) {
        GTEST_SKIP() << "Wine compares key names by their lower-case form";
    }
    // '[' and '_' lie between the upper- and the lower-case letters.
    for (const char* name : {"_under", "b", "[bracket", "A"}) {
        RegCloseKey(createSubkey(name));
    }
    EXPECT_EQ((std::vector<std::string>{"A", "b", "[bracket", "_under"}), subkeyNames(key_));
}

TEST_F(RegistryBehaviour, QueryTellsTheSizeAndRefusesBuffersTooSmall) {
    setValue("Home", REG_SZ, terminated("/opt/x"));

    DWORD type = REG_NONE;
    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Home", nullptr, &type, nullptr, &size));
    EXPECT_EQ(7u, size);
    EXPECT_EQ(DWORD(REG_SZ), type);

    BYTE buffer[16];
    size = 3;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key_, "Home", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(7u, size);

    size = 7;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Home", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(7u, size);
    EXPECT_EQ(0, std::memcmp(buffer, "/opt/x", 7));

    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegQueryValueExA(key_, "Home", nullptr, nullptr, buffer, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(key_, "Absent", nullptr, nullptr, nullptr, &size));
}

TEST_F(RegistryBehaviour, StringWrittenWithoutItsZeroReadsBackWithoutIt) {
    // The byte after the five given is not zero: Windows would otherwise count it in.
    const char text[] = "Hello world";
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key_, "Greeting", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 5));

    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Greeting", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(5u, size);

    BYTE exact[5];
    size = sizeof exact;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Greeting", nullptr, nullptr, exact, &size));
    EXPECT_EQ(5u, size);
    EXPECT_EQ(0, std::memcmp(exact, "Hello", 5));

    // With room to spare the string comes back terminated, the zero still not counted.
    BYTE roomy[16];
    std::memset(roomy, 'x', sizeof roomy);
    size = sizeof roomy;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Greeting", nullptr, nullptr, roomy, &size));
    EXPECT_EQ(5u, size);
    EXPECT_STREQ("Hello", reinterpret_cast<const char*>(roomy));
}

TEST_F(RegistryBehaviour, EnumerationRefusesNameBuffersTooSmallAndEnds) {
    setValue("TwelveLetter", REG_BINARY, {1, 2, 3});

    char name[32];
    std::memset(name, '#', sizeof name);
    DWORD nameSize = 12;  // no room for the terminator
    DWORD dataSize = 0;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumValueA(key_, 0, name, &nameSize, nullptr, nullptr, nullptr, &dataSize));
    EXPECT_EQ('#', name[12]);

    nameSize = 13;
    DWORD type = REG_NONE;
    ASSERT_EQ(ERROR_SUCCESS,
              RegEnumValueA(key_, 0, name, &nameSize, nullptr, &type, nullptr, &dataSize));
    EXPECT_EQ(12u, nameSize);
    EXPECT_STREQ("TwelveLetter", name);
    EXPECT_EQ(DWORD(REG_BINARY), type);
    EXPECT_EQ(3u, dataSize);

    BYTE data[2];
    nameSize = sizeof name;
    dataSize = sizeof data;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumValueA(key_, 0, name, &nameSize, nullptr, nullptr, data, &dataSize));
    EXPECT_EQ(3u, dataSize);

    nameSize = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumValueA(key_, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr));

    RegCloseKey(createSubkey("Subkey"));
    nameSize = 6;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumKeyExA(key_, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
    nameSize = 7;
    ASSERT_EQ(ERROR_SUCCESS,
              RegEnumKeyExA(key_, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(6u, nameSize);
    EXPECT_STREQ("Subkey", name);
    nameSize = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumKeyExA(key_, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegistryBehaviour, OnlyKeysWithoutSubkeysCanBeDeleted) {
    HKEY parent = createSubkey("Parent\\Child");
    RegCloseKey(parent);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(key_, "Parent"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key_, "Parent\\Child"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key_, "Parent"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(key_, "Parent"));
}

TEST_F(RegistryBehaviour, HandleOpenedForReadingCannotSetValues) {
    HKEY reader = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, KEY_READ, &reader));
    const BYTE data[] = {1};
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(reader, "Value", 0, REG_BINARY, data, 1));
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(reader, "Value", nullptr, nullptr, nullptr, &size));
    RegCloseKey(reader);
}

TEST_F(RegistryBehaviour, MissingKeysAndBadPathsAreRefused) {
    HKEY opened = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key_, "Absent", 0, KEY_READ, &opened));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key_, "Absent\\Deeper", 0, KEY_READ, &opened));
    std::string leadingSeparator = "\\" + path_;
    EXPECT_EQ(ERROR_BAD_PATHNAME,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, leadingSeparator.c_str(), 0, KEY_READ, &opened));

    // A trailing separator names the same key.
    RegCloseKey(createSubkey("Present"));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "Present\\", 0, KEY_READ, &opened));
    RegCloseKey(opened);
}

TEST_F(RegistryBehaviour, HandleOfADeletedKeyReportsItDeleted) {
    HKEY doomed = createSubkey("Doomed");
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key_, "Doomed"));
    DWORD size = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(doomed, "", nullptr, nullptr, nullptr, &size));
    const BYTE data[] = {1};
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExA(doomed, "Value", 0, REG_BINARY, data, 1));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(doomed));
}

}  // namespace
