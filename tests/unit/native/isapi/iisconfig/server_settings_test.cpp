// The server settings read from IIS: the MIME map, the default documents and the
// extension's URL. No test opens the native log, so it echoes each message to the debugger
// output as "Brevant: <message>\n".
#include <windows.h>
#include <objbase.h>

#include <string>
#include <utility>
#include <vector>

#include "standin_world.h"
#include "native/isapi/iisconfig/server_settings.h"

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
// As IIS writes them: with the user type IIS_MD_UT_FILE.
constexpr char kBrowsing[] = "[/LM/W3SVC]\nMD_DIRECTORY_BROWSING=6005 FILE INHERIT DWORD ";
constexpr char kPageList[] =
    R"(MD_DEFAULT_LOAD_FILE=6006 FILE INHERIT STRING " Default.htm,, Default.asp,\"index.html\",")";
const std::string kLoadDefaultOn = kBrowsing + std::string("0x4000001e\n") + kPageList;

std::string virtualDir(const std::string& key, const std::string& path, const char* access) {
    return "[/LM/W3SVC/" + key + "]\nMD_VR_PATH=3001 FILE INHERIT STRING \"" + path +
           "\"\nMD_ACCESS_PERM=6016 FILE INHERIT DWORD " + access + "\n";
}

// COM initialised, as IIS has it on the thread that loads the filter; all debugger output is
// checked.
class ServerSettingsTest : public isapitest::StandinWorld {
  protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override {
        EXPECT_EQ(newOutput(), "");
        CoUninitialize();
    }

    // The MIME map of a registry key whose value names are `names`, beside a metabase list.
    std::string mimeMapOfRegistry(const Names& names) {
        registry(kMimeMapKey, std::vector<isapitest::RegValue>(names.begin(), names.end()));
        metabase(mimeList({".htm,text/html"}));
        return getMimeMap();
    }
    static std::string mimeList(const Names& entries) {
        std::string list = "[/LM/MimeMap]\nMD_MIME_MAP=6015 FILE INHERIT MULTISZ";
        for (const std::string& entry : entries) {
            list += " \"" + entry + "\"";
        }
        return list + "\n";
    }

    static Names defaultPages() {
        Names pages = {"before"};
        initDefaultPages(&pages);
        return pages;
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

    // Sites of the metabase, and the registry's virtual roots older IIS keeps.
    void sitesAndVirtualRoots() {
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
    }
};

// A value name "type,ext,,x" gives "type,ext"; the metabase is then not asked.
TEST_F(ServerSettingsTest, MimeMapFromTheRegistryKeysValueNames) {
    const std::string name63 = std::string(58, 't') + ",e,,x";
    const std::pair<Names, std::string> cases[] = {
        {{"text/html,htm,,h", "text/plain", "a,b", ",,"}, "text/html,htm;text/plain;a,b;,;"},
        // 63 characters fill the 64-byte buffer; a longer name is left out, not the rest.
        {{name63, "u" + name63, "i/p,p,,q"}, name63.substr(0, 60) + ";i/p,p;"},
        {{}, ""},
    };
    for (const auto& [names, map] : cases) {
        EXPECT_EQ(mimeMapOfRegistry(names), map) << testing::PrintToString(names);
    }
}

TEST_F(ServerSettingsTest, MimeMapFromTheMetabaseListWithoutARegistryKey) {
    const std::string ext15(15, 'x'), type63 = "application/" + std::string(51, 'v');
    const std::pair<Names, std::string> cases[] = {
        {{".GIF,image/gif", "tar.gz,a/gz", "..z,a/b"}, "image/gif,GIF;a/gz,targz;a/b,z;"},
        // Entries too long for their fields, and one without type, are left out.
        {{"." + ext15 + ",a/b", ".y" + ext15 + ",a/b", ".c," + type63, ".d," + type63 + "v",
          ".nocomma", ".e,t/e"},
         "a/b," + ext15 + ";" + type63 + ",c;t/e,e;"},
    };
    for (const auto& [entries, map] : cases) {
        metabase(mimeList(entries));
        EXPECT_EQ(getMimeMap(), map) << testing::PrintToString(entries);
    }
}

TEST_F(ServerSettingsTest, MimeMapWithoutComIsEmpty) {
    metabase(mimeList({".e,t/e"}));
    EXPECT_EQ(withoutCom(getMimeMap), "");
}

// Without the W3SVC Parameters key there are none, not even the metabase's.
TEST_F(ServerSettingsTest, DefaultPageFromTheRegistryValueWhole) {
    metabase(kLoadDefaultOn);
    for (bool terminated : {true, false}) {
        registry(kParametersKey, {{"Default Load File", "start.htm, index.htm", terminated}});
        EXPECT_EQ(defaultPages(), (Names{"before", "start.htm, index.htm"}));
    }
    registry(nullptr);
    EXPECT_EQ(defaultPages(), Names{"before"});
}

TEST_F(ServerSettingsTest, DefaultPagesFromTheMetabaseWhenLoadDefaultIsOn) {
    const struct {
        std::string text;
        Names pages;
        std::string logged;
    } cases[] = {
        {kLoadDefaultOn, {"before", "Default.htm", "Default.asp", "index.html"}, ""},
        {kBrowsing + std::string("0xbfffffff\n") + kPageList, {"before"}, ""},
        {"[/LM/W3SVC]\n" + std::string(kPageList),
         {"before"},
         "Brevant: initDefaultPages() failed to get default page settings.\n"},
        {kBrowsing + std::string("0x4000001e\n"),
         {"before"},
         "Brevant: initDefaultPages() failed to get length of default pages.\n"},
    };
    registry(kParametersKey);
    for (const auto& c : cases) {
        metabase(c.text);
        EXPECT_EQ(defaultPages(), c.pages) << c.text;
        EXPECT_EQ(newOutput(), c.logged) << c.text;
    }
}

TEST_F(ServerSettingsTest, NoDefaultPagesWithoutCom) {
    registry(kParametersKey);
    EXPECT_EQ(withoutCom(defaultPages), Names{"before"});
    EXPECT_EQ(newOutput(), "Brevant: CoCreateInstance failed in initDefaultPages().\n");
}

TEST_F(ServerSettingsTest, ExtensionURLFromTheMetabaseSiteThatHoldsTheModule) {
    sitesAndVirtualRoots();
    expectURL("/opt/brevant/modules/x.dll", "/Brevant/Brevant_ISAPI.dll", "");
    // Site 2 matches too: its permission is checked, its URL is not taken.
    expectURL("/srv/noexec/x.dll", "/NoExec/Brevant_ISAPI.dll",
              std::string(kNoExecute) + kNoExecute);
    expectURL("/srv/other/x.dll", "/Parent/Brevant_ISAPI.dll", kNoExecute);
}

TEST_F(ServerSettingsTest, ExtensionURLFallsBackWhenNoSiteHoldsTheModule) {
    sitesAndVirtualRoots();
    expectURL("/elsewhere/x.dll", kFallback, kNoVirtualDir);  // the registry is not searched
    expectURL("/sr", kFallback, kNoVirtualDir);               // shorter than every physical path
    expectURL("", kFallback, "");
}

TEST_F(ServerSettingsTest, ExtensionURLFromTheRegistryWithoutAMetabase) {
    sitesAndVirtualRoots();
    metabase("");  // no /LM/W3SVC
    expectURL("/srv/noexec/x.dll", "/NoExec/Brevant_ISAPI.dll", kNoExecute);
    expectURL("/srv/raw/x.dll", "/Raw/Brevant_ISAPI.dll", "");
    expectURL("/srv/full/x.dll", "/Full/Brevant_ISAPI.dll", "");
    expectURL("/nowhere/x.dll", kFallback, kNoVirtualDir);
}

TEST_F(ServerSettingsTest, ExtensionURLFromTheRegistryWithoutCom) {
    sitesAndVirtualRoots();
    EXPECT_EQ(withoutCom([] { return getExtensionURL("/opt/brevant/x.dll"); }),
              "/Brevant/Brevant_ISAPI.dll");
}

}  // namespace
