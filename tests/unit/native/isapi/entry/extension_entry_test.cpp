// The extension without an engine bridge: what it announces, the page a client that names
// its URL directly receives, and unloads that find nothing to stop.
#include <string>

#include "entry_test_home.h"
#include "fake_ecb.h"

namespace entrytest {
namespace {

using testsupport::FakeEcb;
using ExtensionEntryTest = EntryTest;

TEST_F(ExtensionEntryTest, ExtensionWithoutEngineAnswersWithTheProcessRequestFailedPage) {
    HSE_VERSION_INFO version;
    std::memset(&version, 'x', sizeof version);
    ASSERT_TRUE(GetExtensionVersion(&version));
    EXPECT_EQ(version.dwExtensionVersion, 0x00040000u);
    EXPECT_EQ(std::string(version.lpszExtensionDesc, sizeof version.lpszExtensionDesc),
              "Brevant Extension" + std::string(HSE_MAX_EXT_DLL_NAME_LEN - 17, '\0'));

    loadFilter();  // fails to start the engine: no bridge
    FakeEcb ecb;
    EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_ERROR));
    EXPECT_TRUE(ecb.responseHeaders.empty());
    EXPECT_EQ(ecb.written,
              "<html><head><title>Brevant ProcessRequest failed!!!</title></head><body "
              "bgcolor=#ffffff><center><h2><font color=#FF0000>Brevant ProcessRequest "
              "failed!!!</font></h2>\t<p>The request could not be processed due to an internal "
              "error.\t<p>Please contact the site administrator.</center></body></html>");
    EXPECT_EQ(ecb.writeFlags, std::vector<DWORD>{HSE_IO_SYNC});
    EXPECT_NE(debugOutput_.text().find("Brevant: ProcessRequest Failed!!!\n"), std::string::npos);

    EXPECT_TRUE(TerminateExtension(HSE_TERM_ADVISORY_UNLOAD));
    EXPECT_TRUE(TerminateExtension(HSE_TERM_MUST_UNLOAD));
}

}  // namespace
}  // namespace entrytest
