// The filter when the engine could not start: what it announces, the failure page for
// servlet URLs, every other URL left to IIS, the client's own markers dropped, and the log
// record of a routed request.
#include <string>

#include "entry_test_home.h"
#include "fake_filter_context.h"

namespace entrytest {
namespace {

constexpr char kReason[] = "Failed to get JNI environment (JavaHome =).";
constexpr char kIISTarget[] = "/Scripts/Brevant_Adapter.dll";

class FilterEntryTest : public EntryTest {
  protected:
    void SetUp() override {
        EntryTest::SetUp();
        version_ = loadFilter();
    }
    DWORD preprocess(const std::string& url) {
        fake_.url = url;
        return HttpFilterProc(fake_.pfc(), SF_NOTIFY_PREPROC_HEADERS, fake_.preproc());
    }
    // The log notification of a request the filter marked with `requested` (null: unmarked),
    // answering what IIS would log as target and parameters.
    std::string logged(const char* requested) {
        fake_.variables.clear();
        if (requested != nullptr) {
            fake_.variables.emplace_back("HTTP_X_BREVANT_REQUEST", requested);
        }
        fake_.logRecord()->pszTarget = kIISTarget;
        EXPECT_EQ(HttpFilterProc(fake_.pfc(), SF_NOTIFY_LOG, fake_.logRecord()),
                  SF_STATUS_REQ_NEXT_NOTIFICATION);
        return std::string(fake_.logRecord()->pszTarget) + "|" + fake_.logRecord()->pszParameters;
    }

    HTTP_FILTER_VERSION version_{};
    testsupport::FakeFilterContext fake_;
};

TEST_F(FilterEntryTest, AnnouncesItsVersionAndNotifications) {
    EXPECT_EQ(version_.dwFilterVersion, 0x00040000u);
    EXPECT_STREQ(version_.lpszFilterDesc, "Brevant Filter");
    EXPECT_EQ(version_.dwFlags, 0x00026203u);
}

TEST_F(FilterEntryTest, KeepsWhyTheEngineDidNotStart) {
    EXPECT_TRUE(debugOutputHas("Brevant: initializing.\n"));
    EXPECT_TRUE(nativeLogHas("Brevant: Failed to initialize.\r\n"));
    EXPECT_TRUE(nativeLogHas(std::string("Brevant: ") + kReason + "\r\n"));
}

TEST_F(FilterEntryTest, ServletURLsGetTheFailurePageByteForByte) {
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

TEST_F(FilterEntryTest, OtherURLsPassUntouched) {
    for (const char* url : {"/index.html", "/Servlet/Hello", "http://example.com", "/"}) {
        EXPECT_EQ(preprocess(url), SF_STATUS_REQ_NEXT_NOTIFICATION) << url;
        EXPECT_EQ(fake_.url, url);
    }
    EXPECT_EQ(fake_.written, "");
}

TEST_F(FilterEntryTest, ClientMarkersGoBeforeTheURLIsRead) {
    fake_.headers = {{"X-Brevant-Request", "/servlet/forged"}, {"X_Brevant_Request", "/x"}};
    preprocess("/index.html");
    EXPECT_TRUE(fake_.headers.empty());
    ASSERT_GE(fake_.calls.size(), 5u);
    EXPECT_EQ(fake_.calls[0], "SetHeader(X-Brevant-Request:, )");
    EXPECT_EQ(fake_.calls[4], "GetHeader(URL, 4096)");
}

// The log closed with the failed start: messages reach the debugger output only.
TEST_F(FilterEntryTest, AnUnreadableURLFailsTheRequest) {
    EXPECT_EQ(preprocess("/" + std::string(4095, 'a')), SF_STATUS_REQ_ERROR);
    EXPECT_TRUE(debugOutputHas("Brevant: HttpFilterProc() failed to get URL!!!\n"));
}

TEST_F(FilterEntryTest, AFailedResponseHeaderFailsTheRequest) {
    fake_.failResponseHeader = true;
    EXPECT_EQ(preprocess("/servlet/x"), SF_STATUS_REQ_ERROR);
    EXPECT_TRUE(debugOutputHas("HttpFilterProc(): AddResponseHeader failed."));
}

TEST_F(FilterEntryTest, TheLogShowsTheRequestedURLAndQuery) {
    EXPECT_EQ(logged("/servlet/a?b=1"), "/servlet/a|b=1");
    EXPECT_EQ(logged("/servlet/a"), "/servlet/a|");
    EXPECT_EQ(logged("/docs/index.jsp?page=2&x"), "/docs/index.jsp|page=2&x");
}

TEST_F(FilterEntryTest, TheLogKeepsIISsRecordOfUnmarkedRequests) {
    EXPECT_EQ(logged(nullptr), std::string(kIISTarget) + "|");
}

TEST_F(FilterEntryTest, TheLogKeepsIISsRecordWithoutMemory) {
    fake_.allocationsLeft = 1;
    EXPECT_EQ(logged("/servlet/a?b=1"), std::string(kIISTarget) + "|");
}

TEST_F(FilterEntryTest, WithoutIISSecurityAuthenticationChangesNothing) {
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
}  // namespace entrytest
