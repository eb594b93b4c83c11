// The server settings against a registry and a metabase of the test's own: a registry file
// filled through the Win32 stand-in's registry functions and a metabase file in the format
// of docs/metabase.md, with the debugger output caught: no test opens the native log, so it
// echoes each message there as "Brevant: <message>\n".
#include <stdlib.h>
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "debug_output_capture.h"
#include "native/isapi/iisconfig/server_settings.h"
#include "native/isapi/iisconfig/virtual_dir.h"
#include "test_paths.h"

using namespace brevant::isapi::iisconfig;

namespace {

using Names = std::vector<std::string>;

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

// A REG_SZ value; `terminated` false stores it without its zero, as some installers do.
struct RegValue {
    std::string name;
    std::string data;
    bool terminated = true;
};

// COM initialised, as IIS has it on the thread that loads the filter; a test checks all the
// debugger output it causes. Single-threaded tests only (the fixture changes the process
// environment).
class ServerSettingsTest : public testing::Test {
  protected:
    void SetUp() override {
        const char* old = getenv("STANDIN_REGISTRY");
        oldRegistry_ = old != nullptr ? old : "";
        registry(nullptr);
        metabase("");
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override {
        EXPECT_EQ(newOutput(), "");
        CoUninitialize();
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
    void metabase(const std::string& text) { useFile("STANDIN_METABASE", text); }

    // What was written to the debugger output since the last call.
    std::string newOutput() {
        const std::string text = debugOutput_.text();
        return text.substr(std::exchange(seen_, text.size()));
    }

    // What `read` answers while COM is not initialised on the thread.
    template <typename Read>
    static auto withoutCom(Read read) {
        CoUninitialize();
        auto answer = read();
        CoInitialize(nullptr);
        return answer;
    }

    void expectURL(const std::string& dllPath, const std::string& url, const std::string& logged) {
        EXPECT_EQ(getExtensionURL(dllPath), url) << dllPath;
        EXPECT_EQ(newOutput(), logged) << dllPath;
    }

  private:
    // A new file each time: the stand-in reads it again whatever its time stamp.
    void useFile(const char* variable, const std::string& text) {
        const std::string path = scratch_.file(std::to_string(++files_));
        testsupport::writeFile(path, text);
        setenv(variable, path.c_str(), 1);
    }

    testsupport::ScratchDir scratch_{"iisconfig"};
    testsupport::DebugOutputCapture debugOutput_;
    std::string oldRegistry_;
    int files_ = 0;
    std::size_t seen_ = 0;
};

TEST_F(ServerSettingsTest, MimeMapFromAnOpenRegistryKeyWhateverItHoldsElseTheMetabaseList) {
    const std::string name63 = std::string(58, 't') + ",e,,x";
    const std::string ext15(15, 'x');
    const std::string type63 = "application/" + std::string(51, 'v');
    // Value names of the registry key, else entries of the metabase list; the map.
    const std::tuple<bool, Names, std::string> cases[] = {
        {true, {"text/html,htm,,h", "text/plain", "a,b", ",,"}, "text/html,htm;text/plain;a,b;,;"},
        // 63 characters fill the 64-byte buffer; a longer name is left out, not the rest.
        {true, {name63, "u" + name63, "i/p,p,,q"}, name63.substr(0, 60) + ";i/p,p;"},
        {true, {}, ""},  // the metabase is not asked
        {false, {".GIF,image/gif", "tar.gz,a/gz", "..z,a/b"}, "image/gif,GIF;a/gz,targz;a/b,z;"},
        // Entries too long for their fields, and one without type, are left out.
        {false,
         {"." + ext15 + ",a/b", ".y" + ext15 + ",a/b", ".c," + type63, ".d," + type63 + "v",
          ".nocomma", ".e,t/e"},
         "a/b," + ext15 + ";" + type63 + ",c;t/e,e;"},
    };
    for (const auto& [inRegistry, entries, map] : cases) {
        registry(inRegistry ? kMimeMapKey : nullptr,
                 std::vector<RegValue>(entries.begin(), entries.end()));
        std::string list = "[/LM/MimeMap]\nMD_MIME_MAP=6015 FILE INHERIT MULTISZ";
        for (const std::string& entry : inRegistry ? Names{".htm,text/html"} : entries) {
            list += " \"" + entry + "\"";
        }
        metabase(list + "\n");
        EXPECT_EQ(getMimeMap(), map) << testing::PrintToString(entries);
    }
    EXPECT_EQ(withoutCom(getMimeMap), "");  // the last list, but no metabase without COM
}

// As IIS writes them: with the user type IIS_MD_UT_FILE.
constexpr char kBrowsing[] = "[/LM/W3SVC]\nMD_DIRECTORY_BROWSING=6005 FILE INHERIT DWORD ";
constexpr char kList[] =
    R"(MD_DEFAULT_LOAD_FILE=6006 FILE INHERIT STRING " Default.htm,, Default.asp,\"index.html\",")";

Names defaultPages() {
    Names pages = {"before"};
    initDefaultPages(&pages);
    return pages;
}

TEST_F(ServerSettingsTest, DefaultPagesFromTheRegistryValueWholeElseTheMetabaseList) {
    const std::string on = kBrowsing + std::string("0x4000001e\n");
    metabase(on + kList);
    EXPECT_EQ(defaultPages(), Names{"before"});  // no W3SVC Parameters key
    for (bool terminated : {true, false}) {
        registry(kParametersKey, {{"Default Load File", "start.htm, index.htm", terminated}});
        EXPECT_EQ(defaultPages(), (Names{"before", "start.htm, index.htm"}));
    }
    registry(kParametersKey);
    const std::tuple<std::string, Names, std::string> cases[] = {
        {on + kList, {"before", "Default.htm", "Default.asp", "index.html"}, ""},
        {kBrowsing + std::string("0xbfffffff\n") + kList, {"before"}, ""},  // switched off
        {"[/LM/W3SVC]\n" + std::string(kList),
         {"before"},
         "Brevant: initDefaultPages() failed to get default page settings.\n"},
        {on, {"before"}, "Brevant: initDefaultPages() failed to get length of default pages.\n"},
    };
    for (const auto& [text, pages, logged] : cases) {
        metabase(text);
        EXPECT_EQ(defaultPages(), pages) << text;
        EXPECT_EQ(newOutput(), logged) << text;
    }
    EXPECT_EQ(withoutCom(defaultPages), Names{"before"});
    EXPECT_EQ(newOutput(), "Brevant: CoCreateInstance failed in initDefaultPages().\n");
}

std::string virtualDir(const std::string& key, const std::string& path, const char* access) {
    return "[/LM/W3SVC/" + key + "]\nMD_VR_PATH=3001 FILE INHERIT STRING \"" + path +
           "\"\nMD_ACCESS_PERM=6016 FILE INHERIT DWORD " + access + "\n";
}

TEST_F(ServerSettingsTest, ExtensionURLFromTheMetabaseSitesElseTheRegistrysVirtualRoots) {
    // Filters and Info come first and map the module, but are no web sites.
    metabase(virtualDir("Filters/ROOT/filters", "/opt/brevant", "0x205") +
             virtualDir("Info/ROOT/info", "/opt/brevant", "0x205") +
             virtualDir("1/ROOT/Scripts", "/srv/scripts", "0x205") +
             virtualDir("1/ROOT/Brevant", "/OPT/Brevant/Modules", "0x205") +
             virtualDir("1/ROOT/NoExec", "/srv/noexec", "0x201") +
             virtualDir("2/ROOT/Parent", "/srv", "0x201"));
    registry(kVirtualRootsKey, {{"/Scripts,", "/srv/scripts,,5"},
                                {"/Brevant,host", "/OPT/Brevant,,5"},
                                {"/NoExec,", "/srv/noexec,,1"},
                                {"/Raw,", "/srv/raw,,4", false},
                                // Fills the 512 bytes offered: no room for the zero.
                                {"/Full,", "/srv/full," + std::string(501, ' ') + "4", false},
                                {"/Elsewhere,", "/elsewhere,,5"}});
    expectURL("/opt/brevant/modules/x.dll", "/Brevant/Brevant_ISAPI.dll", "");
    // Site 2 matches too: its permission is checked, its URL is not taken.
    expectURL("/srv/noexec/x.dll", "/NoExec/Brevant_ISAPI.dll",
              std::string(kNoExecute) + kNoExecute);
    expectURL("/srv/other/x.dll", "/Parent/Brevant_ISAPI.dll", kNoExecute);
    expectURL("/elsewhere/x.dll", kFallback, kNoVirtualDir);  // the registry is not searched
    expectURL("/sr", kFallback, kNoVirtualDir);               // shorter than every physical path
    expectURL("", kFallback, "");
    std::string url = "url:";  // each search appends
    bool available = false;
    EXPECT_TRUE(findMetabaseVirtualDir("/opt/brevant/modules/x.dll", &url, &available) &&
                available);
    EXPECT_TRUE(findRegistryVirtualRoot("/srv/raw/x.dll", &url));
    EXPECT_EQ(url, "url:/Brevant/Brevant_ISAPI.dll/Raw/Brevant_ISAPI.dll");

    // Without COM, or without /LM/W3SVC, there is no metabase: the registry is searched.
    EXPECT_EQ(withoutCom([] { return getExtensionURL("/opt/brevant/x.dll"); }),
              "/Brevant/Brevant_ISAPI.dll");
    metabase("");
    expectURL("/srv/noexec/x.dll", "/NoExec/Brevant_ISAPI.dll", kNoExecute);
    expectURL("/srv/raw/x.dll", "/Raw/Brevant_ISAPI.dll", "");
    expectURL("/srv/full/x.dll", "/Full/Brevant_ISAPI.dll", "");
    expectURL("/nowhere/x.dll", kFallback, kNoVirtualDir);
}

}  // namespace
