// The HTTP core end to end over real sockets: framing, keep-alive, limits and time-outs,
// and that slow or idle clients never starve the others.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "http_test_client.h"
#include "stand-ins/isapihost/http/response_framing.h"

using namespace httptest;
using isapihost::AfterResponse;
using isapihost::ConnectionInfo;
using isapihost::Exchange;
using isapihost::RequestHead;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {

// What a handler saw of its requests, for the test to look at afterwards.
struct Seen {
    std::mutex mutex;
    std::vector<RequestHead> heads;
    std::vector<ConnectionInfo> connections;
    std::vector<uint64_t> received;
    void record(const Exchange& exchange) {
        std::lock_guard<std::mutex> lock(mutex);
        heads.push_back(exchange.head());
        connections.push_back(exchange.connection());
        received.push_back(exchange.bytesReceived());
    }
};

std::string get(const std::string& target, const std::string& extra = "") {
    return "GET " + target + " HTTP/1.1\r\nHost: test\r\n" + extra + "\r\n";
}

}  // namespace

TEST(HttpServer, ServesKeptAliveAndPipelinedRequestsOnOneConnection) {
    Seen seen;
    FunctionHandler handler([&](Exchange& exchange) {
        std::string body;
        readBody(exchange, &body);
        seen.record(exchange);
        return answer(exchange, exchange.head().method + " " + exchange.head().target + " " + body);
    });
    RunningServer server(handler, testLimits());
    Client client(server.port());
    ASSERT_TRUE(client.connected());

    std::string first = "GET /a?x=1 HTTP/1.1\r\nHost: h\r\nX-Mixed-Case:  v1 \r\n\r\n";
    ASSERT_TRUE(client.send(first));
    Response response = client.readResponse();
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, "GET /a?x=1 ");

    // Two requests in one packet, the second with a body: both answered, in order.
    std::string post = "POST /c HTTP/1.1\r\nContent-Length: 3\r\n\r\nxyz";
    ASSERT_TRUE(client.send(get("/b") + post));
    EXPECT_EQ(client.readResponse().body, "GET /b ");
    EXPECT_EQ(client.readResponse().body, "POST /c xyz");

    std::lock_guard<std::mutex> lock(seen.mutex);
    ASSERT_EQ(seen.heads.size(), 3u);
    const RequestHead& head = seen.heads[0];
    EXPECT_EQ(head.method, "GET");
    EXPECT_EQ(head.target, "/a?x=1");
    EXPECT_EQ(head.versionMajor, 1u);
    EXPECT_EQ(head.versionMinor, 1u);
    ASSERT_EQ(head.headers.size(), 2u);
    EXPECT_EQ(head.headers[1].name, "X-Mixed-Case");
    EXPECT_EQ(head.headers[1].value, "v1");
    EXPECT_EQ(head.rawHeaders, "Host: h\r\nX-Mixed-Case:  v1 \r\n");
    EXPECT_TRUE(head.clientWantsKeepAlive);
    EXPECT_EQ(seen.received[0], first.size());
    EXPECT_EQ(seen.heads[2].contentLength, 3u);
    EXPECT_EQ(seen.received[2], post.size());

    const ConnectionInfo& info = seen.connections[0];
    EXPECT_EQ(info.remoteAddress, "127.0.0.1");
    EXPECT_EQ(info.localAddress, "127.0.0.1");
    EXPECT_EQ(info.localPort, server.port());
    EXPECT_NE(info.remotePort, 0);
    EXPECT_FALSE(info.secure);
    EXPECT_FALSE(info.certificate.present);
    EXPECT_EQ(seen.connections[2].remotePort, info.remotePort);  // the same connection
}

TEST(HttpServer, ClosesUnlessBothSidesKeepTheConnection) {
    FunctionHandler handler([](Exchange& exchange) {
        if (exchange.head().target == "/close") {
            answer(exchange, "bye");
            return AfterResponse::Close;
        }
        if (exchange.head().target == "/ignore-body") {
            return answer(exchange, "unread");
        }
        return echo(exchange);
    });
    RunningServer server(handler, testLimits());

    struct Case {
        std::string request;
        bool staysOpen;
    } cases[] = {
        {get("/", "Connection: close\r\n"), false},
        {"GET / HTTP/1.0\r\n\r\n", false},
        {"GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", true},
        {get("/close"), false},
        // A body the handler left unread would be taken for the next request.
        {"POST /ignore-body HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        Client client(server.port());
        ASSERT_TRUE(client.send(c.request));
        EXPECT_EQ(client.readResponse().status, 200);
        if (c.staysOpen) {
            ASSERT_TRUE(client.send(c.request));
            EXPECT_EQ(client.readResponse().status, 200);
        } else {
            EXPECT_TRUE(client.closedByServer());
        }
    }
}

TEST(HttpServer, RejectsBadHeadsThenGoesOnServing) {
    FunctionHandler handler(echo);
    RunningServer server(handler, testLimits());

    // Exactly at the limit is still a head; one byte more is not.
    auto headOfSize = [](size_t size) {
        std::string start = "GET / HTTP/1.1\r\nX-Fill: ";
        return start + std::string(size - start.size() - 4, 'a') + "\r\n\r\n";
    };
    {
        Client client(server.port());
        ASSERT_TRUE(client.send(headOfSize(16384)));
        EXPECT_EQ(client.readResponse().status, 200);
    }
    struct Case {
        std::string request;
        int status;
    } cases[] = {
        {headOfSize(16385), 400},
        {headOfSize(20000) + std::string(100000, 'b'), 400},
        {"GARBAGE\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nNo colon here\r\n\r\n", 400},
        {"GET / HTTP/3.0\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab", 400},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", 411},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.substr(0, 60));
        Client client(server.port());
        client.send(c.request);
        std::string bytes = client.readUntilClose();
        std::string page = isapihost::errorPage(c.status);
        ASSERT_TRUE(bytes.starts_with("HTTP/1.1 " + std::to_string(c.status) + " ")) << bytes;
        EXPECT_NE(bytes.find("\r\nServer: isapihost/1.0\r\n"), std::string::npos);
        EXPECT_NE(bytes.find("\r\nContent-Type: text/html\r\nContent-Length: " +
                             std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page),
                  std::string::npos);
        EXPECT_EQ(bytes.size(), bytes.find("\r\n\r\n") + 4 + page.size());

        Client next(server.port());
        ASSERT_TRUE(next.send(get("/next")));
        EXPECT_EQ(next.readResponse().body, "GET /next ");
    }
    EXPECT_EQ(handler.started, 1 + 7);  // the bad heads never reached the handler
}

TEST(HttpServer, TimesOutHeadsAndIdleConnectionsWithoutHoldingThreads) {
    FunctionHandler handler(echo);
    auto limits = testLimits();
    limits.workerThreads = 1;
    limits.headerTimeout = std::chrono::seconds(1);
    limits.keepAliveTimeout = std::chrono::seconds(1);
    RunningServer server(handler, limits);

    Clock::time_point start = Clock::now();
    std::vector<std::unique_ptr<Client>> slow;
    for (int i = 0; i < 20; ++i) {
        slow.push_back(std::make_unique<Client>(server.port()));
        ASSERT_TRUE(slow.back()->send("GET /slow HTTP/1.1\r\nHost: "));
    }
    Client silent(server.port());
    Client keptAlive(server.port());
    ASSERT_TRUE(keptAlive.send(get("/")));
    EXPECT_EQ(keptAlive.readResponse().status, 200);

    // Twenty half heads and the one worker still serve a new client at once.
    Client fresh(server.port());
    ASSERT_TRUE(fresh.send(get("/fresh")));
    EXPECT_EQ(fresh.readResponse().body, "GET /fresh ");
    EXPECT_LT(msSince(start), 900);

    for (auto& client : slow) {
        Response response = client->readResponse();
        EXPECT_EQ(response.status, 408);
        EXPECT_EQ(response.header("Connection"), "close");
        EXPECT_TRUE(client->closedByServer());
    }
    EXPECT_GE(msSince(start), 900);
    // Nothing sent, nothing to answer: just closed, like the idle kept-alive connection.
    EXPECT_EQ(silent.readUntilClose(), "");
    EXPECT_EQ(keptAlive.readUntilClose(), "");
    EXPECT_LT(msSince(start), 4000);
}

TEST(HttpServer, ManyIdleAndConcurrentConnectionsAreAllServed) {
    FunctionHandler handler([](Exchange& exchange) {
        std::this_thread::sleep_for(milliseconds(2));
        return echo(exchange);
    });
    auto limits = testLimits();
    limits.workerThreads = 4;
    RunningServer server(handler, limits);

    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 300; ++i) {
        idle.push_back(std::make_unique<Client>(server.port()));
        ASSERT_TRUE(idle.back()->send(get("/idle")));
        ASSERT_EQ(idle.back()->readResponse().status, 200);
    }
    Clock::time_point start = Clock::now();
    Client fresh(server.port());
    ASSERT_TRUE(fresh.send(get("/fresh")));
    EXPECT_EQ(fresh.readResponse().status, 200);
    EXPECT_LT(msSince(start), 1000);

    // 200 requests at once, queued for four workers: every one answered, to its own client.
    std::vector<std::unique_ptr<Client>> busy;
    for (int i = 0; i < 200; ++i) {
        busy.push_back(std::make_unique<Client>(server.port()));
        ASSERT_TRUE(busy.back()->send(get("/" + std::to_string(i))));
    }
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(busy[static_cast<size_t>(i)]->readResponse().body,
                  "GET /" + std::to_string(i) + " ");
    }
    // The idle ones are still open and served.
    ASSERT_TRUE(idle.front()->send(get("/again")));
    EXPECT_EQ(idle.front()->readResponse().body, "GET /again ");
}

TEST(HttpServer, StopLetsStartedRequestsFinishAndClosesIdleConnections) {
    FunctionHandler handler([](Exchange& exchange) {
        std::this_thread::sleep_for(milliseconds(300));
        return echo(exchange);
    });
    auto server = std::make_unique<RunningServer>(handler, testLimits());
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 8; ++i) {
        clients.push_back(std::make_unique<Client>(server->port()));
        ASSERT_TRUE(clients.back()->send(get("/" + std::to_string(i))));
    }
    Client idle(server->port());
    Client halfHead(server->port());
    ASSERT_TRUE(halfHead.send("GET / HTTP/1.1\r\n"));
    while (handler.started < 4) {
        std::this_thread::sleep_for(milliseconds(5));
    }
    std::this_thread::sleep_for(milliseconds(100));  // the other heads are queued by now

    EXPECT_TRUE(server->stop());
    EXPECT_EQ(handler.finished, 8);
    for (int i = 0; i < 8; ++i) {
        Response response = clients[static_cast<size_t>(i)]->readResponse();
        EXPECT_EQ(response.body, "GET /" + std::to_string(i) + " ");
        EXPECT_TRUE(clients[static_cast<size_t>(i)]->closedByServer());
    }
    EXPECT_EQ(idle.readUntilClose(), "");
    EXPECT_EQ(halfHead.readUntilClose(), "");
    Client late(server->port());
    EXPECT_TRUE(!late.connected() || late.readUntilClose().empty());
}

TEST(HttpServer, StopRacingNewConnectionsEndsCleanly) {
    FunctionHandler handler(echo);
    for (int round = 0; round < 5; ++round) {
        auto server = std::make_unique<RunningServer>(handler, testLimits());
        std::atomic<bool> done{false};
        std::vector<std::thread> clients;
        for (int i = 0; i < 4; ++i) {
            clients.emplace_back([&, port = server->port()] {
                while (!done) {
                    Client client(port, milliseconds(2000));
                    if (!client.send(get("/")) || client.readResponse().status != 200) {
                        std::this_thread::sleep_for(milliseconds(1));
                    }
                }
            });
        }
        std::this_thread::sleep_for(milliseconds(30 + round * 20));
        EXPECT_TRUE(server->stop());
        done = true;
        for (auto& thread : clients) {
            thread.join();
        }
    }
    EXPECT_EQ(handler.started.load(), handler.finished.load());
}

TEST(HttpServer, ListenReportsWhyItCannot) {
    FunctionHandler handler(echo);
    RunningServer running(handler, testLimits());
    isapihost::HttpServer second(handler, testLimits());
    std::string error;
    isapihost::ListenerConfig taken;
    taken.port = running.port();
    EXPECT_EQ(second.listen(taken, &error), 0);
    EXPECT_NE(error.find("127.0.0.1:" + std::to_string(running.port())), std::string::npos)
        << error;
    isapihost::ListenerConfig nonsense;
    nonsense.address = "localhost.invalid";
    EXPECT_EQ(second.listen(nonsense, &error), 0);
    EXPECT_NE(error.find("not an IP address"), std::string::npos) << error;
}
