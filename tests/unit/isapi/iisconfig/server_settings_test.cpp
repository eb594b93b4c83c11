// The server settings against a registry and a metabase of the test's own, written as the
// files the Win32 stand-in reads (REGEDIT4, and the format of docs/metabase.md), with the
// debugger output caught: no test opens the native log, so it echoes each message there as
// "Brevant: <message>\n".
#include <stdlib.h>
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "debug_output_capture.h"
#include "server_settings.h"
#include "test_paths.h"

using namespace brevant::isapi::iisconfig;

namespace {

constexpr char kMimeMapKey[] = "SYSTEM\\CurrentControlSet\\Services\\InetInfo\\Parameters\\MimeMap";
constexpr char kParametersKey[] = "SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters";
constexpr char kVirtualRootsKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots";
constexpr char kFallback[] = "/Scripts/Brevant_ISAPI.dll";
constexpr char kNoVirtualDir[] =
    "Brevant: ERROR - need to create a virtual directory with execute permission\n"
    "Brevant: for the directory where the DLL is located.\n";
constexpr char kNoExecute[] =
    "Brevant: ERROR - the virtual directory for the directory where the\n"
    "Brevant: DLL is located needs execute permission.\n";

// A string value; `terminated` false stores it without its zero, as some installers do.
struct RegValue {
    std::string name;
    std::string data;
    bool terminated = true;
};

// COM initialised, as IIS has it on the thread that loads the filter. Single-threaded
// tests only (the fixture changes the process environment).
class ServerSettingsTest : public testing::Test {
  protected:
    void SetUp() override {
        const char* old = getenv("STANDIN_REGISTRY");
        oldRegistry_ = old != nullptr ? old : "";
        clearRegistry();
        metabase("");
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override {
        CoUninitialize();
        unsetenv("STANDIN_METABASE");
        setenv("STANDIN_REGISTRY", oldRegistry_.c_str(), 1);
    }

    void clearRegistry() {
        registry_ = "REGEDIT4\n";
        useFile("STANDIN_REGISTRY", registry_);
    }
    // Adds HKEY_LOCAL_MACHINE\<key> with its string values (REG_SZ, as bytes) to the registry.
    void registry(const std::string& key, const std::vector<RegValue>& values = {}) {
        registry_ += "\n[HKEY_LOCAL_MACHINE\\" + key + "]\n";
        for (const RegValue& value : values) {
            registry_ += "\"" + value.name + "\"=hex(1):";
            for (unsigned char c : value.data + (value.terminated ? std::string(1, '\0') : "")) {
                char byte[4];
                std::snprintf(byte, sizeof byte, "%02x,", c);
                registry_ += byte;
            }
            registry_.back() = '\n';
        }
        useFile("STANDIN_REGISTRY", registry_);
    }
    void metabase(const std::string& text) { useFile("STANDIN_METABASE", text); }

    // What was written to the debugger output since the last call.
    std::string newOutput() {
        std::string text = debugOutput_.text();
        std::string added = text.substr(std::min(seen_, text.size()));
        seen_ = text.size();
        return added;
    }

  private:
    // A new file each time: the stand-in reads it again whatever its time stamp.
    void useFile(const char* variable, const std::string& text) {
        std::string path = scratch_.file(std::to_string(++files_));
        testsupport::writeFile(path, text);
        setenv(variable, path.c_str(), 1);
    }

    testsupport::ScratchDir scratch_{"iisconfig"};
    testsupport::DebugOutputCapture debugOutput_;
    std::string registry_;
    std::string oldRegistry_;
    int files_ = 0;
    std::size_t seen_ = 0;
};

std::string mimeMetabase(const std::vector<std::string>& entries) {
    std::string text = "[/LM/MimeMap]\nMD_MIME_MAP=6015 FILE INHERIT MULTISZ";
    for (const std::string& entry : entries) {
        text += " \"" + entry + "\"";
    }
    return text + "\n";
}

TEST_F(ServerSettingsTest, MimeMapFromAnOpenRegistryKeyWhateverItHolds) {
    metabase(mimeMetabase({".htm,text/html"}));  // never asked
    const std::string name63 = std::string(58, 't') + ",e,,x";
    struct {
        std::vector<std::string> names;
        std::string map;
    } cases[] = {
        {{"text/html,htm,,h", "image/gif,gif,,g"}, "text/html,htm;image/gif,gif;"},
        {{"text/plain", "a,b", "x,y,z,w", ",,"}, "text/plain;a,b;x,y;,;"},
        // 63 characters fill the 64-byte buffer; a longer name is left out, not the rest.
        {{name63, "u" + name63, "image/png,png,,p"}, name63.substr(0, 60) + ";image/png,png;"},
        {{}, ""},
    };
    for (const auto& c : cases) {
        std::vector<RegValue> values;
        for (const std::string& name : c.names) {
            values.push_back({name, ""});
        }
        clearRegistry();
        registry(kMimeMapKey, values);
        EXPECT_EQ(getMimeMap(), c.map) << testing::PrintToString(c.names);
    }
}

TEST_F(ServerSettingsTest, MimeMapFromTheMetabaseListTurnedRound) {
    const std::string ext15(15, 'x');
    const std::string type63 = "application/" + std::string(51, 'v');
    struct {
        std::vector<std::string> entries;
        std::string map;
    } cases[] = {
        {{".htm,text/html", ".GIF,image/gif"}, "text/html,htm;image/gif,GIF;"},
        {{"tar.gz,application/gzip", "..z,a/b"}, "application/gzip,targz;a/b,z;"},
        // Entries too long for their fields, and one without type, are left out.
        {{"." + ext15 + ",a/b", ".y" + ext15 + ",a/b", ".c," + type63, ".d," + type63 + "v",
          ".nocomma", ".e,t/e"},
         "a/b," + ext15 + ";" + type63 + ",c;t/e,e;"},
        {{}, ""},
    };
    for (const auto& c : cases) {
        metabase(mimeMetabase(c.entries));
        EXPECT_EQ(getMimeMap(), c.map) << testing::PrintToString(c.entries);
    }
    metabase("");
    EXPECT_EQ(getMimeMap(), "");
    metabase(mimeMetabase({".htm,text/html"}));
    CoUninitialize();
    EXPECT_EQ(getMimeMap(), "");  // no metabase without COM
    CoInitialize(nullptr);
    EXPECT_EQ(newOutput(), "");
}

// As IIS writes them: with the user type IIS_MD_UT_FILE.
constexpr char kBrowsingOn[] = "MD_DIRECTORY_BROWSING=6005 FILE INHERIT DWORD 0x4000001e\n";
constexpr char kList[] =
    "MD_DEFAULT_LOAD_FILE=6006 FILE INHERIT STRING \"Default.htm, "
    "Default.asp,\\\"index.html\\\"\"\n";

std::vector<std::string> defaultPages() {
    std::vector<std::string> pages = {"before"};
    initDefaultPages(&pages);
    return pages;
}

TEST_F(ServerSettingsTest, DefaultPagesFromTheRegistryValueWholeOrTheMetabaseList) {
    metabase(std::string("[/LM/W3SVC]\n") + kBrowsingOn + kList);
    EXPECT_EQ(defaultPages(), std::vector<std::string>{"before"});  // no W3SVC Parameters key
    for (bool terminated : {true, false}) {
        clearRegistry();
        registry(kParametersKey, {{"Default Load File", "start.htm, index.htm", terminated}});
        EXPECT_EQ(defaultPages(), (std::vector<std::string>{"before", "start.htm, index.htm"}));
    }
    clearRegistry();
    registry(kParametersKey);
    EXPECT_EQ(defaultPages(),
              (std::vector<std::string>{"before", "Default.htm", "Default.asp", "index.html"}));
    metabase(std::string("[/LM/W3SVC]\n") + kBrowsingOn +
             "MD_DEFAULT_LOAD_FILE=6006 FILE INHERIT STRING \" \\\"a\\\" ,, b,\"\n");
    EXPECT_EQ(defaultPages(), (std::vector<std::string>{"before", "a", "b"}));
    metabase("[/LM/W3SVC]\nMD_DIRECTORY_BROWSING=6005 FILE INHERIT DWORD 0xbfffffff\n" +
             std::string(kList));  // default documents switched off
    EXPECT_EQ(defaultPages(), std::vector<std::string>{"before"});
    EXPECT_EQ(newOutput(), "");
}

TEST_F(ServerSettingsTest, DefaultPagesMetabaseFailuresAreLogged) {
    registry(kParametersKey);
    const std::string noSettings =
        "Brevant: initDefaultPages() failed to get default page settings.\n";
    const std::pair<std::string, std::string> cases[] = {
        {std::string("[/LM/W3SVC]\n") + kList, noSettings},
        {"", noSettings},
        {std::string("[/LM/W3SVC]\n") + kBrowsingOn,
         "Brevant: initDefaultPages() failed to get length of default pages.\n"},
    };
    for (const auto& [text, message] : cases) {
        metabase(text);
        EXPECT_EQ(defaultPages(), std::vector<std::string>{"before"}) << text;
        EXPECT_EQ(newOutput(), message) << text;
    }
    CoUninitialize();
    EXPECT_EQ(defaultPages(), std::vector<std::string>{"before"});
    CoInitialize(nullptr);
    EXPECT_EQ(newOutput(), "Brevant: CoCreateInstance failed in initDefaultPages().\n");
}

std::string virtualDir(const std::string& key, const std::string& path, const char* access) {
    return "[/LM/W3SVC/" + key + "]\nMD_VR_PATH=3001 FILE INHERIT STRING \"" + path +
           "\"\nMD_ACCESS_PERM=6016 FILE INHERIT DWORD " + access + "\n";
}

struct URLCase {
    std::string dllPath;
    std::string url;
    std::string logged;
};

TEST_F(ServerSettingsTest, ExtensionURLFromTheMetabaseSitesVirtualDirectories) {
    // Filters and Info come first and map the module, but are no web sites.
    metabase(virtualDir("Filters/ROOT/filters", "/opt/brevant", "0x205") +
             virtualDir("Info/ROOT/info", "/opt/brevant", "0x205") +
             virtualDir("1/ROOT/Scripts", "/srv/scripts", "0x205") +
             virtualDir("1/ROOT/Brevant", "/OPT/Brevant/Modules", "0x205") +
             virtualDir("1/ROOT/NoExec", "/srv/noexec", "0x201") +
             virtualDir("2/ROOT/Parent", "/srv", "0x201"));
    // Not looked at while there is a metabase.
    registry(kVirtualRootsKey, {{"/Elsewhere,", "/elsewhere,,5"}});
    const URLCase cases[] = {
        {"/opt/brevant/modules/Brevant_ISAPI.dll", "/Brevant/Brevant_ISAPI.dll", ""},
        // Site 2 matches too: its permission is checked, its URL is not taken.
        {"/srv/noexec/Brevant_ISAPI.dll", "/NoExec/Brevant_ISAPI.dll",
         std::string(kNoExecute) + kNoExecute},
        {"/srv/other/Brevant_ISAPI.dll", "/Parent/Brevant_ISAPI.dll", kNoExecute},
        {"/elsewhere/Brevant_ISAPI.dll", kFallback, kNoVirtualDir},
        {"/sr", kFallback, kNoVirtualDir},  // shorter than every physical path
        {"", kFallback, ""},
    };
    for (const URLCase& c : cases) {
        EXPECT_EQ(getExtensionURL(c.dllPath), c.url) << c.dllPath;
        EXPECT_EQ(newOutput(), c.logged) << c.dllPath;
    }
}

TEST_F(ServerSettingsTest, ExtensionURLFromTheRegistryWithoutMetabase) {
    registry(kVirtualRootsKey, {{"/Scripts,", "/srv/scripts,,5"},
                                {"/Brevant,host", "/OPT/Brevant,,5"},
                                {"/NoExec,", "/srv/noexec,,1"},
                                {"/Raw,", "/srv/raw,,4", false},
                                // Fills the 512 bytes offered: no room for the zero.
                                {"/Full,", "/srv/full," + std::string(501, ' ') + "4", false}});
    const URLCase cases[] = {
        {"/opt/brevant/Brevant_ISAPI.dll", "/Brevant/Brevant_ISAPI.dll", ""},
        {"/srv/noexec/Brevant_ISAPI.dll", "/NoExec/Brevant_ISAPI.dll", kNoExecute},
        {"/srv/raw/Brevant_ISAPI.dll", "/Raw/Brevant_ISAPI.dll", ""},
        {"/srv/full/Brevant_ISAPI.dll", "/Full/Brevant_ISAPI.dll", ""},
        {"/nowhere/Brevant_ISAPI.dll", kFallback, kNoVirtualDir},
    };
    for (const URLCase& c : cases) {
        EXPECT_EQ(getExtensionURL(c.dllPath), c.url) << c.dllPath;
        EXPECT_EQ(newOutput(), c.logged) << c.dllPath;
    }
}

TEST_F(ServerSettingsTest, TheSearchesAppendAndSayWhetherTheMetabaseWasThere) {
    const std::string dll = "/opt/brevant/Brevant_ISAPI.dll";
    registry(kVirtualRootsKey, {{"/Brevant,", "/opt/brevant,,5"}});
    std::string url = "url:";
    bool available = true;
    EXPECT_FALSE(findMetabaseVirtualDir(dll, &url, &available));
    EXPECT_FALSE(available);  // no /LM/W3SVC
    EXPECT_TRUE(findRegistryVirtualRoot(dll, &url));
    metabase(virtualDir("1/ROOT/Brevant", "/opt/brevant", "0x205"));
    EXPECT_TRUE(findMetabaseVirtualDir(dll, &url, &available));
    EXPECT_TRUE(available);
    EXPECT_EQ(url, "url:/Brevant/Brevant_ISAPI.dll/Brevant/Brevant_ISAPI.dll");
    CoUninitialize();
    EXPECT_FALSE(findMetabaseVirtualDir(dll, &url, &available));
    EXPECT_FALSE(available);  // no COM, no metabase
    CoInitialize(nullptr);
    EXPECT_EQ(newOutput(), "");
}

}  // namespace
