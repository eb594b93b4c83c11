// The worker side's blocking I/O: bodies of any size, 100-continue, the client's end, and
// the connection time-out for clients that stop sending or reading.
#include <gtest/gtest.h>

#include <future>
#include <vector>

#include "response_checks.h"
#include "server_fixture.h"

using namespace httptest;
using Clock = std::chrono::steady_clock;

namespace {

// Reads the body in pieces from one byte to 64 KiB, so that both the buffered and the
// direct read run; answers its digest and the bytes received.
AfterResponse digestBody(Exchange& exchange) {
    std::vector<char> piece(65536);
    std::string body;
    for (size_t want = 1; body.size() < exchange.head().contentLength;
         want = want * 7 % 65536 + 1) {
        ssize_t n = exchange.readSome(
            piece.data(), std::min<uint64_t>(want, exchange.head().contentLength - body.size()));
        if (n <= 0) {
            return AfterResponse::Close;
        }
        body.append(piece.data(), static_cast<size_t>(n));
    }
    return answer(exchange,
                  testsupport::uploadDigest(body) + " " + std::to_string(exchange.bytesReceived()));
}

std::string post(const std::string& body, const std::string& extra = "") {
    return "POST /upload HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
           extra + "\r\n";
}

class ExchangeTest : public HttpServerTest {
  protected:
    // What a handler's read or write and the calls after it gave, once the connection
    // time-out of one second ended it.
    struct Outcome {
        bool failed = false;
        long long ms = 0;
        ssize_t readAfter = 1;
        bool wroteAfter = true;
    };
    Outcome timedOut(const std::string& request) {
        std::promise<Outcome> outcome;
        start(
            [&](Exchange& exchange) {
                Outcome result;
                Clock::time_point begin = Clock::now();
                char byte;
                if (exchange.head().target == "/read") {
                    result.failed = exchange.readSome(&byte, 1) == -1;  // no body comes
                } else {
                    std::string block(1 << 20, 'x');
                    for (int i = 0; i < 256 && !result.failed; ++i) {  // nothing is read
                        begin = Clock::now();
                        result.failed = !exchange.writeAll(block.data(), block.size());
                    }
                }
                result.ms = msSince(begin);
                result.readAfter = exchange.readSome(&byte, 1);
                result.wroteAfter = exchange.writeAll("x", 1);
                outcome.set_value(result);
                return AfterResponse::KeepAlive;
            },
            limits(4, 1));
        client_ = connect();
        EXPECT_TRUE(client_->send(request));
        return outcome.get_future().get();
    }
    std::unique_ptr<HttpConnection> client_;
};

}  // namespace

TEST_F(ExchangeTest, ReadsALargeBodyWholeAfterAskingForItWithContinue) {
    start(digestBody);
    const std::string body = testsupport::uploadBody(20 * 1024 * 1024);
    const std::string head = post(body, "Expect: 100-continue\r\n");
    auto client = connect();
    ASSERT_TRUE(client->send(head));
    EXPECT_EQ(client->read().raw, "HTTP/1.1 100 Continue\r\n\r\n") << "once the handler reads";
    ASSERT_TRUE(client->send(body));
    EXPECT_EQ(client->read().body,
              testsupport::uploadDigest(body) + " " + std::to_string(head.size() + body.size()));
    ASSERT_TRUE(client->send(post("hi") + "hi"));
    EXPECT_EQ(client->read().body,
              testsupport::uploadDigest("hi") + " " + std::to_string(post("hi").size() + 2))
        << "still kept alive";
}

TEST_F(ExchangeTest, ReadSomeReturnsZeroOnceTheClientHasClosed) {
    std::promise<std::pair<uint64_t, ssize_t>> seen;
    start([&](Exchange& exchange) {
        char piece[64];
        uint64_t total = 0;
        ssize_t n;
        while ((n = exchange.readSome(piece, sizeof piece)) > 0) {
            total += static_cast<uint64_t>(n);
        }
        seen.set_value({total, n});
        answer(exchange, "partial");
        return AfterResponse::KeepAlive;
    });
    auto client = connect();
    ASSERT_TRUE(client->send("POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\n0123456789"));
    client->shutdownSending();
    EXPECT_EQ(seen.get_future().get(), std::make_pair(uint64_t{10}, ssize_t{0}));
    // The answer still reaches the client; then the server closes, as the client has ended.
    EXPECT_EQ(client->read().body, "partial");
    EXPECT_TRUE(client->closedByServer());
}

TEST_F(ExchangeTest, AReadOrWriteFailsAfterTheConnectionTimeoutAndSoDoesAllAfterIt) {
    for (const char* request :
         {"GET /write HTTP/1.1\r\n\r\n", "POST /read HTTP/1.1\r\nContent-Length: 10\r\n\r\n"}) {
        Outcome result = timedOut(request);
        EXPECT_TRUE(result.failed) << request;
        EXPECT_GE(result.ms, 900);
        EXPECT_LT(result.ms, 3000);
        EXPECT_EQ(result.readAfter, -1);
        EXPECT_FALSE(result.wroteAfter);
    }
    EXPECT_EQ(client_->readAll(), "") << "the reader's connection is closed, not kept alive";
}

TEST_F(ExchangeTest, AHandlerThatThrowsGetsA500AndTheServerGoesOn) {
    start([](Exchange& exchange) -> AfterResponse {
        if (exchange.head().target == "/throw") {
            throw std::runtime_error("handler fault");
        }
        return answer(exchange, "fine");
    });
    auto client = connect();
    ASSERT_TRUE(client->send(get("/throw")));
    HttpResponse response = client->read();
    EXPECT_EQ(response.status, 500);
    EXPECT_EQ(response.headers["connection"], "close");
    EXPECT_TRUE(client->closedByServer());
    EXPECT_EQ(exchange(get("/")).body, "fine");
}
