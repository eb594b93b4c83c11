#include "sample_app_checks.h"

#include <gtest/gtest.h>

#include "http_client.h"
#include "response_checks.h"
#include "test_paths.h"

namespace sample {

namespace {

testsupport::HttpResponse get(int port, const std::string& target,
                              const std::string& headers = "") {
    return testsupport::httpRequest(port, "GET", target, headers);
}

// "JSESSIONID=..." of a Set-Cookie header: the cookie to send back.
std::string sessionCookie(const testsupport::HttpResponse& response) {
    const auto header = response.headers.find("set-cookie");
    if (header == response.headers.end()) {
        return "";
    }
    return header->second.substr(0, header->second.find(';'));
}

}  // namespace

void addBrokenWar(const std::string& folder) {
    testsupport::writeFile(folder + "/broken.war", "this is no zip archive\n");
}

std::string brokenWarReport(const std::string& folder) {
    return "SEVERE: Error deploying web application archive [" + folder + "/broken.war]\n";
}

void expectSessionCountsOneToFive(int port) {
    const testsupport::HttpResponse first = get(port, "/sample/counter");
    EXPECT_EQ(first.body, "count=1\n");
    const std::string cookie = sessionCookie(first);
    ASSERT_EQ(cookie.rfind("JSESSIONID=", 0), 0u) << first.raw;
    for (int count = 2; count <= 5; ++count) {
        EXPECT_EQ(get(port, "/sample/counter", "Cookie: " + cookie + "\r\n").body,
                  "count=" + std::to_string(count) + "\n");
    }
}

void expectTomcatsPathsOfAServletUnderAPrefix(int port) {
    EXPECT_EQ(get(port, "/sample/a/b;x=1?q=1").body,
              "requestURI=/sample/a/b;x=1\ncontextPath=/sample\nservletPath=/a\n"
              "pathInfo=/b\nqueryString=q=1\n");
}

void expectTomcats500PageForAnApplicationException(int port) {
    const testsupport::HttpResponse page = get(port, "/sample/fail");
    EXPECT_EQ(page.status, 500);
    EXPECT_NE(page.body.find("HTTP Status 500 – Internal Server Error"), std::string::npos)
        << page.body;
    EXPECT_NE(page.body.find("the sample application fails here on purpose"), std::string::npos);
}

void expectForwardAndIncludeComposeTheirBodies(int port) {
    const struct {
        const char* target;
        const char* body;
    } cases[] = {
        {"/sample/forward", "part.jsp, servlet path /part.jsp\n"},
        {"/sample/include", "before\npart.jsp, servlet path /include\nafter\n"},
    };
    for (const auto& c : cases) {
        const testsupport::HttpResponse page = get(port, c.target);
        EXPECT_EQ(page.body, c.body) << c.target;
        EXPECT_EQ(page.headers.count("x-sample-filter"), 1u) << page.raw.substr(0, 400);
    }
}

void expectAMultipartUploadArrivesWhole(int port, size_t size) {
    const std::string boundary = "----sample-boundary-7d3f";
    const std::string file = testsupport::uploadBody(size);
    const std::string body =
        "--" + boundary + "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhello\r\n--" +
        boundary +
        "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"data.bin\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n" +
        file + "\r\n--" + boundary + "--\r\n";
    const testsupport::HttpResponse answer = testsupport::httpRequest(
        port, "POST", "/sample/upload",
        "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n", body);
    EXPECT_EQ(answer.body, testsupport::uploadDigest(file) + "\n") << answer.statusLine;
}

}  // namespace sample
