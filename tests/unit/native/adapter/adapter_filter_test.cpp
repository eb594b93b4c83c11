// The promises of the filter: which group takes a request and how it is marked for the
// extension, the administration page byte for byte, the client's own marker headers
// removed, the log record, and the failure paths.
#include <winsock2.h>
#include <windows.h>
#include <httpfilt.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "native/adapter/adapter_groups.h"
#include "native/adapter/adapter_properties.h"
#include "native/adapter/adapter_properties_internal.h"
#include "debug_output_capture.h"
#include "fake_filter_context.h"

using namespace brevant::adapter;
using testsupport::DebugOutputCapture;
using testsupport::FakeFilterContext;

namespace {

const std::string kPageStart =
    "<html><head><TITLE>Brevant AS Admin</TITLE><STYLE TYPE=\"TEXT/CSS\"><!--";
const std::string kDefaultStyles =
    "H2, H3, H4  { font-family: Verdana, Helvetica, Arial, sans-serif }\n"
    "TH          { font-family: Verdana, Helvetica, Arial, sans-serif; font-size: 10pt; "
    "font-weight: bold }\n"
    ".headerText { font-family: Verdana, Helvetica, Arial, sans-serif; font-size: 10pt; "
    "font-weight: bold }\n"
    "P, UL, LI, BLOCKQUOTE { font-family: Verdana, Helvetica, Arial, sans-serif; font-size: 10pt "
    "}\n"
    ".normalText { font-family: Verdana, Helvetica, Arial, sans-serif; font-size: 10pt }\n"
    ".alertText  { font-family: Verdana, Helvetica, Arial, sans-serif; font-size: 10pt; "
    "font-weight: bold; color: red }\n"
    ".errorText  { font-family: Verdana, Helvetica, Arial, sans-serif; font-size: 14pt; "
    "font-weight: bold; color: red }\n"
    ".infoText   { font-family: Verdana, Helvetica, Arial, sans-serif; font-size: 14pt; "
    "font-weight: bold; color: green }\n";
const std::string kPageRestForSalesAndHr =
    "a:link      { color: black; text-decoration: underline }\n"
    "a:visited   { color: black; text-decoration: underline }\n"
    "a:hover     { color: black; font-weight: bold; text-decoration: underline }\n"
    "-->"
    "</STYLE></HEAD>"
    "<BODY BGCOLOR=#FFFFFF ALINK=#999999> <DIV STYLE=\"margin: 2%\"><TABLE BORDER=0 HEIGHT=\"99%\" "
    "WIDTH=\"100%\" CELLPADDING=6><TR>"
    "<TD WIDTH=\"15%\" BGCOLOR=#003366 VALIGN=TOP ALIGN=CENTER NOWRAP>"
    "&nbsp;<BR><SPAN CLASS=\"headerText\" STYLE=\"color: #FFCC00; font-size: 11pt\">&nbsp;Brevant "
    "3.0&nbsp;</SPAN>"
    "</TD><TD VALIGN=TOP WITH=\"85%\"><DIV STYLE=\"margin: 2%\"><H2>Application Server "
    "Administration</H2>"
    "<p>Click a Brevant Application Server instance name:</p>"
    "<TABLE WIDTH=\"96%\" BORDER=0 CELLSPACING=2 CELLPADDING=6 bgcolor=#ffcc66>"
    "<th>Server Name</th>"
    "<TR><td align=center bgcolor=#ffffee class=\"normalText\"><a "
    "href=\"/servlet/admin/sales\">sales</a></td></tr>"
    "<TR><td align=center bgcolor=#ffffee class=\"normalText\"><a "
    "href=\"/servlet/admin/hr\">hr</a></td></tr>"
    "</table><p></p>"
    "</DIV></TD></TR></TABLE></body></html>";

const std::string kDefaultPage = kPageStart + kDefaultStyles + kPageRestForSalesAndHr;

// The same rules for X11 browsers: Helvetica first, fonts two points larger.
std::string x11Styles() {
    std::string styles = kDefaultStyles;
    for (auto [from, to] : {std::pair{"Verdana, Helvetica", "Helvetica, Verdana"},
                            {"10pt", "12pt"},
                            {"14pt", "16pt"}}) {
        for (size_t at = styles.find(from); at != std::string::npos;
             at = styles.find(from, at + 1)) {
            styles.replace(at, std::strlen(from), to);
        }
    }
    return styles;
}

const std::string kX11Page = kPageStart + x11Styles() + kPageRestForSalesAndHr;

// The table as loading leaves it for this file.
void configure(const std::string& properties) {
    DebugOutputCapture quiet;
    resetGroups();
    parseProperties(properties);
    supplyDefaults();
}

DWORD preprocess(FakeFilterContext& fake) {
    return HttpFilterProc(fake.pfc(), SF_NOTIFY_PREPROC_HEADERS, fake.preproc());
}

// The group the filter gave the request, or "none" when it left the request alone.
std::string groupFor(const std::string& url, std::optional<std::string> host = std::nullopt) {
    FakeFilterContext fake;
    fake.url = url;
    if (host) {
        fake.headers.emplace_back("Host", *host);
    }
    EXPECT_EQ(preprocess(fake), static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
    std::optional<std::string> group = fake.header("X-Brevant-Group:");
    if (!group) {
        EXPECT_EQ(fake.url, url);
        EXPECT_FALSE(fake.header("X-Brevant-Request:"));
        return "none";
    }
    EXPECT_EQ(fake.url, "/Scripts/Brevant_Adapter.dll");
    return *group;
}

const std::vector<std::string> kMarkerRemovals = {
    "SetHeader(X-Brevant-Request:, )", "SetHeader(X_Brevant_Request:, )",
    "SetHeader(X-Brevant_Request:, )", "SetHeader(X_Brevant-Request:, )",
    "SetHeader(X-Brevant-Group:, )",   "SetHeader(X_Brevant_Group:, )",
    "SetHeader(X-Brevant_Group:, )",   "SetHeader(X_Brevant-Group:, )",
};

std::vector<std::string> withRemovals(const std::vector<std::string>& calls) {
    std::vector<std::string> all = kMarkerRemovals;
    all.insert(all.end(), calls.begin(), calls.end());
    return all;
}

// The page the filter writes for "/servlet/admin`query`" to a browser that says `agent`.
std::string adminPageFor(const std::optional<std::string>& agent, const std::string& query = "") {
    FakeFilterContext fake;
    fake.url = "/servlet/admin" + query;
    if (agent) {
        fake.variables = {{"HTTP_USER_AGENT", *agent}};
    }
    EXPECT_EQ(preprocess(fake), static_cast<DWORD>(SF_STATUS_REQ_FINISHED));
    return fake.written;
}

const char kSalesAndHr[] = "brevant.sales.applications=/s\nbrevant.hr.applications=/h\n";

class AdapterFilter : public testing::Test {
  protected:
    void TearDown() override { resetGroups(); }
};

}  // namespace

TEST_F(AdapterFilter, RoutesByHostThenApplicationsBeforeAliases) {
    configure(
        "brevant.shop.servers=www.shop.example\n"
        "brevant.shop.aliases=/app/x, .jsp\n"
        "brevant.intra.applications=/app\n"  // serves every host
        "brevant.caps.servers=WWW.CAPS.EXAMPLE\n"
        "brevant.caps.applications=/caps\n"
        "brevant.port.servers=shop:81, default\n"
        "brevant.port.applications=/p\n");
    // Applications of every group are tried before any alias.
    EXPECT_EQ(groupFor("/app/x/y", "www.shop.example"), "1");
    EXPECT_EQ(groupFor("/application", "www.shop.example"), "1");
    EXPECT_EQ(groupFor("/app?x=1"), "1");
    // Suffix aliases end the path, before "?" or ";", and are shorter than it.
    EXPECT_EQ(groupFor("/a/b.jsp?x=1", "WWW.Shop.Example"), "0");
    EXPECT_EQ(groupFor("/a/b.jsp;v=1", "www.shop.example"), "0");
    EXPECT_EQ(groupFor("/a/b.jspx", "www.shop.example"), "none");
    EXPECT_EQ(groupFor(".jsp", "www.shop.example"), "none");
    EXPECT_EQ(groupFor("/a/b.jsp", "other.example"), "none");
    // Host names in capitals never match: the host text is in lower case.
    EXPECT_EQ(groupFor("/caps/x", "www.caps.example"), "none");
    // The port stays part of the host; no Host header, or one too long, is "default".
    EXPECT_EQ(groupFor("/p", "Shop:81"), "3");
    EXPECT_EQ(groupFor("/p", "shop"), "none");
    EXPECT_EQ(groupFor("/p"), "3");
    EXPECT_EQ(groupFor("/p", std::string(63, 'h')), "none");
    EXPECT_EQ(groupFor("/p", std::string(64, 'h')), "3");
    // Absolute URLs are routed by their path; with no path they are empty.
    EXPECT_EQ(groupFor("http://www.shop.example/app?y=1", "www.shop.example"), "1");
    EXPECT_EQ(groupFor("http://www.shop.example", "www.shop.example"), "none");
    EXPECT_EQ(groupFor("HTTP://www.shop.example/app"), "none");
}

TEST_F(AdapterFilter, MarksARoutedRequestForTheExtension) {
    std::string properties;
    for (int i = 0; i < 13; ++i) {
        properties +=
            "brevant.g" + std::to_string(i) + ".applications=/g" + std::to_string(i) + "/\n";
    }
    configure(properties);
    FakeFilterContext fake;
    fake.url = "http://www.example/g12/page?q=1";
    fake.headers = {{"Host", "www.example"}, {"Accept", "*/*"}};
    DebugOutputCapture output;
    EXPECT_EQ(preprocess(fake), static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
    EXPECT_EQ(fake.calls, withRemovals({
                              "GetHeader(URL, 4096)",
                              "GetHeader(Host:, 64)",
                              "AddHeader(X-Brevant-Request:, /g12/page?q=1)",
                              "SetHeader(URL, /Scripts/Brevant_Adapter.dll)",
                              "AddHeader(X-Brevant-Group:, 12)",
                          }));
    EXPECT_EQ(fake.headers, (std::vector<std::pair<std::string, std::string>>{
                                {"Host", "www.example"},
                                {"Accept", "*/*"},
                                {"X-Brevant-Request", "/g12/page?q=1"},
                                {"X-Brevant-Group", "12"},
                            }));
    EXPECT_EQ(output.text(), "");

    // A URL of 4095 characters is read; one of 4096 does not fit and passes untouched.
    EXPECT_EQ(groupFor("/g1/" + std::string(4091, 'u')), "1");
    EXPECT_EQ(groupFor("/g1/" + std::string(4092, 'u')), "none");
}

TEST_F(AdapterFilter, ClientsCannotSendTheMarkerHeaders) {
    configure("brevant.a.applications=/a\nbrevant.b.applications=/b\n");
    const std::vector<std::pair<std::string, std::string>> forged = {
        {"X-Brevant-Group", "1"},
        {"x_brevant_group", "1"},
        {"X-Brevant_Group", "1"},
        {"X_BREVANT-GROUP", "1"},
        {"X-Brevant-Request", "/forged"},
        {"X_Brevant_Request", "/forged"},
        {"x-brevant_request", "/forged"},
        {"X_Brevant-Request", "/forged"},
        {"Accept", "*/*"},
    };
    const std::vector<std::pair<std::string, std::string>> accept = {{"Accept", "*/*"}};

    // Routed: only the filter's own values remain.
    FakeFilterContext routed;
    routed.url = "/a/x";
    routed.headers = forged;
    preprocess(routed);
    EXPECT_EQ(routed.headers, (std::vector<std::pair<std::string, std::string>>{
                                  {"Accept", "*/*"},
                                  {"X-Brevant-Request", "/a/x"},
                                  {"X-Brevant-Group", "0"},
                              }));

    // Not routed, or a URL the filter cannot read: removed all the same, before anything
    // else, so the extension refuses a request for its own URL.
    FakeFilterContext unrouted;
    unrouted.url = "/Scripts/Brevant_Adapter.dll";
    unrouted.headers = forged;
    EXPECT_EQ(preprocess(unrouted), static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
    EXPECT_EQ(unrouted.headers, accept);

    FakeFilterContext unreadable;
    unreadable.url = "/Scripts/Brevant_Adapter.dll?" + std::string(5000, 'q');
    unreadable.headers = forged;
    EXPECT_EQ(preprocess(unreadable), static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
    EXPECT_EQ(unreadable.headers, accept);
    EXPECT_EQ(unreadable.calls, withRemovals({"GetHeader(URL, 4096)"}));
}

TEST_F(AdapterFilter, AdminPageListsTheGroups) {
    configure(kSalesAndHr);
    FakeFilterContext fake;
    fake.url = "/servlet/admin";
    fake.variables = {{"HTTP_USER_AGENT", "Mozilla/5.0 (Windows NT 10.0; Win64; x64)"}};
    EXPECT_EQ(preprocess(fake), static_cast<DWORD>(SF_STATUS_REQ_FINISHED));
    EXPECT_EQ(fake.written, kDefaultPage);
    EXPECT_EQ(fake.calls,
              withRemovals({
                  "GetHeader(URL, 4096)",
                  "GetHeader(Host:, 64)",
                  "ServerSupportFunction(0, <none>, Content-type: text/html\r\n\r\n, 0)",
                  "GetServerVariable(HTTP_USER_AGENT, 255)",
                  "WriteClient(" + std::to_string(kDefaultPage.size()) + ", 1)",
              }));
    EXPECT_EQ(fake.url, "/servlet/admin");
    EXPECT_FALSE(fake.header("X-Brevant-Group:"));
}

TEST_F(AdapterFilter, AdminPageStyleFollowsTheUserAgent) {
    configure(kSalesAndHr);
    EXPECT_EQ(adminPageFor("Mozilla/5.0 (X11; Linux x86_64) Firefox/115.0", "?refresh=1"),
              kX11Page);
    // An agent too long for its 256 bytes, or none at all, gets the default style.
    EXPECT_EQ(adminPageFor("X11" + std::string(251, 'a')), kX11Page);
    EXPECT_EQ(adminPageFor("X11" + std::string(252, 'a')), kDefaultPage);
    EXPECT_EQ(adminPageFor(std::nullopt), kDefaultPage);
}

TEST_F(AdapterFilter, AdminPageWithoutItsResponseHeaderWritesNothing) {
    configure(kSalesAndHr);
    FakeFilterContext refused;
    refused.url = "/servlet/admin";
    refused.failResponseHeader = true;
    EXPECT_EQ(preprocess(refused), static_cast<DWORD>(SF_STATUS_REQ_FINISHED));
    EXPECT_EQ(refused.written, "");
    EXPECT_EQ(refused.calls.back(),
              "ServerSupportFunction(0, <none>, Content-type: text/html\r\n\r\n, 0)");
}

TEST_F(AdapterFilter, AdminUrlsRouteToTheirGroup) {
    configure(
        "brevant.sales.applications=/servlet\n"
        "brevant.hr.applications=/hr\n");
    EXPECT_EQ(groupFor("/servlet/admin/hr"), "1");
    EXPECT_EQ(groupFor("/servlet/admin/hr/status?x=1"), "1");
    EXPECT_EQ(groupFor("/servlet/admin/hr?x=1"), "1");
    EXPECT_EQ(groupFor("/servlet/admin/HR"), "0");  // names compare exactly
    EXPECT_EQ(groupFor("/servlet/admin/hrx"), "0");
    EXPECT_EQ(groupFor("/servlet/admin/"), "0");

    // With the page switched off, "/servlet/admin" is an ordinary URL; the group URLs stay.
    adminEnabled = false;
    EXPECT_EQ(groupFor("/servlet/admin"), "0");
    EXPECT_EQ(groupFor("/servlet/admin/hr"), "1");

    // A single group never has the page nor the group URLs.
    configure("brevant.only.applications=/servlet\n");
    EXPECT_EQ(groupFor("/servlet/admin"), "0");
    configure("brevant.only.applications=/x\n");
    EXPECT_EQ(groupFor("/servlet/admin/only"), "none");
}

TEST_F(AdapterFilter, FailedHeaderChangesAreReportedAndTheRestStillRuns) {
    configure("brevant.a.applications=/a\n");
    FakeFilterContext fake;
    fake.url = "/a";
    fake.failing = {"AddHeader X-Brevant-Request:", "SetHeader URL", "AddHeader X-Brevant-Group:"};
    DebugOutputCapture output;
    EXPECT_EQ(preprocess(fake), static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
    EXPECT_EQ(output.text(),
              "Brevant: failed to add X-Brevant-Request header.\n"
              "Brevant: failed to set URL.\n"
              "Brevant: failed to add X-Brevant-Group header.\n");
    EXPECT_EQ(fake.calls.size(), kMarkerRemovals.size() + 5);
}

TEST_F(AdapterFilter, LogShowsTheRequestedUrlAndQuery) {
    FakeFilterContext fake;
    fake.variables = {{"HTTP_X_BREVANT_REQUEST", "/app/x?a=1&b=?2"}};
    EXPECT_EQ(HttpFilterProc(fake.pfc(), SF_NOTIFY_LOG, fake.logRecord()),
              static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
    EXPECT_STREQ(fake.logRecord()->pszTarget, "/app/x");
    EXPECT_STREQ(fake.logRecord()->pszParameters, "a=1&b=?2");
    EXPECT_EQ(fake.calls, (std::vector<std::string>{
                              "GetServerVariable(HTTP_X_BREVANT_REQUEST, 1023)",
                              "AllocMem(7)",
                              "AllocMem(9)",
                          }));

    FakeFilterContext noQuery;
    noQuery.variables = {{"HTTP_X_BREVANT_REQUEST", std::string(1021, 'p') + "?"}};
    HttpFilterProc(noQuery.pfc(), SF_NOTIFY_LOG, noQuery.logRecord());
    EXPECT_EQ(noQuery.logRecord()->pszTarget, std::string(1021, 'p'));
    EXPECT_STREQ(noQuery.logRecord()->pszParameters, "");

    // Not routed, too long for 1023 bytes, or no memory: the record stays as IIS made it.
    const HTTP_FILTER_LOG untouched = *fake.logRecord();
    auto leftAlone = [&](FakeFilterContext& other) {
        *other.logRecord() = untouched;
        EXPECT_EQ(HttpFilterProc(other.pfc(), SF_NOTIFY_LOG, other.logRecord()),
                  static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
        return other.logRecord()->pszTarget == untouched.pszTarget &&
               other.logRecord()->pszParameters == untouched.pszParameters;
    };
    FakeFilterContext unrouted;
    EXPECT_TRUE(leftAlone(unrouted));
    FakeFilterContext tooLong;
    tooLong.variables = {{"HTTP_X_BREVANT_REQUEST", std::string(1023, 'p')}};
    EXPECT_TRUE(leftAlone(tooLong));
    FakeFilterContext noMemory;
    noMemory.variables = {{"HTTP_X_BREVANT_REQUEST", "/a?b"}};
    noMemory.allocationsLeft = 1;
    EXPECT_TRUE(leftAlone(noMemory));
}

TEST_F(AdapterFilter, ExceptionsAreCaughtAndOtherNotificationsPassed) {
    configure("brevant.a.applications=/a\n");
    FakeFilterContext fake;
    fake.beforeGetHeader = [] { throw std::runtime_error("header trouble"); };
    DebugOutputCapture output;
    EXPECT_EQ(preprocess(fake), static_cast<DWORD>(SF_STATUS_REQ_ERROR));
    fake.beforeGetHeader = [] { throw 7; };
    EXPECT_EQ(preprocess(fake), static_cast<DWORD>(SF_STATUS_REQ_ERROR));
    EXPECT_EQ(output.text(),
              "BrevantISAPIAdapter::HttpExtensionProc() caught an exception!!!\n"
              "header trouble"
              "BrevantISAPIAdapter::HttpExtensionProc() caught an unknown exception!!!\n");

    FakeFilterContext other;
    EXPECT_EQ(HttpFilterProc(other.pfc(), SF_NOTIFY_AUTHENTICATION, nullptr),
              static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
    EXPECT_TRUE(other.calls.empty());
}
