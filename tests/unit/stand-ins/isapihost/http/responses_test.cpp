// The responses the server frames itself, byte for byte, on an Exchange that records
// what is written.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>

#include <regex>

#include "fake_exchange.h"
#include "stand-ins/isapihost/http/http_date.h"
#include "stand-ins/isapihost/http/responses.h"
#include "test_paths.h"

using isapihost::AfterResponse;

namespace {

// A request of `method` for "/" whose client would keep the connection.
class RecordingExchange final : public isapihost::FakeExchange {
  public:
    explicit RecordingExchange(const std::string& method) : FakeExchange(method, "/", {}) {
        mutableHead().clientWantsKeepAlive = true;
    }
};

// The bytes with the Date header's value replaced by "*", after checking its form.
std::string withoutDate(const std::string& bytes) {
    std::regex date(
        "\r\nDate: [A-Z][a-z]{2}, \\d{2} [A-Z][a-z]{2} \\d{4} \\d{2}:\\d{2}:\\d{2} GMT\r\n");
    return std::regex_replace(bytes, date, "\r\nDate: *\r\n",
                              std::regex_constants::format_first_only);
}

const char kNotFoundPage[] =
    "<html><head><title>404 Not Found</title></head><body><h1>404 Not Found</h1></body></html>";

}  // namespace

TEST(Responses, ErrorPagesAndRedirectsAreFramedExactly) {
    RecordingExchange notFound("GET");
    auto result = isapihost::sendError(notFound, 404);
    EXPECT_EQ(result.status, 404);
    EXPECT_EQ(result.after, AfterResponse::KeepAlive);
    EXPECT_EQ(withoutDate(notFound.written),
              "HTTP/1.1 404 Not Found\r\nServer: isapihost/1.0\r\nDate: *\r\n"
              "Content-Type: text/html\r\nContent-Length: 89\r\n\r\n" +
                  std::string(kNotFoundPage));

    // A 500 closes; extra headers go before Connection; HEAD gets no page.
    RecordingExchange failed("HEAD");
    result = isapihost::sendError(failed, 500, "X-Why: because\r\n");
    EXPECT_EQ(result.after, AfterResponse::Close);
    EXPECT_EQ(withoutDate(failed.written),
              "HTTP/1.1 500 Internal Server Error\r\nServer: isapihost/1.0\r\nDate: *\r\n"
              "Content-Type: text/html\r\nContent-Length: 113\r\nX-Why: because\r\n"
              "Connection: close\r\n\r\n");

    // An HTTP/1.0 client that asked for keep-alive is told it stays; a request body closes.
    RecordingExchange old("GET");
    old.mutableHead().versionMinor = 0;
    EXPECT_EQ(isapihost::sendError(old, 403).after, AfterResponse::KeepAlive);
    EXPECT_NE(old.written.find("\r\nConnection: keep-alive\r\n\r\n"), std::string::npos);
    RecordingExchange withBody("POST");
    withBody.mutableHead().contentLength = 10;
    EXPECT_EQ(isapihost::sendError(withBody, 404).after, AfterResponse::Close);

    RecordingExchange moved("GET");
    result = isapihost::sendRedirect(moved, "/Scripts/?a=1&b=\"2\"");
    EXPECT_EQ(result.status, 302);
    std::string body =
        "<html><head><title>Object Moved</title></head><body><h1>Object Moved</h1>This document "
        "may be found <a HREF=\"/Scripts/?a=1&amp;b=&quot;2&quot;\">here</a></body></html>";
    EXPECT_EQ(withoutDate(moved.written),
              "HTTP/1.1 302 Found\r\nServer: isapihost/1.0\r\nDate: *\r\n"
              "Location: /Scripts/?a=1&b=\"2\"\r\nContent-Type: text/html\r\nContent-Length: " +
                  std::to_string(body.size()) + "\r\n\r\n" + body);

    EXPECT_STREQ(isapihost::reasonPhrase(411), "Length Required");
    EXPECT_STREQ(isapihost::reasonPhrase(299), "Unknown");
}

TEST(Responses, ServeFileAnswersGetHeadAndConditionalRequests) {
    testsupport::ScratchDir dir("isapihost-files");
    std::string content(200 * 1024 + 3, '\0');  // several pieces
    for (size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>(i % 251);
    }
    std::string path = dir.file("page.bin");
    testsupport::writeFile(path, content);
    timeval times[2] = {{1700000000, 0}, {1700000000, 0}};  // 2023-11-14 22:13:20 GMT
    ASSERT_EQ(utimes(path.c_str(), times), 0);
    const std::string head =
        "HTTP/1.1 200 OK\r\nServer: isapihost/1.0\r\nDate: *\r\nContent-Type: "
        "application/x-test\r\n"
        "Content-Length: 204803\r\nLast-Modified: Tue, 14 Nov 2023 22:13:20 GMT\r\n\r\n";

    RecordingExchange get("GET");
    auto result = isapihost::serveFile(get, path, "application/x-test");
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.after, AfterResponse::KeepAlive);
    EXPECT_EQ(withoutDate(get.written), head + content);
    EXPECT_GT(get.writes, 1);

    RecordingExchange headOnly("HEAD");
    EXPECT_EQ(isapihost::serveFile(headOnly, path, "application/x-test").status, 200);
    EXPECT_EQ(withoutDate(headOnly.written), head);

    // If-Modified-Since at or after the file's time: 304; before it: the file.
    struct Case {
        std::string since;
        int status;
    } cases[] = {
        {"Tue, 14 Nov 2023 22:13:20 GMT", 304},
        {"Wed, 15 Nov 2023 00:00:00 GMT; length=204803", 304},
        {"Tuesday, 14-Nov-23 22:13:20 GMT", 304},
        {"Tue Nov 14 22:13:20 2023", 304},
        {"Tue, 14 Nov 2023 22:13:19 GMT", 200},
        {"not a date", 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.since);
        RecordingExchange conditional("GET");
        conditional.mutableHead().headers.push_back({"if-modified-since", c.since});
        EXPECT_EQ(isapihost::serveFile(conditional, path, "text/plain").status, c.status);
        if (c.status == 304) {
            EXPECT_EQ(withoutDate(conditional.written),
                      "HTTP/1.1 304 Not Modified\r\nServer: isapihost/1.0\r\nDate: *\r\n"
                      "Last-Modified: Tue, 14 Nov 2023 22:13:20 GMT\r\n\r\n");
        }
    }
}

TEST(Responses, ServeFileRefusesWhatItCannotServe) {
    testsupport::ScratchDir dir("isapihost-refusals");
    std::string path = dir.file("a.txt");
    testsupport::writeFile(path, "text");

    RecordingExchange missing("GET");
    EXPECT_EQ(isapihost::serveFile(missing, dir.file("none.txt"), "text/plain").status, 404);
    EXPECT_EQ(withoutDate(missing.written).substr(0, 23), "HTTP/1.1 404 Not Found\r");

    RecordingExchange folder("GET");
    EXPECT_EQ(isapihost::serveFile(folder, dir.path(), "text/plain").status, 403);

    RecordingExchange post("POST");
    auto result = isapihost::serveFile(post, path, "text/plain");
    EXPECT_EQ(result.status, 405);
    EXPECT_NE(post.written.find("\r\nAllow: GET, HEAD\r\n"), std::string::npos);

    if (geteuid() != 0) {  // root reads anything
        chmod(path.c_str(), 0);
        RecordingExchange unreadable("GET");
        EXPECT_EQ(isapihost::serveFile(unreadable, path, "text/plain").status, 403);
    }
}
