#include "sample_app_checks.h"

#include <gtest/gtest.h>

#include "http_client.h"
#include "response_checks.h"
#include "test_paths.h"

namespace sample {

namespace {

testsupport::HttpResponse get(int port, const std::string& target, const std::string& headers) {
    return testsupport::httpRequest(port, "GET", target, headers);
}

}  // namespace

void addBrokenWar(const std::string& folder) {
    testsupport::writeFile(folder + "/broken.war", "this is no zip archive\n");
}

std::string brokenWarReport(const std::string& folder) {
    return "SEVERE: Error deploying web application archive [" + folder + "/broken.war]\n";
}

void expectPagesAnswer(int port) {
    const struct {
        const char* target;
        int status;
        const char* text;  // a part of the body
    } pages[] = {
        {"/sample/hello.jsp?q=blue", 200, "servlet path: /hello.jsp</p>\n<p>Query: blue, scheme: "},
        {"/sample/a/b;x=1?q=1", 200,
         "requestURI=/sample/a/b;x=1\ncontextPath=/sample\nservletPath=/a\npathInfo=/b\n"
         "queryString=q=1\n"},
        {"/sample/fail", 500, "<h1>HTTP Status 500 – Internal Server Error</h1>"},
        {"/sample/forward", 200, "part.jsp, servlet path /part.jsp\n"},
        {"/sample/include", 200, "before\npart.jsp, servlet path /include\nafter\n"},
    };
    for (const auto& page : pages) {
        testsupport::HttpResponse answer = get(port, page.target, "");
        EXPECT_EQ(answer.status, page.status) << page.target;
        EXPECT_NE(answer.body.find(page.text), std::string::npos) << answer.body;
        EXPECT_EQ(answer.headers["x-sample-filter"], "passed") << page.target;
    }
    EXPECT_EQ(get(port, pages[3].target, "").body, pages[3].text) << "the forward's target alone";
}

void expectSessionCountsOneToFive(int port) {
    const testsupport::HttpResponse first = get(port, "/sample/counter", "");
    EXPECT_EQ(first.body, "count=1\n");
    const std::string cookie = testsupport::cookieSet(first);
    ASSERT_EQ(cookie.rfind("JSESSIONID=", 0), 0u) << first.raw;
    for (int count = 2; count <= 5; ++count) {
        EXPECT_EQ(get(port, "/sample/counter", "Cookie: " + cookie + "\r\n").body,
                  "count=" + std::to_string(count) + "\n");
    }
}

void expectAMultipartUploadArrivesWhole(int port) {
    const std::string file = testsupport::uploadBody(5u * 1024 * 1024);
    const std::string part = "\r\nContent-Disposition: form-data; name=";
    const std::string body = "--b7d3f" + part + "\"note\"\r\n\r\nhello\r\n--b7d3f" + part +
                             "\"file\"; filename=\"data.bin\"\r\n\r\n" + file + "\r\n--b7d3f--\r\n";
    EXPECT_EQ(
        testsupport::httpRequest(port, "POST", "/sample/upload",
                                 "Content-Type: multipart/form-data; boundary=b7d3f\r\n", body)
            .body,
        testsupport::uploadDigest(file) + "\n");
}

}  // namespace sample
