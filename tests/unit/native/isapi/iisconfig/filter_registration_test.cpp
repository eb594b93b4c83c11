// ConfigureFilter and UnConfigureFilter against metabase files of the test's own, in the
// stand-in's form (docs/metabase.md), with the debugger output caught, byte for byte.
#include <stdlib.h>
#include <windows.h>
#include <objbase.h>
#include <iadmw.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "debug_output_capture.h"
#include "native/isapi/iisconfig/filter_entries.h"
#include "native/isapi/iisconfig/filter_registration.h"
#include "test_paths.h"

using namespace brevant::isapi::iisconfig;

namespace {

constexpr char kModule[] = "/opt/Brevant ISAPI/Brevant_ISAPI.dll";
// 1023 characters and the zero fill the 1024 bytes written; one more does not fit.
const std::string kLongest = "/" + std::string(1022, 'p'), kTooLong = kLongest + "q";
const std::string kSaved = "Brevant: metabase filter entry for Brevant saved.\n";
const std::string kFound = "Brevant: Found metabase filter entry for Brevant.\n";
const std::string kNotFound = "Brevant: Didn't find metabase filter entry for Brevant.\n";

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
std::string pathLine(const std::string& path = kModule) {
    return "Brevant: Path to filter = " + path + ".\n";
}

// Single-threaded tests only: the fixture changes the process environment.
class FilterRegistrationTest : public testing::Test {
  protected:
    // A new file (read again whatever its time stamp) with `keys`, which keys() reads back.
    void metabase(const std::string& keys) {
        path_ = scratch_.file(std::to_string(++files_));
        testsupport::writeFile(path_, "[/LM]\n\n[/LM/W3SVC]\n" + keys);
        setenv("STANDIN_METABASE", path_.c_str(), 1);
    }
    std::string keys() const {
        const std::string text = testsupport::readFile(path_);
        return text.substr(text.find("[/LM/W3SVC]\n") + 12);
    }

    // An export's answer, with the CoInitialize it leaves behind balanced.
    static BOOL call(BOOL (*exported)(const char*), const char* path = kModule) {
        const BOOL answer = exported(path);
        CoUninitialize();
        return answer;
    }

    // What was written to the debugger output since the last call.
    std::string newOutput() {
        const std::string text = debugOutput_.text();
        return text.substr(std::exchange(seen_, text.size()));
    }

  private:
    testsupport::ScratchDir scratch_{"filter-registration"};
    testsupport::DebugOutputCapture debugOutput_;
    std::string path_;
    int files_ = 0;
    std::size_t seen_ = 0;
};

// Configure decides by the image paths of all keys, unconfigure by the key names.
TEST_F(FilterRegistrationTest, EachExportDecidesByTheMetabaseAndSaysSo) {
    const auto set = ConfigureFilter, unset = UnConfigureFilter;
    const std::string other = key("C", "/c.dll"), adapter = key("A", "/x/Brevant_A.dll");
    // A Windows path, with what the file escapes, and a byte above 127 (widened to U+00E9,
    // stored as UTF-8, read back as the same byte).
    const std::string windows = "C:\\B ISAPI\\caf\xe9\\Brevant.dll";
    const std::string stored = key("Brevant", "C:\\\\B ISAPI\\\\caf\xc3\xa9\\\\Brevant.dll");
    const std::string appended = kNotFound + "Brevant: Current Filter Load Order = \n" +
                                 "Brevant: New Filter Load Order = ,Brevant\n" + kSaved;
    const std::string lower = key("L", "/opt/brevant/x.dll"), own = key("Brevant");
    const std::string noOrder = failed("GetData (filter load order)", "800cc801");
    const std::string big(512, 'x');  // longer than the 1024 bytes offered to the read
    const struct {
        BOOL (*exported)(const char*);
        std::string before;
        BOOL answer;
        std::string after, said;  // after: "" for unchanged; said: how the output ends
        const char* path = kModule;
    } cases[] = {
        {set, order(""), TRUE, order(",Brevant") + stored, appended, windows.c_str()},
        {set, order(",Brevant") + stored, TRUE, "",
         "Brevant: Brevant = " + windows + "\nBrevant: Current Filter Load Order = ,Brevant\n" +
             kFound},
        // Whatever the order holds, the item is appended.
        {set, order("Brevant") + other, TRUE, order("Brevant,Brevant") + other + own, kSaved},
        // Another key whose image path contains "Brevant" is the registration, also when keys
        // follow it or the load order cannot be read.
        {set, order("A") + adapter + other, TRUE, "", kFound},
        {set, order(nullptr) + adapter, TRUE, "", kFound},
        // The text is matched with its case; a key named Brevant does not count by its name.
        {set, order("L") + lower, TRUE, order("L,Brevant") + lower + own, kSaved},
        {set, order("Brevant") + key("Brevant", "/x.dll"), FALSE, "", failed("AddKey", "800700b7")},
        // Nothing is undone after a failure, and nothing saved.
        {set, order(nullptr), FALSE, order(nullptr) + own, noOrder},
        {set, order(big.c_str()), FALSE, order(big.c_str()) + own,
         failed("GetData (filter load order)", "8007007a")},
        {set, order(""), FALSE, order("") + "\n[/LM/W3SVC/Filters/Brevant]\n",
         failed("SetData (filter path)", "8007007a"), kTooLong.c_str()},
        {set, order(""), TRUE, order(",Brevant") + key("Brevant", kLongest), kSaved,
         kLongest.c_str()},
        {unset, order("Auth") + key("Auth", "/opt/Brevant/a.dll"), TRUE, "", kNotFound},
        {unset, order(",Brevant"), TRUE, "", kNotFound, nullptr},
        // A name containing the word, but no key "Brevant" to delete.
        {unset, order("Brevant_A") + key("Brevant_A"), FALSE, "", failed("DeleteKey", "80070003")},
        {unset, order(nullptr) + own, FALSE, order(nullptr), noOrder},
        // No Filters key.
        {set, "", FALSE, "", failed("OpenKey", "80070003")},
        {unset, "", FALSE, "", failed("OpenKey", "80070003")},
    };
    for (const auto& c : cases) {
        metabase(c.before);
        EXPECT_EQ(call(c.exported, c.path), c.answer) << c.before;
        EXPECT_EQ(keys(), c.after.empty() ? c.before : c.after);
        const std::string said = newOutput();
        EXPECT_TRUE(said.ends_with(c.said)) << said;
    }
}

// The last ",Brevant" goes, unless nothing would remain (as configured on an empty order);
// the item is not found first (without its comma), in another case, or cut short.
TEST_F(FilterRegistrationTest, UnconfigureRemovesTheKeyAndTheLastItemUnlessNothingWouldRemain) {
    std::vector<std::pair<std::string, std::string>> orders = {
        {"Compress,Auth,Brevant", "Compress,Auth"},
        {"Compress,Brevant,Auth", "Compress,Auth"},
        {",Brevant,Auth,Brevant", ",Brevant,Auth"}};
    for (const char* same : {",Brevant", "Brevant,Auth", ",brevant,Auth", ",Brevan", ""})
        orders.emplace_back(same, same);
    const std::string auth = key("Auth", "/a.dll"), names = "Retrieving filter name\n";
    for (const auto& [before, after] : orders) {
        metabase(order(before.c_str()) + auth + key("Brevant"));
        EXPECT_TRUE(call(UnConfigureFilter)) << before;
        EXPECT_EQ(keys(), order(after.c_str()) + auth) << before;
        EXPECT_EQ(newOutput(),
                  pathLine() + names + "Retrieved filter name\nBrevant: filter name = Auth\n" +
                      names + "Retrieved filter name\nBrevant: filter name = Brevant\n" + names +
                      "Brevant: Removed metabase filter entry for Brevant.\n" +
                      "Brevant: Current Filter Load Order = " + before + "\n" +
                      (before == after ? "" : "Brevant: New Filter Load Order = " + after + "\n"));
    }
}

// The exports fail without COM of their model, a path, or the key, which another client holds
// past their 200 ms; the steps work through its handle, with a reference of their own meanwhile.
TEST_F(FilterRegistrationTest, TheExportsFailWithoutTheKeyOrCOMOrAPathButNotTheSteps) {
    metabase(order("A"));
    for (auto exported : {ConfigureFilter, UnConfigureFilter}) {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_FALSE(call(exported));  // CoInitialize asks for the other threading model
        EXPECT_EQ(newOutput(), pathLine() + failed("CoInitialize", "80010106"));
    }
    EXPECT_FALSE(ConfigureFilter(nullptr));
    EXPECT_EQ(newOutput(), "Brevant: ConfigureFilter() needs the path to the filter.\n");
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
