// The responses the server frames itself, byte for byte, on an Exchange that records
// what is written.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>

#include <regex>

#include "fake_exchange.h"
#include "stand-ins/isapihost/http/responses.h"
#include "test_paths.h"

using isapihost::AfterResponse;

namespace {

const std::string kStart = "Server: isapihost/1.0\r\nDate: *\r\n";
const std::string kModified = "Last-Modified: Tue, 14 Nov 2023 22:13:20 GMT\r\n";

class Responses : public testing::Test {
  protected:
    // A file of several pieces, last modified 2023-11-14 22:13:20 GMT.
    Responses() : content_(200 * 1024 + 3, '\0') {
        for (size_t i = 0; i < content_.size(); ++i) {
            content_[i] = static_cast<char>(i % 251);
        }
        testsupport::writeFile(file_, content_);
        timeval times[2] = {{1700000000, 0}, {1700000000, 0}};
        utimes(file_.c_str(), times);
    }
    // A request of `method` for "/" whose client would keep the connection.
    static isapihost::FakeExchange request(const std::string& method, int minorVersion = 1) {
        isapihost::FakeExchange exchange(method, "/", {});
        exchange.mutableHead().clientWantsKeepAlive = true;
        exchange.mutableHead().versionMinor = static_cast<unsigned>(minorVersion);
        return exchange;
    }
    // What was written, the Date header's value replaced by "*" after checking its form.
    static std::string written(const isapihost::FakeExchange& exchange) {
        std::regex date(
            "\r\nDate: [A-Z][a-z]{2}, \\d{2} [A-Z][a-z]{2} \\d{4} \\d{2}:\\d{2}:\\d{2} GMT\r\n");
        return std::regex_replace(exchange.written, date, "\r\nDate: *\r\n",
                                  std::regex_constants::format_first_only);
    }
    // The status serveFile answers a GET with If-Modified-Since: `since` with.
    int conditional(const std::string& since) {
        isapihost::FakeExchange get = request("GET");
        get.mutableHead().headers.push_back({"if-modified-since", since});
        int status = isapihost::serveFile(get, file_, "text/plain").status;
        EXPECT_TRUE(status != 304 ||
                    written(get) == "HTTP/1.1 304 Not Modified\r\n" + kStart + kModified + "\r\n");
        return status;
    }

    testsupport::ScratchDir dir_{"isapihost-files"};
    std::string file_ = dir_.file("page.bin");
    std::string content_;
};

}  // namespace

TEST_F(Responses, AnErrorPageKeepsTheConnection) {
    isapihost::FakeExchange notFound = request("GET");
    auto result = isapihost::sendError(notFound, 404);
    EXPECT_EQ(result.status, 404);
    EXPECT_EQ(result.after, AfterResponse::KeepAlive);
    EXPECT_EQ(written(notFound),
              "HTTP/1.1 404 Not Found\r\n" + kStart +
                  "Content-Type: text/html\r\nContent-Length: 89\r\n\r\n<html><head><title>404 "
                  "Not Found</title></head><body><h1>404 Not Found</h1></body></html>");
}

TEST_F(Responses, A500ClosesWithItsExtraHeadersAndHeadGetsNoPage) {
    isapihost::FakeExchange failed = request("HEAD");
    EXPECT_EQ(isapihost::sendError(failed, 500, "X-Why: because\r\n").after, AfterResponse::Close);
    EXPECT_EQ(written(failed), "HTTP/1.1 500 Internal Server Error\r\n" + kStart +
                                   "Content-Type: text/html\r\nContent-Length: 113\r\nX-Why: "
                                   "because\r\nConnection: close\r\n\r\n");
}

TEST_F(Responses, AnHttp10ClientIsToldItsConnectionStaysAndABodyClosesIt) {
    isapihost::FakeExchange old = request("GET", 0);
    EXPECT_EQ(isapihost::sendError(old, 403).after, AfterResponse::KeepAlive);
    EXPECT_NE(old.written.find("\r\nConnection: keep-alive\r\n\r\n"), std::string::npos);
    isapihost::FakeExchange withBody = request("POST");
    withBody.mutableHead().contentLength = 10;
    EXPECT_EQ(isapihost::sendError(withBody, 404).after, AfterResponse::Close);
}

TEST_F(Responses, ARedirectEscapesItsLocationInThePage) {
    isapihost::FakeExchange moved = request("GET");
    EXPECT_EQ(isapihost::sendRedirect(moved, "/Scripts/?a=1&b=\"2\"").status, 302);
    std::string body =
        "<html><head><title>Object Moved</title></head><body><h1>Object Moved</h1>This document "
        "may be found <a HREF=\"/Scripts/?a=1&amp;b=&quot;2&quot;\">here</a></body></html>";
    EXPECT_EQ(written(moved), "HTTP/1.1 302 Found\r\n" + kStart +
                                  "Location: /Scripts/?a=1&b=\"2\"\r\nContent-Type: "
                                  "text/html\r\nContent-Length: " +
                                  std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_STREQ(isapihost::reasonPhrase(411), "Length Required");
    EXPECT_STREQ(isapihost::reasonPhrase(299), "Unknown");
}

TEST_F(Responses, ServeFileAnswersGetAndHead) {
    const std::string head = "HTTP/1.1 200 OK\r\n" + kStart +
                             "Content-Type: application/x-test\r\nContent-Length: 204803\r\n" +
                             kModified + "\r\n";
    isapihost::FakeExchange get = request("GET");
    auto result = isapihost::serveFile(get, file_, "application/x-test");
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.after, AfterResponse::KeepAlive);
    EXPECT_EQ(written(get), head + content_);
    EXPECT_GT(get.writes, 1);
    isapihost::FakeExchange headOnly = request("HEAD");
    EXPECT_EQ(isapihost::serveFile(headOnly, file_, "application/x-test").status, 200);
    EXPECT_EQ(written(headOnly), head);
}

TEST_F(Responses, ServeFileAnswers304FromTheFilesTimeOn) {
    EXPECT_EQ(conditional("Tue, 14 Nov 2023 22:13:20 GMT"), 304);
    EXPECT_EQ(conditional("Wed, 15 Nov 2023 00:00:00 GMT; length=204803"), 304);
    EXPECT_EQ(conditional("Tuesday, 14-Nov-23 22:13:20 GMT"), 304);
    EXPECT_EQ(conditional("Tue Nov 14 22:13:20 2023"), 304);
    EXPECT_EQ(conditional("Tue, 14 Nov 2023 22:13:19 GMT"), 200);
    EXPECT_EQ(conditional("not a date"), 200);
}

TEST_F(Responses, ServeFileRefusesWhatItCannotServe) {
    isapihost::FakeExchange missing = request("GET");
    EXPECT_EQ(isapihost::serveFile(missing, dir_.file("none.txt"), "text/plain").status, 404);
    EXPECT_TRUE(written(missing).starts_with("HTTP/1.1 404 Not Found\r\n"));
    isapihost::FakeExchange folder = request("GET");
    EXPECT_EQ(isapihost::serveFile(folder, dir_.path(), "text/plain").status, 403);
    isapihost::FakeExchange post = request("POST");
    EXPECT_EQ(isapihost::serveFile(post, file_, "text/plain").status, 405);
    EXPECT_NE(post.written.find("\r\nAllow: GET, HEAD\r\n"), std::string::npos);
    if (geteuid() != 0) {  // root reads anything
        chmod(file_.c_str(), 0);
        isapihost::FakeExchange unreadable = request("GET");
        EXPECT_EQ(isapihost::serveFile(unreadable, file_, "text/plain").status, 403);
    }
}
