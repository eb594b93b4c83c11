// The HTTP core end to end over real sockets: framing, keep-alive, limits and time-outs,
// and that slow or idle clients never starve the others.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "server_fixture.h"
#include "stand-ins/isapihost/http/response_framing_internal.h"

using namespace httptest;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {

// Answers with the head and the connection as the handler saw them.
AfterResponse describeRequest(Exchange& exchange) {
    std::string body;
    readBody(exchange, &body);
    const isapihost::RequestHead& head = exchange.head();
    const isapihost::ConnectionInfo& info = exchange.connection();
    std::string text = head.method + "|" + head.target + "|" + std::to_string(head.versionMajor) +
                       "." + std::to_string(head.versionMinor) + "|" + head.rawHeaders + "|";
    for (const isapihost::Header& header : head.headers) {
        text += header.name + "=" + header.value + ";";
    }
    return answer(exchange, text + "|" + std::to_string(head.contentLength) + "|" +
                                (head.clientWantsKeepAlive ? "keep" : "close") + "|" +
                                std::to_string(exchange.bytesReceived()) + "|" +
                                info.remoteAddress + ":" + std::to_string(info.remotePort) + "|" +
                                info.localAddress + ":" + std::to_string(info.localPort) +
                                (info.secure || info.certificate.present ? "|secure" : "") + "|" +
                                body);
}

// A head of exactly `size` bytes.
std::string headOfSize(size_t size) {
    std::string start = "GET / HTTP/1.1\r\nX-Fill: ";
    return start + std::string(size - start.size() - 4, 'a') + "\r\n\r\n";
}

}  // namespace

TEST_F(HttpServerTest, TheHandlerSeesTheHeadAndTheConnectionAsSent) {
    start(describeRequest);
    auto client = connect();
    const std::string first = "GET /a?x=1 HTTP/1.1\r\nHost: h\r\nX-Mixed-Case:  v1 \r\n\r\n";
    ASSERT_TRUE(client->send(first));
    const std::string self = "127.0.0.1:" + std::to_string(port());
    std::string seen = client->read().body;
    EXPECT_EQ(seen.substr(0, seen.find("|127.0.0.1:")),
              "GET|/a?x=1|1.1|Host: h\r\nX-Mixed-Case:  v1 \r\n|Host=h;X-Mixed-Case=v1;|0|keep|" +
                  std::to_string(first.size()));
    EXPECT_TRUE(seen.ends_with("|" + self + "|")) << seen;
    // Pipelined in one packet, the second with a body: both answered, in order, on the
    // same connection.
    const std::string post = "POST /c HTTP/1.1\r\nContent-Length: 3\r\n\r\nxyz";
    ASSERT_TRUE(client->send(get("/b") + post));
    EXPECT_EQ(client->read().body.substr(0, 6), "GET|/b");
    std::string last = client->read().body;
    EXPECT_TRUE(last.starts_with("POST|/c|1.1|Content-Length: 3\r\n|Content-Length=3;|3|keep|" +
                                 std::to_string(post.size())))
        << last;
    EXPECT_EQ(last.substr(last.find("|127.0.0.1:")), seen.substr(seen.find("|127.0.0.1:")) + "xyz");
}

TEST_F(HttpServerTest, ClosesUnlessBothSidesKeepTheConnection) {
    start([](Exchange& exchange) {
        if (exchange.head().target == "/close") {
            answer(exchange, "bye");
            return AfterResponse::Close;
        }
        return exchange.head().target == "/ignore-body" ? answer(exchange, "unread")
                                                        : echo(exchange);
    });
    const std::pair<std::string, bool> cases[] = {
        {get("/", "Connection: close\r\n"), false},
        {"GET / HTTP/1.0\r\n\r\n", false},
        {"GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", true},
        {get("/close"), false},
        // A body the handler left unread would be taken for the next request.
        {"POST /ignore-body HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", false},
    };
    for (const auto& [request, staysOpen] : cases) {
        SCOPED_TRACE(request);
        auto client = connect();
        ASSERT_TRUE(client->send(request));
        EXPECT_EQ(client->read().status, 200);
        EXPECT_EQ(client->closedByServer(staysOpen ? 200 : 2000), !staysOpen);
    }
}

struct BadHead {
    std::string request;
    int status;
};

void PrintTo(const BadHead& bad, std::ostream* out) {
    *out << bad.status << " for " << testing::PrintToString(bad.request.substr(0, 40));
}

class BadHeads : public HttpServerTest, public testing::WithParamInterface<BadHead> {};

TEST_P(BadHeads, AreRefusedWithAPageThenTheServerGoesOn) {
    start(echo);
    auto client = connect();
    client->send(GetParam().request);
    std::string bytes = client->readAll();
    const std::string page = isapihost::errorPage(GetParam().status);
    ASSERT_TRUE(bytes.starts_with("HTTP/1.1 " + std::to_string(GetParam().status) + " ")) << bytes;
    EXPECT_NE(bytes.find("\r\nServer: isapihost/1.0\r\n"), std::string::npos);
    EXPECT_TRUE(bytes.ends_with(
        "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(page.size()) +
        "\r\nConnection: close\r\n\r\n" + page));
    EXPECT_EQ(exchange(get("/next")).body, "GET /next ");
    EXPECT_EQ(handler_->started, 1) << "a bad head never reaches the handler";
}

INSTANTIATE_TEST_SUITE_P(
    HttpServerTest, BadHeads,
    testing::Values(
        BadHead{headOfSize(16385), 400}, BadHead{headOfSize(20000) + std::string(100000, 'b'), 400},
        BadHead{"GARBAGE\r\n\r\n", 400}, BadHead{"GET / HTTP/1.1\r\nNo colon here\r\n\r\n", 400},
        BadHead{"GET / HTTP/3.0\r\n\r\n", 400},
        BadHead{"POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab", 400},
        BadHead{"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
                411}));

TEST_F(HttpServerTest, AHeadExactlyAtTheLimitIsServed) {
    start(echo);
    EXPECT_EQ(exchange(headOfSize(16384)).status, 200);
}

TEST_F(HttpServerTest, TimesOutHeadsAndIdleConnectionsWithoutHoldingThreads) {
    start(echo, limits(1, 1));
    Clock::time_point begin = Clock::now();
    std::vector<std::unique_ptr<HttpConnection>> slow;
    for (int i = 0; i < 20; ++i) {
        slow.push_back(connect());
        ASSERT_TRUE(slow.back()->send("GET /slow HTTP/1.1\r\nHost: "));
    }
    auto silent = connect();
    auto keptAlive = connect();
    ASSERT_TRUE(keptAlive->send(get("/")));
    EXPECT_EQ(keptAlive->read().status, 200);
    // Twenty half heads and the one worker still serve a new client at once.
    EXPECT_EQ(exchange(get("/fresh")).body, "GET /fresh ");
    EXPECT_LT(msSince(begin), 900);
    for (auto& client : slow) {
        HttpResponse response = client->read();
        EXPECT_EQ(response.status, 408);
        EXPECT_EQ(response.headers["connection"], "close");
        EXPECT_TRUE(client->closedByServer());
    }
    EXPECT_GE(msSince(begin), 900);
    // Nothing sent, nothing to answer: just closed, like the idle kept-alive connection.
    EXPECT_EQ(silent->readAll(), "");
    EXPECT_EQ(keptAlive->readAll(), "");
    EXPECT_LT(msSince(begin), 4000);
}

TEST_F(HttpServerTest, ManyIdleAndConcurrentConnectionsAreAllServed) {
    start([](Exchange& exchange) {
        std::this_thread::sleep_for(milliseconds(2));
        return echo(exchange);
    });
    std::vector<std::unique_ptr<HttpConnection>> idle, busy;
    for (int i = 0; i < 300; ++i) {
        idle.push_back(connect());
        ASSERT_TRUE(idle.back()->send(get("/idle")));
        ASSERT_EQ(idle.back()->read().status, 200);
    }
    Clock::time_point begin = Clock::now();
    EXPECT_EQ(exchange(get("/fresh")).status, 200);
    EXPECT_LT(msSince(begin), 1000);
    // 200 requests at once, queued for four workers: every one answered, to its own client.
    for (int i = 0; i < 200; ++i) {
        busy.push_back(connect());
        ASSERT_TRUE(busy.back()->send(get("/" + std::to_string(i))));
    }
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(busy[static_cast<size_t>(i)]->read().body, "GET /" + std::to_string(i) + " ");
    }
    ASSERT_TRUE(idle.front()->send(get("/again")));
    EXPECT_EQ(idle.front()->read().body, "GET /again ") << "the idle ones are still served";
}

TEST_F(HttpServerTest, StopLetsStartedRequestsFinishAndClosesIdleConnections) {
    start([](Exchange& exchange) {
        std::this_thread::sleep_for(milliseconds(300));
        return echo(exchange);
    });
    std::vector<std::unique_ptr<HttpConnection>> clients;
    for (int i = 0; i < 8; ++i) {
        clients.push_back(connect());
        ASSERT_TRUE(clients.back()->send(get("/" + std::to_string(i))));
    }
    auto idle = connect();
    auto halfHead = connect();
    ASSERT_TRUE(halfHead->send("GET / HTTP/1.1\r\n"));
    while (handler_->started < 4) {
        std::this_thread::sleep_for(milliseconds(5));
    }
    std::this_thread::sleep_for(milliseconds(100));  // the other heads are queued by now
    EXPECT_TRUE(stop());
    EXPECT_EQ(handler_->finished, 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(clients[static_cast<size_t>(i)]->read().body, "GET /" + std::to_string(i) + " ");
        EXPECT_TRUE(clients[static_cast<size_t>(i)]->closedByServer());
    }
    EXPECT_EQ(idle->readAll(), "");
    EXPECT_EQ(halfHead->readAll(), "");
    auto late = connect();
    EXPECT_TRUE(!late->connected() || late->readAll().empty());
}

TEST_F(HttpServerTest, StopRacingNewConnectionsEndsCleanly) {
    for (int round = 0; round < 5; ++round) {
        start(echo);
        std::atomic<bool> done{false};
        std::vector<std::thread> clients;
        for (int i = 0; i < 4; ++i) {
            clients.emplace_back([&, port = port()] {
                while (!done) {
                    HttpConnection client(port, 2);
                    if (!client.send(get("/")) || client.read().status != 200) {
                        std::this_thread::sleep_for(milliseconds(1));
                    }
                }
            });
        }
        std::this_thread::sleep_for(milliseconds(30 + round * 20));
        EXPECT_TRUE(stop());
        done = true;
        for (auto& thread : clients) {
            thread.join();
        }
        EXPECT_EQ(handler_->started.load(), handler_->finished.load());
    }
}
