// ConfigureFilter and UnConfigureFilter against metabase files of the test's own, written
// and compared in the stand-in's own form (docs/metabase.md), with the debugger output
// caught: what a registration leaves in the file, byte for byte, and what it says.
#include <stdlib.h>
#include <windows.h>
#include <objbase.h>
#include <iadmw.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "debug_output_capture.h"
#include "filter_registration.h"
#include "test_paths.h"

using namespace brevant::isapi::iisconfig;

namespace {

constexpr char kModule[] = "/opt/Brevant ISAPI/Brevant_ISAPI.dll";

// The metabase file as the stand-in writes it: its header, then the sections in order.
std::string stored(const std::vector<std::string>& keys) {
    std::string text =
        "# The IIS metabase of the Linux stand-in; the format is described in "
        "docs/metabase.md.\n"
        "# Programs rewrite this file when they change the metabase: comments are not kept.\n"
        "\n[/LM]\n\n[/LM/W3SVC]\n";
    for (const std::string& key : keys) {
        text += "\n" + key;
    }
    return text;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The Filters key with its load order (none for null).
std::string filters(const char* order) {
    std::string key = "[/LM/W3SVC/Filters]\n";
    if (order != nullptr) {
        key += "MD_FILTER_LOAD_ORDER=2040 SERVER NONE STRING " + quoted(order) + "\n";
    }
    return key;
}

// A filter key as registration writes it.
std::string filterKey(const std::string& name, const std::string& imagePath) {
    return "[/LM/W3SVC/Filters/" + name + "]\nMD_FILTER_IMAGE_PATH=2041 SERVER NONE STRING " +
           quoted(imagePath) + "\nMD_FILTER_ENABLED=2043 SERVER NONE DWORD 0x00000001\n";
}

std::string registered(const std::string& imagePath = kModule) {
    return filterKey("Brevant", imagePath);
}

// The pieces every call writes first.
std::string pathLine(const std::string& path = kModule) {
    return "Brevant: Path to filter = " + path + ".\n";
}

// One metabase file per test case; the debugger output caught. Single-threaded tests only
// (the fixture changes the process environment). Each call of an export is followed by a
// CoUninitialize, for the CoInitialize the export leaves behind.
class FilterRegistrationTest : public testing::Test {
  protected:
    void TearDown() override { unsetenv("STANDIN_METABASE"); }

    // A new file each time: the stand-in reads it again whatever its time stamp.
    void metabase(const std::string& text) {
        path_ = scratch_.file(std::to_string(++files_));
        testsupport::writeFile(path_, text);
        setenv("STANDIN_METABASE", path_.c_str(), 1);
    }
    std::string metabaseText() const { return testsupport::readFile(path_); }

    static BOOL configure(const char* path = kModule) { return balanced(ConfigureFilter(path)); }
    static BOOL unconfigure(const char* path = kModule) {
        return balanced(UnConfigureFilter(path));
    }

    // What was written to the debugger output since the last call.
    std::string newOutput() {
        const std::string text = debugOutput_.text();
        return text.substr(std::exchange(seen_, text.size()));
    }
    // The output's last line.
    std::string lastLine() {
        std::string text = newOutput();
        std::size_t start = text.find_last_of('\n', text.size() >= 2 ? text.size() - 2 : 0);
        return start == std::string::npos ? text : text.substr(start + 1);
    }

  private:
    static BOOL balanced(BOOL answer) {
        CoUninitialize();
        return answer;
    }

    testsupport::ScratchDir scratch_{"filter-registration"};
    testsupport::DebugOutputCapture debugOutput_;
    std::string path_;
    int files_ = 0;
    std::size_t seen_ = 0;
};

TEST_F(FilterRegistrationTest, ConfigureWritesTheKeyAndAppendsTheItemThenFindsItAndWritesNothing) {
    // A Windows path, with what the file escapes, and a byte above 127 (widened to U+00E9,
    // stored as UTF-8, read back as the same byte).
    const std::string path = "C:\\Brevant ISAPI\\caf\xe9\\Brevant_ISAPI.dll";
    metabase(stored({filters("")}));
    EXPECT_TRUE(configure(path.c_str()));
    const std::string once =
        stored({filters(",Brevant"), registered("C:\\\\Brevant ISAPI\\\\caf\xc3\xa9\\\\"
                                                "Brevant_ISAPI.dll")});
    EXPECT_EQ(metabaseText(), once);
    EXPECT_EQ(newOutput(), pathLine(path) +
                               "Brevant: Didn't find metabase filter entry for Brevant.\n"
                               "Brevant: Current Filter Load Order = \n"
                               "Brevant: New Filter Load Order = ,Brevant\n"
                               "Brevant: metabase filter entry for Brevant saved.\n");

    EXPECT_TRUE(configure("/elsewhere/Brevant_ISAPI.dll"));
    EXPECT_EQ(metabaseText(), once);
    EXPECT_EQ(newOutput(), pathLine("/elsewhere/Brevant_ISAPI.dll") + "Brevant: Brevant = " + path +
                               "\n"
                               "Brevant: Current Filter Load Order = ,Brevant\n"
                               "Brevant: Found metabase filter entry for Brevant.\n");
}

TEST_F(FilterRegistrationTest, ConfigureDecidesByTheImagePathsOfAllKeys) {
    const std::string other = filterKey("Compress", "/opt/filters/compress.dll");
    struct Case {
        std::string before;
        BOOL answer;
        std::string after;  // "" for unchanged
        std::string lastLine;
    };
    const Case cases[] = {
        {stored({filters("Compress,Auth"), other}), TRUE,
         stored({filters("Compress,Auth,Brevant"), other, registered()}),
         "Brevant: metabase filter entry for Brevant saved.\n"},
        // Whatever the order holds, the item is appended.
        {stored({filters("Brevant"), other}), TRUE,
         stored({filters("Brevant,Brevant"), other, registered()}),
         "Brevant: metabase filter entry for Brevant saved.\n"},
        // Another key whose image path contains "Brevant" is the registration, also when
        // keys follow it.
        {stored({filters("Adapter"), filterKey("Adapter", "/opt/x/Brevant_Adapter.dll"), other}),
         TRUE, "", "Brevant: Found metabase filter entry for Brevant.\n"},
        // ... also when the load order cannot be read.
        {stored({filters(nullptr), filterKey("Adapter", "/opt/x/Brevant_Adapter.dll")}), TRUE, "",
         "Brevant: Found metabase filter entry for Brevant.\n"},
        // The text is matched with its case; a key named Brevant does not count by its name.
        {stored({filters("Lower"), filterKey("Lower", "/opt/brevant/x.dll")}), TRUE,
         stored({filters("Lower,Brevant"), filterKey("Lower", "/opt/brevant/x.dll"), registered()}),
         "Brevant: metabase filter entry for Brevant saved.\n"},
        {stored({filters("Brevant"), filterKey("Brevant", "/opt/x/other.dll")}), FALSE, "",
         "Brevant: AddKey failed = 800700b7 \n"},
        // Nothing is undone after a failure, and nothing saved.
        {stored({filters(nullptr)}), FALSE, stored({filters(nullptr), registered()}),
         "Brevant: GetData (filter load order) failed = 800cc801 \n"},
        // Longer than the 1024 bytes offered to the read.
        {stored({filters(std::string(512, 'x').c_str())}), FALSE,
         stored({filters(std::string(512, 'x').c_str()), registered()}),
         "Brevant: GetData (filter load order) failed = 8007007a \n"},
    };
    for (const auto& [before, answer, after, last] : cases) {
        metabase(before);
        EXPECT_EQ(configure(), answer) << before;
        EXPECT_EQ(metabaseText(), after.empty() ? before : after);
        EXPECT_EQ(lastLine(), last) << before;
    }
}

TEST_F(FilterRegistrationTest, UnconfigureRemovesTheKeyAndTheLastItemUnlessNothingWouldRemain) {
    const std::string other = filterKey("Auth", "/opt/filters/auth.dll");
    // The load order before and after; the key "Brevant" goes in every case.
    const std::pair<const char*, const char*> orders[] = {
        {"Compress,Auth,Brevant", "Compress,Auth"},
        {"Compress,Brevant,Auth", "Compress,Auth"},
        {",Brevant,Auth,Brevant", ",Brevant,Auth"},  // the last occurrence only
        {",Brevant", ",Brevant"},          // as configured on an empty order: nothing would remain
        {"Brevant,Auth", "Brevant,Auth"},  // first, without its comma: not found
        {",brevant,Auth", ",brevant,Auth"},
        {",Brevan", ",Brevan"},  // shorter than the item
        {"", ""},
    };
    for (const auto& [before, after] : orders) {
        metabase(stored({filters(before), other, registered()}));
        EXPECT_TRUE(unconfigure()) << before;
        EXPECT_EQ(metabaseText(), stored({filters(after), other})) << before;
        const std::string written =
            std::string(before) == after
                ? ""
                : "Brevant: New Filter Load Order = " + std::string(after) + "\n";
        EXPECT_EQ(newOutput(), pathLine() +
                                   "Retrieving filter name\n"
                                   "Retrieved filter name\n"
                                   "Brevant: filter name = Auth\n"
                                   "Retrieving filter name\n"
                                   "Retrieved filter name\n"
                                   "Brevant: filter name = Brevant\n"
                                   "Retrieving filter name\n"
                                   "Brevant: Removed metabase filter entry for Brevant.\n"
                                   "Brevant: Current Filter Load Order = " +
                                   before + "\n" + written)
            << before;
    }
}

TEST_F(FilterRegistrationTest, UnconfigureDecidesByTheKeyNames) {
    struct Case {
        std::string before;
        BOOL answer;
        std::string after;  // "" for unchanged
        std::string lastLine;
    };
    const Case cases[] = {
        {stored({filters("Auth"), filterKey("Auth", "/opt/Brevant/auth.dll")}), TRUE, "",
         "Brevant: Didn't find metabase filter entry for Brevant.\n"},
        {stored({filters(",Brevant")}), TRUE, "",
         "Brevant: Didn't find metabase filter entry for Brevant.\n"},
        // A name containing the word, but no key "Brevant" to delete.
        {stored({filters("Brevant_Adapter"), filterKey("Brevant_Adapter", "/opt/a.dll")}), FALSE,
         "", "Brevant: DeleteKey failed = 80070003 \n"},
        {stored({filters(nullptr), registered()}), FALSE, stored({filters(nullptr)}),
         "Brevant: GetData (filter load order) failed = 800cc801 \n"},
    };
    for (const auto& [before, answer, after, last] : cases) {
        metabase(before);
        EXPECT_EQ(unconfigure(), answer) << before;
        EXPECT_EQ(metabaseText(), after.empty() ? before : after);
        EXPECT_EQ(lastLine(), last) << before;
    }
}

TEST_F(FilterRegistrationTest, TheFrameFailsWithoutCOMOrTheFiltersKey) {
    for (auto call : {ConfigureFilter, UnConfigureFilter}) {
        metabase(stored({filters("")}));
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_FALSE(call(kModule));  // CoInitialize asks for the other threading model
        CoUninitialize();
        EXPECT_EQ(newOutput(), pathLine() + "Brevant: CoInitialize failed = 80010106 \n");

        metabase(stored({}));
        EXPECT_FALSE(call(kModule));
        CoUninitialize();
        EXPECT_EQ(newOutput(), pathLine() + "Brevant: OpenKey failed = 80070003 \n");
    }

    // Another client holds the key for longer than the 200 ms waited for it.
    metabase(stored({filters("")}));
    CoInitialize(nullptr);
    IMSAdminBase* admin = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_ALL, IID_IMSAdminBase,
                               reinterpret_cast<void**>(&admin)),
              S_OK);
    METADATA_HANDLE held = 0;
    const std::u16string filtersPath = u"/LM/W3SVC/Filters";
    ASSERT_EQ(admin->OpenKey(METADATA_MASTER_ROOT_HANDLE, filtersPath.c_str(),
                             METADATA_PERMISSION_READ, 1000, &held),
              S_OK);
    EXPECT_FALSE(configure());
    EXPECT_EQ(lastLine(), "Brevant: OpenKey failed = 80070094 \n");
    admin->CloseKey(held);
    admin->Release();
    CoUninitialize();
    EXPECT_EQ(metabaseText(), stored({filters("")}));
}

TEST_F(FilterRegistrationTest, PathsThatCannotBeWrittenAreRefused) {
    metabase(stored({filters("")}));
    EXPECT_FALSE(ConfigureFilter(nullptr));
    EXPECT_EQ(newOutput(), "Brevant: ConfigureFilter() needs the path to the filter.\n");
    EXPECT_EQ(metabaseText(), stored({filters("")}));

    // 1023 characters and the zero fill the write buffer; one more does not fit. The key
    // made before stays, without properties.
    const std::string longest = "/" + std::string(1022, 'p');
    EXPECT_FALSE(configure((longest + "q").c_str()));
    EXPECT_EQ(lastLine(), "Brevant: SetData (filter path) failed = 8007007a \n");
    EXPECT_EQ(metabaseText(), stored({filters(""), "[/LM/W3SVC/Filters/Brevant]\n"}));
    EXPECT_TRUE(unconfigure(nullptr));
    EXPECT_TRUE(configure(longest.c_str()));
    EXPECT_EQ(metabaseText(), stored({filters(",Brevant"), registered(longest)}));
}

TEST_F(FilterRegistrationTest, EachStepHoldsItsOwnReferenceOnlyWhileItRuns) {
    metabase(stored({filters("A")}));
    CoInitialize(nullptr);
    IMSAdminBase* admin = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_ALL, IID_IMSAdminBase,
                               reinterpret_cast<void**>(&admin)),
              S_OK);
    METADATA_HANDLE filtersKey = 0;
    const std::u16string filtersPath = u"/LM/W3SVC/Filters";
    ASSERT_EQ(
        admin->OpenKey(METADATA_MASTER_ROOT_HANDLE, filtersPath.c_str(),
                       METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE, 1000, &filtersKey),
        S_OK);
    EXPECT_FALSE(findFilterEntry(admin, filtersKey));
    EXPECT_TRUE(addFilterEntry(admin, filtersKey, kModule));
    EXPECT_TRUE(findFilterEntry(admin, filtersKey));
    EXPECT_TRUE(removeFilterEntry(admin, filtersKey));
    EXPECT_EQ(admin->AddRef(), 2u);
    EXPECT_EQ(admin->Release(), 1u);
    admin->CloseKey(filtersKey);
    admin->Release();
    CoUninitialize();
    EXPECT_EQ(metabaseText(), stored({filters("A")}));
    newOutput();
}

}  // namespace
