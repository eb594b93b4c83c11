#include "sample_app_checks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>

#include "http_client.h"
#include "response_checks.h"
#include "test_paths.h"

namespace sample {

namespace {

testsupport::HttpResponse get(int port, const std::string& target, const std::string& headers) {
    return testsupport::httpRequest(port, "GET", target, headers);
}

// The most memory `pid` has held resident (VmHWM), in kB; -1 when it cannot be read.
int64_t peakResidentKb(pid_t pid) {
    const std::string status = testsupport::readFile("/proc/" + std::to_string(pid) + "/status");
    const size_t line = status.find("\nVmHWM:");
    return line == std::string::npos ? -1 : std::strtoll(status.c_str() + line + 7, nullptr, 10);
}

// Lets the peak of `pid` start again from what it holds now, so that earlier requests do not
// hide what the next one costs.
bool restartPeakResident(pid_t pid) {
    std::ofstream clearRefs("/proc/" + std::to_string(pid) + "/clear_refs");
    clearRefs << "5";
    clearRefs.flush();
    return clearRefs.good();
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
    // The file's 50 MB are sent as they are: no request holding a copy of them is built.
    const std::string file = testsupport::uploadBody(50u * 1024 * 1024);
    const std::string part = "\r\nContent-Disposition: form-data; name=";
    const std::string before = "--b7d3f" + part + "\"note\"\r\n\r\nhello\r\n--b7d3f" + part +
                               "\"file\"; filename=\"data.bin\"\r\n\r\n";
    const std::string after = "\r\n--b7d3f--\r\n";
    testsupport::HttpConnection connection(port);
    ASSERT_TRUE(
        connection.send("POST /sample/upload HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                        "Content-Type: multipart/form-data; boundary=b7d3f\r\nContent-Length: " +
                        std::to_string(before.size() + file.size() + after.size()) + "\r\n\r\n" +
                        before) &&
        connection.send(file) && connection.send(after));
    EXPECT_EQ(connection.read().body, testsupport::uploadDigest(file) + "\n");
}

void expectADownloadStreamsInBoundedMemory(int port, const std::vector<pid_t>& servers) {
    // Streaming adds a few MB at most (the instance's JVM); a process holding the answer
    // grows by most of its 100 MB, also when some of it lands in heap already resident.
    const int64_t growthLimitKb = 32 * 1024;
    std::vector<int64_t> peaksBefore;
    for (pid_t server : servers) {
        ASSERT_TRUE(restartPeakResident(server)) << server;
        peaksBefore.push_back(peakResidentKb(server));
        ASSERT_GT(peaksBefore.back(), 0) << server;
    }
    const uint64_t size = 100u * 1024 * 1024;
    testsupport::HttpConnection connection(port);
    ASSERT_TRUE(
        connection.send("GET /sample/download?mib=100 HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                        "Connection: close\r\n\r\n"));
    testsupport::ScrambledBytes expected;
    uint64_t received = 0;
    uint64_t firstWrong = size;
    testsupport::HttpResponse answer = connection.readStreamed([&](std::string_view piece) {
        for (char byte : piece) {
            if (static_cast<unsigned char>(byte) != expected.next() && firstWrong == size) {
                firstWrong = received;
            }
            ++received;
        }
    });
    EXPECT_EQ(answer.status, 200) << answer.raw;
    EXPECT_EQ(answer.headers["content-length"], std::to_string(size));
    EXPECT_EQ(received, size);
    EXPECT_EQ(firstWrong, size) << "the offset of the first byte off the sequence";
    for (size_t i = 0; i < servers.size(); ++i) {
        // The peak was reset before the download, so it may come out a little lower now.
        const int64_t peak = peakResidentKb(servers[i]);
        ASSERT_GE(peak, 0) << "no VmHWM for process " << servers[i];
        EXPECT_LT(peak - peaksBefore[i], growthLimitKb)
            << "process " << servers[i] << " grew by " << peak - peaksBefore[i] << " kB";
    }
}

}  // namespace sample
