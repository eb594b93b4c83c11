// The filter: which group takes a request and how it is marked for the extension, the
// administration page byte for byte, the client's own marker headers removed, the log record,
// and the failure paths.
#include <winsock2.h>
#include <windows.h>
#include <httpfilt.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "debug_output_capture.h"
#include "fake_filter_context.h"
#include "native/adapter/adapter_filter_internal.h"
#include "native/adapter/adapter_properties.h"
#include "native/adapter/adapter_properties_internal.h"
#include "native/adapter/status_page.h"

namespace brevant::adapter {
namespace {

using testsupport::DebugOutputCapture;
using testsupport::FakeFilterContext;

const DWORD kNext = SF_STATUS_REQ_NEXT_NOTIFICATION;
const DWORD kFinished = SF_STATUS_REQ_FINISHED;

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
std::string x11Page() {
    std::string styles = kDefaultStyles;
    for (auto [from, to] : {std::pair{"Verdana, Helvetica", "Helvetica, Verdana"},
                            {"10pt", "12pt"},
                            {"14pt", "16pt"}}) {
        for (size_t at = styles.find(from); at != std::string::npos; at = styles.find(from, at)) {
            styles.replace(at, std::strlen(from), to);
        }
    }
    return kPageStart + styles + kPageRestForSalesAndHr;
}

// The calls of a preprocessing notification: the client's markers removed, then `calls`.
std::vector<std::string> afterRemovals(const std::vector<std::string>& calls) {
    std::vector<std::string> all;
    for (const char* marker :
         {"X-Brevant-Request", "X_Brevant_Request", "X-Brevant_Request", "X_Brevant-Request",
          "X-Brevant-Group", "X_Brevant_Group", "X-Brevant_Group", "X_Brevant-Group"}) {
        all.push_back(std::string("SetHeader(") + marker + ":, )");
    }
    all.insert(all.end(), calls.begin(), calls.end());
    return all;
}

class FilterTest : public testing::Test {
  protected:
    // The table as loading leaves it for this brevant.properties text.
    void Configure(const std::string& properties) {
        DebugOutputCapture quiet;
        table_ = GroupTable();
        parseProperties(table_, properties);
        supplyDefaults(table_);
    }

    DWORD Preprocess(FakeFilterContext& fake) {
        return handleFilterNotification(table_, fake.pfc(), SF_NOTIFY_PREPROC_HEADERS,
                                        fake.preproc());
    }

    DWORD Log(FakeFilterContext& fake) {
        return handleFilterNotification(table_, fake.pfc(), SF_NOTIFY_LOG, fake.logRecord());
    }

    // The group the filter gave the request, or "none" when it left the request alone.
    std::string GroupFor(const std::string& url, const std::optional<std::string>& host = {}) {
        FakeFilterContext fake;
        fake.url = url;
        if (host) {
            fake.headers.emplace_back("Host", *host);
        }
        EXPECT_EQ(Preprocess(fake), kNext);
        std::optional<std::string> group = fake.header("X-Brevant-Group:");
        EXPECT_EQ(fake.url, group ? "/Scripts/Brevant_Adapter.dll" : url);
        EXPECT_EQ(fake.header("X-Brevant-Request:").has_value(), group.has_value());
        return group.value_or("none");
    }

    // The page written for "/servlet/admin`query`" to a browser that says `agent`.
    std::string AdminPageFor(const char* agent, const std::string& query = "") {
        FakeFilterContext fake;
        fake.url = "/servlet/admin" + query;
        if (agent != nullptr) {
            fake.variables = {{"HTTP_USER_AGENT", agent}};
        }
        EXPECT_EQ(Preprocess(fake), kFinished);
        return fake.written;
    }

    GroupTable table_;
};

struct Route {
    std::string url;
    std::optional<std::string> host;
    const char* group;
};

TEST_F(FilterTest, RoutesByHostThenApplicationsBeforeAliases) {
    Configure(
        "brevant.shop.servers=www.shop.example\n"
        "brevant.shop.aliases=/app/x, /shop, .jsp\n"
        "brevant.intra.applications=/app\n"  // serves every host
        "brevant.caps.servers=WWW.CAPS.EXAMPLE\n"
        "brevant.caps.applications=/caps\n"
        "brevant.port.servers=shop:81, default\n"
        "brevant.port.applications=/p\n");
    const Route kRoutes[] = {
        {"/app/x/y", "www.shop.example", "1"},  // every application before any alias
        {"/application", "www.shop.example", "1"},
        {"/app?x=1", std::nullopt, "1"},
        {"/shop/cart", "www.shop.example", "0"},
        {"/shop/cart", "other.example", "none"},
        {"/a/b.jsp?x=1", "WWW.Shop.Example", "0"},  // a suffix ends the path before "?" or ";"
        {"/a/b.jsp;v=1", "www.shop.example", "0"},
        {"/a/b.jspx", "www.shop.example", "none"},
        {".jsp", "www.shop.example", "none"},     // and is shorter than the path
        {"/caps/x", "www.caps.example", "none"},  // the host text is in lower case
        {"/p", "Shop:81", "3"},                   // the port stays part of the host
        {"/p", "shop", "none"},
        {"/p", std::nullopt, "3"},  // no Host header, or one too long for 64 bytes, is "default"
        {"/p", std::string(63, 'h'), "none"},
        {"/p", std::string(64, 'h'), "3"},
        {"http://www.shop.example/app?y=1", "www.shop.example", "1"},  // routed by the path
        {"http://www.shop.example", "www.shop.example", "none"},
        {"HTTP://www.shop.example/app", std::nullopt, "none"},
    };
    for (const Route& route : kRoutes) {
        EXPECT_EQ(GroupFor(route.url, route.host), route.group)
            << route.url << " " << route.host.value_or("(no host)");
    }
}

TEST_F(FilterTest, AdminUrlsRouteToTheirGroup) {
    Configure("brevant.sales.applications=/servlet\nbrevant.hr.applications=/hr\n");
    for (auto [url, group] : {std::pair{"/servlet/admin/hr", "1"},
                              {"/servlet/admin/hr/status?x=1", "1"},
                              {"/servlet/admin/hr?x=1", "1"},
                              {"/servlet/admin/HR", "0"},
                              {"/servlet/admin/hrx", "0"},
                              {"/servlet/admin/", "0"}}) {
        EXPECT_EQ(GroupFor(url), group) << url;
    }
}

TEST_F(FilterTest, WithTheAdminPageDisabledItsUrlIsAnOrdinaryOne) {
    Configure("brevant.sales.applications=/servlet\nbrevant.hr.applications=/hr\n");
    table_.adminEnabled = false;
    EXPECT_EQ(GroupFor("/servlet/admin"), "0");
    EXPECT_EQ(GroupFor("/servlet/admin/hr"), "1");
}

TEST_F(FilterTest, ASingleGroupHasNoAdminUrls) {
    Configure("brevant.only.applications=/servlet\n");
    EXPECT_EQ(GroupFor("/servlet/admin"), "0");
    Configure("brevant.only.applications=/x\n");
    EXPECT_EQ(GroupFor("/servlet/admin/only"), "none");
}

TEST_F(FilterTest, MarksARoutedRequestForTheExtension) {
    std::string properties;
    for (int i = 0; i < 13; ++i) {
        properties +=
            "brevant.g" + std::to_string(i) + ".applications=/g" + std::to_string(i) + "/\n";
    }
    Configure(properties);
    FakeFilterContext fake;
    fake.url = "http://www.example/g12/page?q=1";
    DebugOutputCapture output;
    EXPECT_EQ(Preprocess(fake), kNext);
    EXPECT_EQ(fake.calls, afterRemovals({"GetHeader(URL, 4096)", "GetHeader(Host:, 64)",
                                         "AddHeader(X-Brevant-Request:, /g12/page?q=1)",
                                         "SetHeader(URL, /Scripts/Brevant_Adapter.dll)",
                                         "AddHeader(X-Brevant-Group:, 12)"}));
    EXPECT_EQ(output.text(), "");
    // A URL of 4095 characters is read; one of 4096 does not fit and passes untouched.
    EXPECT_EQ(GroupFor("/g1/" + std::string(4091, 'u')), "1");
    EXPECT_EQ(GroupFor("/g1/" + std::string(4092, 'u')), "none");
}

TEST_F(FilterTest, RemovesTheClientsMarkersEvenFromARequestItCannotRead) {
    FakeFilterContext fake;
    fake.url = "/a/" + std::string(5000, 'q');
    EXPECT_EQ(Preprocess(fake), kNext);
    EXPECT_EQ(fake.calls, afterRemovals({"GetHeader(URL, 4096)"}));
}

TEST_F(FilterTest, AdminPageListsTheGroups) {
    Configure("brevant.sales.applications=/s\nbrevant.hr.applications=/h\n");
    FakeFilterContext fake;
    fake.url = "/servlet/admin";
    fake.variables = {{"HTTP_USER_AGENT", "Mozilla/5.0 (Windows NT 10.0; Win64; x64)"}};
    EXPECT_EQ(Preprocess(fake), kFinished);
    EXPECT_EQ(fake.written, kDefaultPage);
    EXPECT_EQ(fake.calls,
              afterRemovals({"GetHeader(URL, 4096)", "GetHeader(Host:, 64)",
                             "ServerSupportFunction(0, <none>, Content-type: text/html\r\n\r\n, 0)",
                             "GetServerVariable(HTTP_USER_AGENT, 255)",
                             "WriteClient(" + std::to_string(kDefaultPage.size()) + ", 1)"}));
}

TEST_F(FilterTest, AdminPageStyleFollowsTheUserAgent) {
    Configure("brevant.sales.applications=/s\nbrevant.hr.applications=/h\n");
    EXPECT_EQ(AdminPageFor("Mozilla/5.0 (X11; Linux x86_64)", "?refresh=1"), x11Page());
    // An agent too long for its 256 bytes, or none at all, gets the default style.
    EXPECT_EQ(AdminPageFor(("X11" + std::string(251, 'a')).c_str()), x11Page());
    EXPECT_EQ(AdminPageFor(("X11" + std::string(252, 'a')).c_str()), kDefaultPage);
    EXPECT_EQ(AdminPageFor(nullptr), kDefaultPage);
}

TEST_F(FilterTest, AdminPageWithoutItsResponseHeaderWritesNothing) {
    Configure("brevant.sales.applications=/s\nbrevant.hr.applications=/h\n");
    FakeFilterContext refused;
    refused.url = "/servlet/admin";
    refused.failResponseHeader = true;
    EXPECT_EQ(Preprocess(refused), kFinished);
    EXPECT_EQ(refused.written, "");
}

// ---- the status page ----------------------------------------------------------------------

class StatusPageTest : public FilterTest {
  protected:
    // Two groups; instance 1 of "sales" down, with 4.001 s to go.
    void SetUp() override {
        Configure(
            "brevant.status=/brevant-status\n"
            "brevant.sales.instances=10.0.0.1:9000, <b>:1\n"
            "brevant.sales.balance=roundrobin\n"
            "brevant.sales.applications=/brevant-status\n"
            "brevant.hr.instances=10.0.0.2\n");
        const AdapterInstance& down = table_.groups[0].extraInstances[0];
        down.state = kInstanceDown;
        down.downUntil = kNow + 4'001;
        down.connectFailures = 3;
        table_.groups[0].instance.requestsSent = 12;
        table_.groups[1].instance.timeouts = 2;
    }

    // The response headers and page the filter answers `url` with, or "passed on".
    std::string Answer(const std::string& url) {
        FakeFilterContext fake;
        fake.url = url;
        if (Preprocess(fake) != kFinished) {
            return "passed on";
        }
        return fake.calls.at(fake.calls.size() - 2) + fake.written;
    }

    static constexpr int64_t kNow = 5'000'000;
};

TEST_F(StatusPageTest, ListsEveryInstanceWithItsMarkAndCounters) {
    EXPECT_EQ(statusPage(table_, true, kNow + 5'000),
              "{\"groups\":[{\"name\":\"sales\",\"balance\":\"roundrobin\",\"retryTime\":120,"
              "\"instances\":[{\"entry\":\"10.0.0.1:9000\",\"state\":\"up\",\"secondsLeft\":0,"
              "\"requestsSent\":12,\"connectFailures\":0,\"timeouts\":0},{\"entry\":\"<b>:1\","
              "\"state\":\"down\",\"secondsLeft\":0,\"requestsSent\":0,\"connectFailures\":3,"
              "\"timeouts\":0}]},{\"name\":\"hr\",\"balance\":\"first\",\"retryTime\":120,"
              "\"instances\":[{\"entry\":\"10.0.0.2\",\"state\":\"up\",\"secondsLeft\":0,"
              "\"requestsSent\":0,\"connectFailures\":0,\"timeouts\":2}]}]}\n");
    EXPECT_NE(statusPage(table_, false, kNow)
                  .find("<tr><td>sales</td><td>&lt;b&gt;:1</td><td>roundrobin</td><td>down, 5 s "
                        "left</td><td>0</td><td>3</td><td>0</td></tr>\n"),
              std::string::npos);
}

TEST_F(StatusPageTest, IsAnsweredAtItsExactPathBeforeAnyRouting) {
    const std::string sent = "ServerSupportFunction(" +
                             std::to_string(SF_REQ_SEND_RESPONSE_HEADER) +
                             ", <none>, Content-Type: ";
    EXPECT_TRUE(Answer("/brevant-status?x=1").starts_with(sent + "text/html\r\n"));
    EXPECT_TRUE(Answer("/brevant-status?json").starts_with(sent + "application/json\r\n"));
    EXPECT_EQ(Answer("/brevant-status/x"), "passed on");
    EXPECT_EQ(Answer("/Brevant-Status"), "passed on");
    table_.adminEnabled = false;
    EXPECT_EQ(Answer("/brevant-status"), "passed on");
}

TEST_F(FilterTest, FailedHeaderChangesAreReportedAndTheRestStillRuns) {
    Configure("brevant.a.applications=/a\n");
    FakeFilterContext fake;
    fake.url = "/a";
    fake.failing = {"AddHeader X-Brevant-Request:", "SetHeader URL", "AddHeader X-Brevant-Group:"};
    DebugOutputCapture output;
    EXPECT_EQ(Preprocess(fake), kNext);
    EXPECT_EQ(output.text(),
              "Brevant: failed to add X-Brevant-Request header.\n"
              "Brevant: failed to set URL.\n"
              "Brevant: failed to add X-Brevant-Group header.\n");
}

TEST_F(FilterTest, LogShowsTheRequestedUrlAndQueryWhenItCanBeHad) {
    const std::string kIis = "/Scripts/Brevant_Adapter.dll";  // what IIS would log
    const struct {
        std::optional<std::string> request;
        int allocations;
        std::string target;
        std::string parameters;
    } kCases[] = {
        {"/app/x?a=1&b=?2", -1, "/app/x", "a=1&b=?2"},
        {std::string(1021, 'p') + "?", -1, std::string(1021, 'p'), ""},  // fits its 1023 bytes
        {std::string(1023, 'p'), -1, kIis, ""},                          // does not
        {std::nullopt, -1, kIis, ""},                                    // not routed
        {"/a?b", 1, kIis, ""},                                           // no memory for copies
    };
    for (const auto& c : kCases) {
        FakeFilterContext fake;
        if (c.request) {
            fake.variables = {{"HTTP_X_BREVANT_REQUEST", *c.request}};
        }
        fake.allocationsLeft = c.allocations;
        EXPECT_EQ(Log(fake), kNext);
        EXPECT_EQ(fake.logRecord()->pszTarget, c.target);
        EXPECT_EQ(fake.logRecord()->pszParameters, c.parameters);
    }
}

TEST_F(FilterTest, LogReadsTheUrlWithItsBufferSizeAndCopiesItWithTerminators) {
    FakeFilterContext fake;
    fake.variables = {{"HTTP_X_BREVANT_REQUEST", "/app/x?a=1&b=?2"}};
    Log(fake);
    EXPECT_EQ(fake.calls,
              (std::vector<std::string>{"GetServerVariable(HTTP_X_BREVANT_REQUEST, 1023)",
                                        "AllocMem(7)", "AllocMem(9)"}));
}

TEST_F(FilterTest, ExceptionsAreCaughtAndOtherNotificationsPassed) {
    FakeFilterContext fake;
    fake.beforeGetHeader = [] { throw std::runtime_error("header trouble"); };
    DebugOutputCapture output;
    EXPECT_EQ(Preprocess(fake), static_cast<DWORD>(SF_STATUS_REQ_ERROR));
    fake.beforeGetHeader = [] { throw 7; };
    EXPECT_EQ(Preprocess(fake), static_cast<DWORD>(SF_STATUS_REQ_ERROR));
    EXPECT_EQ(output.text(),
              "BrevantISAPIAdapter::HttpExtensionProc() caught an exception!!!\n"
              "header trouble"
              "BrevantISAPIAdapter::HttpExtensionProc() caught an unknown exception!!!\n");
    FakeFilterContext other;
    EXPECT_EQ(handleFilterNotification(table_, other.pfc(), SF_NOTIFY_AUTHENTICATION, nullptr),
              kNext);
    EXPECT_TRUE(other.calls.empty());
}

TEST(FilterEntryPointsTest, GetFilterVersionLoadsTheProcessWideTableAfresh) {
    processGroupTable.groupCount = 2;  // what an earlier load left must not survive a new one
    processGroupTable.adminEnabled = false;
    HTTP_FILTER_VERSION version;
    std::memset(&version, 'x', sizeof version);
    DebugOutputCapture output;
    EXPECT_EQ(GetFilterVersion(&version), TRUE);
    EXPECT_EQ(version.dwFilterVersion, 0x40000u);
    EXPECT_EQ(version.dwFlags, 0x24203u);
    EXPECT_STREQ(version.lpszFilterDesc, "Brevant Filter");
    // The unit tests do not load Brevant_Adapter.dll: its module handle cannot be found.
    EXPECT_EQ(output.text(),
              "BrevantISAPIAdapter::GetFilterVersion() invoked.\n"
              "BrevantISAPIAdapter::GetFilterVersion() failed to get the module handle.\n"
              "No groups were specified, using default values\n");
    EXPECT_TRUE(processGroupTable.adminEnabled);
    processGroupTable = GroupTable();
}

}  // namespace
}  // namespace brevant::adapter
