// ConfigureFilter and UnConfigureFilter, and the steps they take, against metabase files of
// the test's own, with what they say on the debugger output byte for byte.
#include <windows.h>
#include <objbase.h>
#include <iadmw.h>

#include <string>
#include <utility>
#include <vector>

#include "standin_world.h"
#include "native/isapi/iisconfig/filter_entries.h"
#include "native/isapi/iisconfig/filter_registration.h"

using namespace brevant::isapi::iisconfig;

namespace {

constexpr char kModule[] = "/opt/Brevant ISAPI/Brevant_ISAPI.dll";
const std::string kSaved = "Brevant: metabase filter entry for Brevant saved.\n";
const std::string kFound = "Brevant: Found metabase filter entry for Brevant.\n";
const std::string kNotFound = "Brevant: Didn't find metabase filter entry for Brevant.\n";
const std::string kNames = "Retrieving filter name\n";

// The sections below /LM/W3SVC as the stand-in writes them: the Filters key with its load
// order (none for null), a filter key as registration writes it.
std::string order(const char* order) {
    const std::string key = "\n[/LM/W3SVC/Filters]\n";
    return order ? key + "MD_FILTER_LOAD_ORDER=2040 SERVER NONE STRING \"" + order + "\"\n" : key;
}
std::string key(const std::string& name, const std::string& imagePath = kModule) {
    return "\n[/LM/W3SVC/Filters/" + name + "]\nMD_FILTER_IMAGE_PATH=2041 SERVER NONE STRING \"" +
           imagePath + "\"\nMD_FILTER_ENABLED=2043 SERVER NONE DWORD 0x00000001\n";
}
std::string failed(const std::string& call, const char* code) {
    return "Brevant: " + call + " failed = " + code + " \n";
}
std::string pathLine() {
    return std::string("Brevant: Path to filter = ") + kModule + ".\n";
}
const std::string kOwn = key("Brevant");
const std::string kNoOrder = failed("GetData (filter load order)", "800cc801");
const std::string kNoFilters = failed("OpenKey", "80070003");

// One export's call on a metabase whose /LM/W3SVC holds `before`: its answer, the keys it
// leaves ("" for unchanged), and how its debugger output ends.
struct Case {
    std::string before;
    BOOL answer;
    std::string after, said;
    const char* path = kModule;
};

class FilterRegistrationTest : public isapitest::StandinWorld {
  protected:
    void filters(const std::string& keys) { metabase("[/LM]\n\n[/LM/W3SVC]\n" + keys); }
    std::string keys() const {
        const std::string text = metabaseText();
        return text.substr(text.find("[/LM/W3SVC]\n") + 12);
    }

    // An export's answer, with the CoInitialize it leaves behind balanced.
    static BOOL call(BOOL (*exported)(const char*), const char* path = kModule) {
        const BOOL answer = exported(path);
        CoUninitialize();
        return answer;
    }
    void check(BOOL (*exported)(const char*), const Case& c) {
        filters(c.before);
        EXPECT_EQ(call(exported, c.path), c.answer) << c.before;
        EXPECT_EQ(keys(), c.after.empty() ? c.before : c.after);
        const std::string said = newOutput();
        EXPECT_TRUE(said.ends_with(c.said)) << said;
    }
};

// Configure decides by the image paths of all keys and appends ",Brevant" to the order.
TEST_F(FilterRegistrationTest, ConfigureAddsTheKeyUnlessAnImagePathNamesTheFilter) {
    const std::string other = key("C", "/c.dll"), adapter = key("A", "/x/Brevant_A.dll");
    // A Windows path, with what the file escapes, and a byte above 127 (widened to U+00E9,
    // stored as UTF-8, read back as the same byte).
    const std::string windows = "C:\\B ISAPI\\caf\xe9\\Brevant.dll";
    const std::string stored = key("Brevant", "C:\\\\B ISAPI\\\\caf\xc3\xa9\\\\Brevant.dll");
    const std::string lower = key("L", "/opt/brevant/x.dll");
    const Case cases[] = {
        {order(""), TRUE, order(",Brevant") + stored,
         kNotFound + "Brevant: Current Filter Load Order = \n" +
             "Brevant: New Filter Load Order = ,Brevant\n" + kSaved,
         windows.c_str()},
        {order(",Brevant") + stored, TRUE, "",
         "Brevant: Brevant = " + windows + "\nBrevant: Current Filter Load Order = ,Brevant\n" +
             kFound},
        // Whatever the order holds, the item is appended.
        {order("Brevant") + other, TRUE, order("Brevant,Brevant") + other + kOwn, kSaved},
        // Another key whose image path contains "Brevant" is the registration, also when keys
        // follow it or the load order cannot be read.
        {order("A") + adapter + other, TRUE, "", kFound},
        {order(nullptr) + adapter, TRUE, "", kFound},
        // The text is matched with its case; a key named Brevant does not count by its name.
        {order("L") + lower, TRUE, order("L,Brevant") + lower + kOwn, kSaved},
        {order("Brevant") + key("Brevant", "/x.dll"), FALSE, "", failed("AddKey", "800700b7")},
        {"", FALSE, "", kNoFilters},
    };
    for (const Case& c : cases) {
        check(ConfigureFilter, c);
    }
}

// 1023 characters and the zero fill the 1024 bytes written; one more does not fit. Nothing is
// undone after a failure, and nothing saved.
TEST_F(FilterRegistrationTest, ConfigureFailsOnWhatDoesNotFitAndKeepsWhatItWrote) {
    const std::string longest = "/" + std::string(1022, 'p'), tooLong = longest + "q";
    const std::string big(512, 'x');  // longer than the 1024 bytes offered to the read
    const Case cases[] = {
        {order(""), TRUE, order(",Brevant") + key("Brevant", longest), kSaved, longest.c_str()},
        {order(""), FALSE, order("") + "\n[/LM/W3SVC/Filters/Brevant]\n",
         failed("SetData (filter path)", "8007007a"), tooLong.c_str()},
        {order(nullptr), FALSE, order(nullptr) + kOwn, kNoOrder},
        {order(big.c_str()), FALSE, order(big.c_str()) + kOwn,
         failed("GetData (filter load order)", "8007007a")},
    };
    for (const Case& c : cases) {
        check(ConfigureFilter, c);
    }
}

// Unconfigure decides by the key names.
TEST_F(FilterRegistrationTest, UnconfigureFindsTheFilterByItsKeyName) {
    const Case cases[] = {
        {order("Auth") + key("Auth", "/opt/Brevant/a.dll"), TRUE, "", kNotFound},
        {order(",Brevant"), TRUE, "", kNotFound, nullptr},
        // A name containing the word, but no key "Brevant" to delete.
        {order("Brevant_A") + key("Brevant_A"), FALSE, "", failed("DeleteKey", "80070003")},
        {order(nullptr) + kOwn, FALSE, order(nullptr), kNoOrder},
        {"", FALSE, "", kNoFilters},
    };
    for (const Case& c : cases) {
        check(UnConfigureFilter, c);
    }
}

// The last ",Brevant" goes, unless nothing would remain (as configured on an empty order);
// the item is not found first (without its comma), in another case, or cut short.
TEST_F(FilterRegistrationTest, UnconfigureRemovesTheKeyAndTheLastItemUnlessNothingWouldRemain) {
    std::vector<std::pair<std::string, std::string>> orders = {
        {"Compress,Auth,Brevant", "Compress,Auth"},
        {"Compress,Brevant,Auth", "Compress,Auth"},
        {",Brevant,Auth,Brevant", ",Brevant,Auth"}};
    for (const char* same : {",Brevant", "Brevant,Auth", ",brevant,Auth", ",Brevan", ""}) {
        orders.emplace_back(same, same);
    }
    const std::string auth = key("Auth", "/a.dll");
    for (const auto& [before, after] : orders) {
        filters(order(before.c_str()) + auth + kOwn);
        EXPECT_TRUE(call(UnConfigureFilter)) << before;
        EXPECT_EQ(keys(), order(after.c_str()) + auth) << before;
        EXPECT_EQ(newOutput(),
                  pathLine() + kNames + "Retrieved filter name\nBrevant: filter name = Auth\n" +
                      kNames + "Retrieved filter name\nBrevant: filter name = Brevant\n" + kNames +
                      "Brevant: Removed metabase filter entry for Brevant.\n" +
                      "Brevant: Current Filter Load Order = " + before + "\n" +
                      (before == after ? "" : "Brevant: New Filter Load Order = " + after + "\n"));
    }
}

TEST_F(FilterRegistrationTest, BothFailWhenCOMRunsAnotherThreadingModel) {
    filters(order("A"));
    for (auto exported : {ConfigureFilter, UnConfigureFilter}) {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_FALSE(call(exported));  // CoInitialize asks for the other model
        EXPECT_EQ(newOutput(), pathLine() + failed("CoInitialize", "80010106"));
    }
}

TEST_F(FilterRegistrationTest, ConfigureNeedsAPath) {
    EXPECT_FALSE(ConfigureFilter(nullptr));
    EXPECT_EQ(newOutput(), "Brevant: ConfigureFilter() needs the path to the filter.\n");
}

// Another client holds the key past the exports' 200 ms; the steps work through its handle,
// with a reference of their own meanwhile.
TEST_F(FilterRegistrationTest, AKeyHeldElsewhereFailsTheExportsButNotTheSteps) {
    filters(order("A"));
    CoInitialize(nullptr);
    IMSAdminBase* admin = nullptr;
    CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_ALL, IID_IMSAdminBase,
                     reinterpret_cast<void**>(&admin));
    METADATA_HANDLE held = 0;
    admin->OpenKey(METADATA_MASTER_ROOT_HANDLE, u"/LM/W3SVC/Filters",
                   METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE, 1000, &held);
    EXPECT_FALSE(call(ConfigureFilter));
    EXPECT_EQ(newOutput(), pathLine() + failed("OpenKey", "80070094"));
    EXPECT_TRUE(!findFilterEntry(admin, held) && addFilterEntry(admin, held, kModule) &&
                findFilterEntry(admin, held) && removeFilterEntry(admin, held));
    admin->CloseKey(held);
    EXPECT_EQ(admin->Release(), 0u);
    CoUninitialize();
    EXPECT_EQ(keys(), order("A"));
}

}  // namespace
