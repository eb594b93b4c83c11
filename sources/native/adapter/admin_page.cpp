// The administration page: fixed fragments around one table row per group.
#include "native/adapter/admin_page.h"

#include <cstring>
#include <string>

namespace brevant::adapter {

namespace {

constexpr DWORD kUserAgentSize = 256;  // 255 passed to IIS

// Eight style rules per set, in page order.
constexpr const char* kX11Styles[] = {
    "H2, H3, H4  { font-family: Helvetica, Verdana, Arial, sans-serif }\n",
    "TH          { font-family: Helvetica, Verdana, Arial, sans-serif; font-size: 12pt; "
    "font-weight: bold }\n",
    ".headerText { font-family: Helvetica, Verdana, Arial, sans-serif; font-size: 12pt; "
    "font-weight: bold }\n",
    "P, UL, LI, BLOCKQUOTE { font-family: Helvetica, Verdana, Arial, sans-serif; font-size: "
    "12pt }\n",
    ".normalText { font-family: Helvetica, Verdana, Arial, sans-serif; font-size: 12pt }\n",
    ".alertText  { font-family: Helvetica, Verdana, Arial, sans-serif; font-size: 12pt; "
    "font-weight: bold; color: red }\n",
    ".errorText  { font-family: Helvetica, Verdana, Arial, sans-serif; font-size: 16pt; "
    "font-weight: bold; color: red }\n",
    ".infoText   { font-family: Helvetica, Verdana, Arial, sans-serif; font-size: 16pt; "
    "font-weight: bold; color: green }\n",
};

constexpr const char* kDefaultStyles[] = {
    "H2, H3, H4  { font-family: Verdana, Helvetica, Arial, sans-serif }\n",
    "TH          { font-family: Verdana, Helvetica, Arial, sans-serif; font-size: 10pt; "
    "font-weight: bold }\n",
    ".headerText { font-family: Verdana, Helvetica, Arial, sans-serif; font-size: 10pt; "
    "font-weight: bold }\n",
    "P, UL, LI, BLOCKQUOTE { font-family: Verdana, Helvetica, Arial, sans-serif; font-size: "
    "10pt }\n",
    ".normalText { font-family: Verdana, Helvetica, Arial, sans-serif; font-size: 10pt }\n",
    ".alertText  { font-family: Verdana, Helvetica, Arial, sans-serif; font-size: 10pt; "
    "font-weight: bold; color: red }\n",
    ".errorText  { font-family: Verdana, Helvetica, Arial, sans-serif; font-size: 14pt; "
    "font-weight: bold; color: red }\n",
    ".infoText   { font-family: Verdana, Helvetica, Arial, sans-serif; font-size: 14pt; "
    "font-weight: bold; color: green }\n",
};

bool isX11Browser(HTTP_FILTER_CONTEXT* pfc) {
    char name[] = "HTTP_USER_AGENT";
    char userAgent[kUserAgentSize] = {};
    DWORD size = kUserAgentSize - 1;  // the last byte stays the terminator
    return pfc->GetServerVariable(pfc, name, userAgent, &size) &&
           std::strstr(userAgent, "X11") != nullptr;
}

std::string adminPage(const GroupTable& table, bool x11) {
    std::string page = "<html><head><TITLE>Brevant AS Admin</TITLE><STYLE TYPE=\"TEXT/CSS\"><!--";
    for (const char* rule : x11 ? kX11Styles : kDefaultStyles) {
        page += rule;
    }
    page +=
        "a:link      { color: black; text-decoration: underline }\n"
        "a:visited   { color: black; text-decoration: underline }\n"
        "a:hover     { color: black; font-weight: bold; text-decoration: underline }\n"
        "-->"
        "</STYLE></HEAD>"
        "<BODY BGCOLOR=#FFFFFF ALINK=#999999> <DIV STYLE=\"margin: 2%\"><TABLE BORDER=0 "
        "HEIGHT=\"99%\" WIDTH=\"100%\" CELLPADDING=6><TR>"
        "<TD WIDTH=\"15%\" BGCOLOR=#003366 VALIGN=TOP ALIGN=CENTER NOWRAP>"
        "&nbsp;<BR><SPAN CLASS=\"headerText\" STYLE=\"color: #FFCC00; font-size: "
        "11pt\">&nbsp;Brevant 3.0&nbsp;</SPAN>"
        "</TD><TD VALIGN=TOP WITH=\"85%\"><DIV STYLE=\"margin: 2%\"><H2>Application Server "
        "Administration</H2>"
        "<p>Click a Brevant Application Server instance name:</p>"
        "<TABLE WIDTH=\"96%\" BORDER=0 CELLSPACING=2 CELLPADDING=6 bgcolor=#ffcc66>"
        "<th>Server Name</th>";
    for (int i = 0; i < table.groupCount; ++i) {
        page +=
            "<TR><td align=center bgcolor=#ffffee class=\"normalText\"><a "
            "href=\"/servlet/admin/";
        page += table.groups[i].name;
        page += "\">";
        page += table.groups[i].name;
        page += "</a></td></tr>";
    }
    page +=
        "</table><p></p>"
        "</DIV></TD></TR></TABLE></body></html>";
    return page;
}

}  // namespace

void sendAdminPage(const GroupTable& table, HTTP_FILTER_CONTEXT* pfc) {
    char headers[] = "Content-type: text/html\r\n\r\n";
    if (!pfc->ServerSupportFunction(pfc, SF_REQ_SEND_RESPONSE_HEADER, nullptr,
                                    reinterpret_cast<ULONG_PTR>(headers), 0)) {
        return;
    }
    std::string page = adminPage(table, isX11Browser(pfc));
    DWORD length = static_cast<DWORD>(page.size());
    pfc->WriteClient(pfc, page.data(), &length, 1);
}

}  // namespace brevant::adapter
