#include "examples_app_checks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

#include "http_client.h"

namespace examples {

using testsupport::httpRequest;
using testsupport::HttpResponse;

namespace {

constexpr char kInstalled[] = "/usr/share/tomcat10-examples/examples";
constexpr char kSession[] = "/examples/servlets/servlet/SessionExample";

// French: the servlets' texts come from LocalStrings_fr, whatever the machine's own locale.
constexpr char kFrench[] = "Accept-Language: fr\r\n";

testing::AssertionResult installed() {
    if (std::filesystem::is_directory(kInstalled)) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "Tomcat's examples application is not in " << kInstalled
                                       << ": install Debian's package tomcat10-examples";
}

// A WebSocket handshake for `target` as a browser sends it, with `headers` added.
HttpResponse askUpgrade(int port, const std::string& target, const std::string& headers) {
    testsupport::HttpConnection connection(port);
    connection.send("GET " + target +
                    " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
                    headers + "\r\n");
    return connection.read();
}

// A page of the application, what it answers with and a part of its body.
struct Answer {
    const char* target;
    const char* headers;
    int status;
    const char* text;
};

template <size_t N>
void expectAnswers(int port, const Answer (&answers)[N]) {
    for (const Answer& expected : answers) {
        const HttpResponse answer = httpRequest(port, "GET", expected.target, expected.headers);
        EXPECT_EQ(answer.status, expected.status) << expected.target;
        EXPECT_NE(answer.body.find(expected.text), std::string::npos) << answer.raw;
    }
}

}  // namespace

void deployInto(const std::string& folder) {
    std::error_code ignored;  // not installed: the checks say so
    std::filesystem::copy(kInstalled, folder + "/examples",
                          std::filesystem::copy_options::recursive, ignored);
}

// Each page passes the application's RemoteCIDRValve first: it answers 403 unless the
// connector hands Tomcat the client's loopback address.
void expectPagesAnswer(int port) {
    ASSERT_TRUE(installed());
    const Answer pages[] = {
        {"/examples/", "", 200, "<title>Apache Tomcat Examples</title>"},
        {"/examples/servlets/servlet/HelloWorldExample", kFrench, 200, "<h1>Salut le Monde !</h1>"},
        {"/examples/servlets/servlet/RequestParamExample?firstname=Ada&lastname=L%C3%B6w%3Cb%3E",
         kFrench, 200, "Prénom :\n = Ada<br>\nNom :\n = Löw&lt;b&gt;\n"},
        {"/examples/servlets/servlet/RequestHeaderExample", "X-Probe: 7f3a<b>\r\n", 200,
         "</td><td>\n7f3a&lt;b&gt;\n</td>"},
        // JSTL's fn:escapeXml, then the application's own my:reverse.
        {"/examples/jsp/jsp2/el/functions.jsp?foo=Brevant", "", 200, "<td>tnaverB&nbsp;</td>"},
        // JSTL's c:if setting a page variable.
        {"/examples/jsp/tagplugin/if.jsp", "", 200, "The result of testing for (1==1) is: true\n"},
    };
    expectAnswers(port, pages);
}

void expectSessionKeepsAnAttribute(int port) {
    ASSERT_TRUE(installed());
    const HttpResponse set =
        httpRequest(port, "GET", std::string(kSession) + "?dataname=colour&datavalue=teal");
    const std::string cookie = testsupport::cookieSet(set);
    ASSERT_EQ(cookie.rfind("JSESSIONID=", 0), 0u) << set.raw;
    EXPECT_NE(set.headers.at("set-cookie").find("; SameSite=Strict"), std::string::npos)
        << "the cookie processor of the application's context.xml";
    const HttpResponse read = httpRequest(port, "GET", kSession, "Cookie: " + cookie + "\r\n");
    EXPECT_NE(read.body.find("\ncolour = teal\n"), std::string::npos) << read.raw;
    EXPECT_EQ(read.headers.count("set-cookie"), 0u) << "a new session";
}

void expectAsyncServletsAreRefused(int port) {
    ASSERT_TRUE(installed());
    const Answer servlets[] = {
        {"/examples/async/async0", "", 500, "does not support asynchronous operations"},
        {"/examples/async/async3", "", 500, "does not support asynchronous operations"},
        {"/examples/async/stockticker", "", 400, "Async is not supported."},
    };
    expectAnswers(port, servlets);
}

void expectWebSocketUpgradesAreRefused(int port) {
    ASSERT_TRUE(installed());
    const std::string cookie =
        "Cookie: " + testsupport::cookieSet(httpRequest(port, "GET", kSession)) + "\r\n";
    // A servlet that would keep what a request let through asks for, then its endpoints.
    for (const std::string& target : {std::string(kSession) + "?dataname=upgraded&datavalue=yes",
                                      std::string("/examples/websocket/echoAnnotation"),
                                      std::string("/examples/websocket/echoProgrammatic")}) {
        HttpResponse answer = askUpgrade(port, target, cookie);
        EXPECT_EQ(answer.status, 501) << target;
        EXPECT_EQ(answer.body, "WebSocket is not supported by this connector\n") << answer.raw;
        EXPECT_EQ(answer.headers["content-type"].rfind("text/plain", 0), 0u) << answer.raw;
    }
    const HttpResponse session = httpRequest(port, "GET", kSession, cookie);
    ASSERT_EQ(session.status, 200);
    ASSERT_EQ(session.headers.count("set-cookie"), 0u) << "not the refused requests' session";
    EXPECT_EQ(session.body.find("upgraded = yes"), std::string::npos) << "a refused request ran";
}

}  // namespace examples
