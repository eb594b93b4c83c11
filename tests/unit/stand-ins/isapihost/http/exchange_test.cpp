// The worker side's blocking I/O: bodies of any size, the client's end, and the
// connection time-out for clients that stop sending or reading.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <chrono>
#include <future>
#include <thread>

#include "http_test_client.h"

using namespace httptest;
using isapihost::AfterResponse;
using isapihost::Exchange;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {

uint64_t fnv1a(uint64_t hash, const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        hash = (hash ^ static_cast<unsigned char>(data[i])) * 1099511628211ull;
    }
    return hash;
}

const uint64_t kFnvStart = 14695981039346656037ull;

}  // namespace

TEST(Exchange, ReadsALargeBodyWholeInPiecesOfAnySize) {
    // Piece sizes from one byte to 64 KiB, so both the buffered and the direct read run.
    FunctionHandler handler([](Exchange& exchange) {
        std::vector<char> piece(65536);
        uint64_t total = 0;
        uint64_t hash = kFnvStart;
        size_t want = 1;
        while (total < exchange.head().contentLength) {
            size_t size = std::min<uint64_t>(want, exchange.head().contentLength - total);
            ssize_t n = exchange.readSome(piece.data(), size);
            if (n <= 0) {
                return AfterResponse::Close;
            }
            hash = fnv1a(hash, piece.data(), static_cast<size_t>(n));
            total += static_cast<uint64_t>(n);
            want = want * 7 % 65536 + 1;
        }
        return answer(exchange, std::to_string(total) + " " + std::to_string(hash) + " " +
                                    std::to_string(exchange.bytesReceived()));
    });
    RunningServer server(handler, testLimits());

    std::string body(20 * 1024 * 1024, '\0');
    for (size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>(i * 131 + i / 4099);
    }
    std::string head = "POST /upload HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
                       "\r\nExpect: 100-continue\r\n\r\n";
    Client client(server.port());
    ASSERT_TRUE(client.send(head));
    // The server asks for the body once the handler reads it.
    Response go = client.readResponse();
    EXPECT_EQ(go.status, 100);
    EXPECT_EQ(go.head, "HTTP/1.1 100 Continue\r\n\r\n");
    ASSERT_TRUE(client.send(body));
    Response response = client.readResponse();
    EXPECT_EQ(response.body, std::to_string(body.size()) + " " +
                                 std::to_string(fnv1a(kFnvStart, body.data(), body.size())) + " " +
                                 std::to_string(head.size() + body.size()));
    // Still kept alive.
    std::string small = "POST /small HTTP/1.1\r\nContent-Length: 2\r\n\r\nhi";
    ASSERT_TRUE(client.send(small));
    EXPECT_EQ(client.readResponse().body, "2 " + std::to_string(fnv1a(kFnvStart, "hi", 2)) + " " +
                                              std::to_string(small.size()));
}

TEST(Exchange, ReadSomeReturnsZeroOnceTheClientHasClosed) {
    std::promise<std::pair<uint64_t, ssize_t>> seen;
    FunctionHandler handler([&](Exchange& exchange) {
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
    RunningServer server(handler, testLimits());
    Client client(server.port());
    ASSERT_TRUE(client.send("POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\n0123456789"));
    client.shutdownSending();
    auto result = seen.get_future().get();
    EXPECT_EQ(result.first, 10u);
    EXPECT_EQ(result.second, 0);
    // The answer still reaches the client; then the server closes, as the client has ended.
    EXPECT_EQ(client.readResponse().body, "partial");
    EXPECT_TRUE(client.closedByServer());
}

TEST(Exchange, ReadsAndWritesFailAfterTheConnectionTimeout) {
    struct Outcome {
        ssize_t read = 1;
        bool wrote = true;
        long long ms = 0;
        ssize_t readAfter = 1;
        bool wroteAfter = true;
    };
    std::promise<Outcome> outcome;
    FunctionHandler handler([&](Exchange& exchange) {
        Outcome result;
        Clock::time_point start = Clock::now();
        char byte;
        if (exchange.head().target == "/read") {
            result.read = exchange.readSome(&byte, 1);  // the client sends no body
        } else {
            std::string block(1 << 20, 'x');
            for (int i = 0; i < 256 && result.wrote; ++i) {  // the client reads nothing
                start = Clock::now();
                result.wrote = exchange.writeAll(block.data(), block.size());
            }
        }
        result.ms = msSince(start);
        result.readAfter = exchange.readSome(&byte, 1);
        result.wroteAfter = exchange.writeAll("x", 1);
        outcome.set_value(result);
        return AfterResponse::KeepAlive;
    });
    auto limits = testLimits();
    limits.connectionTimeout = std::chrono::seconds(1);
    RunningServer server(handler, limits);
    {
        Client client(server.port());
        ASSERT_TRUE(client.send("POST /read HTTP/1.1\r\nContent-Length: 10\r\n\r\n"));
        Outcome result = outcome.get_future().get();
        EXPECT_EQ(result.read, -1);
        EXPECT_GE(result.ms, 900);
        EXPECT_LT(result.ms, 3000);
        EXPECT_EQ(result.readAfter, -1);
        EXPECT_FALSE(result.wroteAfter);
        EXPECT_EQ(client.readUntilClose(), "");  // closed, not kept alive
    }
    outcome = std::promise<Outcome>();
    {
        Client client(server.port());
        ASSERT_TRUE(client.send("GET /write HTTP/1.1\r\n\r\n"));
        Outcome result = outcome.get_future().get();
        EXPECT_FALSE(result.wrote);
        EXPECT_GE(result.ms, 900);
        EXPECT_LT(result.ms, 3000);
        EXPECT_EQ(result.readAfter, -1);
        EXPECT_FALSE(result.wroteAfter);
    }
}

TEST(Exchange, AHandlerThatThrowsGetsA500AndTheServerGoesOn) {
    FunctionHandler handler([](Exchange& exchange) -> AfterResponse {
        if (exchange.head().target == "/throw") {
            throw std::runtime_error("handler fault");
        }
        return answer(exchange, "fine");
    });
    RunningServer server(handler, testLimits());
    Client client(server.port());
    ASSERT_TRUE(client.send("GET /throw HTTP/1.1\r\n\r\n"));
    Response response = client.readResponse();
    EXPECT_EQ(response.status, 500);
    EXPECT_EQ(response.header("Connection"), "close");
    EXPECT_TRUE(client.closedByServer());
    Client next(server.port());
    ASSERT_TRUE(next.send("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(next.readResponse().body, "fine");
}
