// The extension without an engine bridge: what it announces, the page a client that names
// its URL directly receives, and unloads that find nothing to stop.
#include <cstring>
#include <string>

#include "entry_test_home.h"
#include "fake_ecb.h"

namespace entrytest {
namespace {

class ExtensionEntryTest : public EntryTest {
  protected:
    DWORD serve() {
        loadFilter();  // fails to start the engine: no bridge
        return HttpExtensionProc(ecb_.get());
    }

    testsupport::FakeEcb ecb_;
};

TEST_F(ExtensionEntryTest, AnnouncesItsVersionAndDescription) {
    HSE_VERSION_INFO version;
    std::memset(&version, 'x', sizeof version);
    ASSERT_TRUE(GetExtensionVersion(&version));
    EXPECT_EQ(version.dwExtensionVersion, 0x00040000u);
    EXPECT_EQ(std::string(version.lpszExtensionDesc, sizeof version.lpszExtensionDesc),
              "Brevant Extension" + std::string(HSE_MAX_EXT_DLL_NAME_LEN - 17, '\0'));
}

TEST_F(ExtensionEntryTest, WithoutEngineAnswersTheProcessRequestFailedPageByteForByte) {
    EXPECT_EQ(serve(), static_cast<DWORD>(HSE_STATUS_ERROR));
    EXPECT_TRUE(ecb_.responseHeaders.empty());
    EXPECT_EQ(ecb_.writeFlags, std::vector<DWORD>{HSE_IO_SYNC});
    EXPECT_EQ(ecb_.written,
              "<html><head><title>Brevant ProcessRequest failed!!!</title></head><body "
              "bgcolor=#ffffff><center><h2><font color=#FF0000>Brevant ProcessRequest "
              "failed!!!</font></h2>\t<p>The request could not be processed due to an internal "
              "error.\t<p>Please contact the site administrator.</center></body></html>");
    EXPECT_TRUE(debugOutputHas("Brevant: ProcessRequest Failed!!!\n"));
}

TEST_F(ExtensionEntryTest, UnloadsWithNothingToStop) {
    serve();
    EXPECT_TRUE(TerminateExtension(HSE_TERM_ADVISORY_UNLOAD));
    EXPECT_TRUE(TerminateExtension(HSE_TERM_MUST_UNLOAD));
}

}  // namespace
}  // namespace entrytest
