// The connector's ISAPI entry points when the engine cannot start: the registry names a fresh
// install home and no Java installation, so the filter's start fails and the connector stays
// loaded to explain why. The filter leaves every URL but a servlet's to IIS, drops the client's
// own markers and rewrites the log record of a routed request.
#include <windows.h>
#include <httpext.h>
#include <httpfilt.h>

#include <cstring>
#include <string>

#include "fake_ecb.h"
#include "fake_filter_context.h"
#include "standin_world.h"

namespace {

constexpr char kReason[] = "Failed to get JNI environment (JavaHome =).";
constexpr char kIISTarget[] = "/Scripts/Brevant_Adapter.dll";

class EntryTest : public isapitest::HomeTest {
  protected:
    void SetUp() override {
        HomeTest::SetUp();
        ASSERT_TRUE(GetFilterVersion(&version_));
    }
    void TearDown() override { TerminateExtension(HSE_TERM_MUST_UNLOAD); }

    bool debugOutputHas(const std::string& text) const {
        return debugOutput().find(text) != std::string::npos;
    }
    DWORD preprocess(const std::string& url) {
        fake_.url = url;
        return HttpFilterProc(fake_.pfc(), SF_NOTIFY_PREPROC_HEADERS, fake_.preproc());
    }
    // The log record of a request the filter marked with `requested` (null: unmarked), as
    // target and parameters.
    std::string logged(const char* requested) {
        fake_.variables.clear();
        if (requested != nullptr) {
            fake_.variables.emplace_back("HTTP_X_BREVANT_REQUEST", requested);
        }
        fake_.logRecord()->pszTarget = kIISTarget;
        fake_.logRecord()->pszParameters = "";
        EXPECT_EQ(HttpFilterProc(fake_.pfc(), SF_NOTIFY_LOG, fake_.logRecord()),
                  SF_STATUS_REQ_NEXT_NOTIFICATION);
        return std::string(fake_.logRecord()->pszTarget) + "|" + fake_.logRecord()->pszParameters;
    }

    HTTP_FILTER_VERSION version_{};
    testsupport::FakeFilterContext fake_;
    testsupport::FakeEcb ecb_;
};

TEST_F(EntryTest, TheFilterAnnouncesItsVersionAndNotifications) {
    EXPECT_EQ(version_.dwFilterVersion, 0x00040000u);
    EXPECT_STREQ(version_.lpszFilterDesc, "Brevant Filter");
    EXPECT_EQ(version_.dwFlags, 0x00026203u);
}

TEST_F(EntryTest, TheExtensionAnnouncesItsVersionAndDescription) {
    HSE_VERSION_INFO version;
    std::memset(&version, 'x', sizeof version);
    ASSERT_TRUE(GetExtensionVersion(&version));
    EXPECT_EQ(version.dwExtensionVersion, 0x00040000u);
    EXPECT_EQ(std::string(version.lpszExtensionDesc, sizeof version.lpszExtensionDesc),
              "Brevant Extension" + std::string(HSE_MAX_EXT_DLL_NAME_LEN - 17, '\0'));
}

TEST_F(EntryTest, KeepsWhyTheEngineDidNotStart) {
    EXPECT_TRUE(debugOutputHas("Brevant: initializing.\n"));
    const std::string log = testsupport::readFile(home() + "/BrevantNative.log");
    EXPECT_NE(log.find("Brevant: Failed to initialize.\r\n"), std::string::npos);
    EXPECT_NE(log.find(std::string("Brevant: ") + kReason + "\r\n"), std::string::npos);
}

TEST_F(EntryTest, ServletURLsGetTheFailurePageByteForByte) {
    ASSERT_EQ(preprocess("http://example.com/servlet/Hello?x=1"), SF_STATUS_REQ_FINISHED);
    EXPECT_EQ(fake_.calls[fake_.calls.size() - 2],
              "ServerSupportFunction(0, <none>, Content-type: text/html\r\n\r\n, 0)");
    EXPECT_EQ(fake_.written,
              std::string("<html><head><title>Brevant Initialization Failed</title></head>"
                          "<body bgcolor=#ffffff><center><h2><font color=#FF0000>Brevant "
                          "Initialization Failed</font></h2></center>") +
                  kReason +
                  "<p>The JavaHome value is read from the registry.  If it is not correct then "
                  "edit the registry and set the keys in the following location to the correct "
                  "values:<p>HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft<p>If JavaHome is correct "
                  "then launch DBMON, restart the server and check for error messages in the "
                  "DBMON console.</body></html>");
}

TEST_F(EntryTest, TheExtensionAnswersTheProcessRequestFailedPageByteForByte) {
    EXPECT_EQ(HttpExtensionProc(ecb_.get()), static_cast<DWORD>(HSE_STATUS_ERROR));
    EXPECT_TRUE(ecb_.responseHeaders.empty());
    EXPECT_EQ(ecb_.writeFlags, std::vector<DWORD>{HSE_IO_SYNC});
    EXPECT_EQ(ecb_.written,
              "<html><head><title>Brevant ProcessRequest failed!!!</title></head><body "
              "bgcolor=#ffffff><center><h2><font color=#FF0000>Brevant ProcessRequest "
              "failed!!!</font></h2>\t<p>The request could not be processed due to an internal "
              "error.\t<p>Please contact the site administrator.</center></body></html>");
    EXPECT_TRUE(debugOutputHas("Brevant: ProcessRequest Failed!!!\n"));
}

TEST_F(EntryTest, TheExtensionUnloadsWithNothingToStop) {
    HttpExtensionProc(ecb_.get());
    EXPECT_TRUE(TerminateExtension(HSE_TERM_ADVISORY_UNLOAD));
    EXPECT_TRUE(TerminateExtension(HSE_TERM_MUST_UNLOAD));
}

TEST_F(EntryTest, OtherURLsPassUntouched) {
    for (const char* url : {"/index.html", "/Servlet/Hello", "http://example.com", "/"}) {
        EXPECT_EQ(preprocess(url), SF_STATUS_REQ_NEXT_NOTIFICATION) << url;
        EXPECT_EQ(fake_.url, url);
    }
    EXPECT_EQ(fake_.written, "");
}

TEST_F(EntryTest, ClientMarkersGoBeforeTheURLIsRead) {
    fake_.headers = {{"X-Brevant-Request", "/servlet/forged"}, {"X_Brevant_Request", "/x"}};
    preprocess("/index.html");
    EXPECT_TRUE(fake_.headers.empty());
    ASSERT_GE(fake_.calls.size(), 5u);
    EXPECT_EQ(fake_.calls[0], "SetHeader(X-Brevant-Request:, )");
    EXPECT_EQ(fake_.calls[4], "GetHeader(URL, 4096)");
}

// The log closed with the failed start: messages reach the debugger output only.
TEST_F(EntryTest, AnUnreadableURLOrAFailedResponseHeaderFailsTheRequest) {
    EXPECT_EQ(preprocess("/" + std::string(4095, 'a')), SF_STATUS_REQ_ERROR);
    EXPECT_TRUE(debugOutputHas("Brevant: HttpFilterProc() failed to get URL!!!\n"));
    fake_.failResponseHeader = true;
    EXPECT_EQ(preprocess("/servlet/x"), SF_STATUS_REQ_ERROR);
    EXPECT_TRUE(debugOutputHas("HttpFilterProc(): AddResponseHeader failed."));
}

// Unmarked, or without memory for the new record, IIS's own record stays.
TEST_F(EntryTest, TheLogShowsTheRequestedURLAndQuery) {
    EXPECT_EQ(logged("/servlet/a?b=1"), "/servlet/a|b=1");
    EXPECT_EQ(logged("/servlet/a"), "/servlet/a|");
    EXPECT_EQ(logged("/docs/index.jsp?page=2&x"), "/docs/index.jsp|page=2&x");
    EXPECT_EQ(logged(nullptr), std::string(kIISTarget) + "|");
    fake_.allocationsLeft = 1;
    EXPECT_EQ(logged("/servlet/a?b=1"), std::string(kIISTarget) + "|");
}

TEST_F(EntryTest, WithoutIISSecurityAuthenticationChangesNothing) {
    fake_.variables.emplace_back("HTTP_X_BREVANT_REQUEST", "/servlet/secret");
    char user[SF_MAX_USERNAME] = "mallory";
    char password[SF_MAX_PASSWORD] = "pw";
    HTTP_FILTER_AUTHENT authent{user, sizeof user, password, sizeof password};
    EXPECT_EQ(HttpFilterProc(fake_.pfc(), SF_NOTIFY_AUTHENTICATION, &authent),
              SF_STATUS_REQ_NEXT_NOTIFICATION);
    EXPECT_STREQ(user, "mallory");
    EXPECT_EQ(HttpFilterProc(fake_.pfc(), SF_NOTIFY_READ_RAW_DATA, nullptr),
              SF_STATUS_REQ_NEXT_NOTIFICATION);
}

}  // namespace
