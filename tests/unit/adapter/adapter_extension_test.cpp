// The adapter's extension against a fake instance over real sockets and a fake control
// block: the bytes it sends, the commands it serves, the way every exchange ends, and what
// the client sees when a request cannot be handed on.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <httpext.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "adapter_groups.h"
#include "fake_ecb.h"
#include "fake_instance.h"
#include "request_relay.h"
#include "test_paths.h"

namespace {

using brevant::adapter::groupCount;
using brevant::adapter::groups;
using fakeinstance::clientCertificate;
using fakeinstance::FakeInstance;
using fakeinstance::Peer;
using fakeinstance::readBody;
using fakeinstance::responseData;
using testsupport::FakeEcb;
using namespace std::chrono_literals;

const std::string kAllHttp =
    "HTTP_HOST:shop.example\n"
    "HTTP_ACCEPT_LANGUAGE:de\n"
    "HTTP_X_BREVANT_REQUEST:/sales/list?item=7\n"
    "HTTP_X_BREVANT_GROUP:0\n"
    "HTTP_X_BREVANT_ANYTHING:sneaky\n"
    "HTTP_COOKIE:a=1; b=2\n"
    "HTTP_X_FORWARDED_FOR:10.9.9.9\n"
    "HTTP_REFERER:http://x/y?z=1\n";

const std::string kHead =
    "GET /sales/list?item=7 HTTP/1.1\r\n"
    "HOST: shop.example\r\n"
    "ACCEPT-LANGUAGE: de\r\n"
    "COOKIE: a=1; b=2\r\n"
    "X-FORWARDED-FOR: 10.9.9.9\r\n"
    "REFERER: http://x/y?z=1\r\n"
    "\r\n";

const std::string kAddlInfo =
    "10.1.2.3\r\nclient.example\r\nshop.example\r\n8080\r\nisapihost/1.0\r\nfalse\r\n\r\n";

const std::string kResponse =
    "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\nhello";

const std::string kPageStart =
    "<html><head><title>Brevant Failure</title></head><body bgcolor=#ffffff>"
    "<center><h2><font color=#FF0000>";
const std::string kPageEnd = "</center></body></html>";

// Reads the request as the adapter sends it and answers `response`.
void answer(Peer& peer, const std::string& response) {
    peer.readHead();
    peer.readAddlInfo();
    peer.send(responseData(response));
}

class Extension : public testing::Test {
  protected:
    void SetUp() override {
        brevant::adapter::resetGroups();
        setenv("STANDIN_DEBUG_OUTPUT", scratch_.file("debug.txt").c_str(), 1);
    }

    // Group `index` named `name` at 127.0.0.1:`port`; the table reaches it.
    static void setGroup(int index, const char* name, int port) {
        std::snprintf(groups[index].name, sizeof groups[index].name, "%s", name);
        groups[index].instance.address = inet_addr("127.0.0.1");
        groups[index].instance.port = htons(static_cast<uint16_t>(port));
        if (groupCount <= index) {
            groupCount = index + 1;
        }
    }

    // A routed GET of "/sales/list?item=7" for group 0, with everything IIS tells.
    static void describeRequest(FakeEcb& ecb) {
        ecb.variables = {{"HTTP_X_BREVANT_GROUP", "0"},
                         {"REQUEST_METHOD", "GET"},
                         {"HTTP_X_BREVANT_REQUEST", "/sales/list?item=7"},
                         {"SERVER_PROTOCOL", "HTTP/1.1"},
                         {"ALL_HTTP", kAllHttp},
                         {"REMOTE_ADDR", "10.1.2.3"},
                         {"REMOTE_HOST", "client.example"},
                         {"SERVER_NAME", "shop.example"},
                         {"SERVER_PORT", "8080"},
                         {"SERVER_SOFTWARE", "isapihost/1.0"},
                         {"SERVER_PORT_SECURE", "0"}};
    }

    // What the one connection of `instance` received, once it is over.
    static fakeinstance::Connection onlyConnection(FakeInstance& instance) {
        EXPECT_TRUE(instance.waitForConnections(1));
        std::vector<fakeinstance::Connection> connections = instance.connections();
        EXPECT_EQ(connections.size(), 1u);
        return connections.empty() ? fakeinstance::Connection{} : connections[0];
    }

    std::string debugOutput() const { return testsupport::readFile(scratch_.file("debug.txt")); }

    testsupport::ScratchDir scratch_{"adapter-extension"};
};

// ---- what the adapter sends --------------------------------------------------------------

TEST_F(Extension, SendsTheHeadAndAdditionalInformationAndRelaysTheAnswerUnchanged) {
    FakeInstance instance([](Peer& peer) { answer(peer, kResponse); });
    setGroup(0, "sales", instance.port());
    FakeEcb ecb;
    describeRequest(ecb);

    EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));

    fakeinstance::Connection connection = onlyConnection(instance);
    EXPECT_EQ(connection.received, kHead + kAddlInfo);
    EXPECT_TRUE(connection.closedByAdapter);
    EXPECT_EQ(ecb.written, kResponse);
    EXPECT_TRUE(ecb.responseHeaders.empty()) << "the instance's bytes are the whole response";
    EXPECT_EQ(ecb.writeFlags, std::vector<DWORD>{HSE_IO_SYNC});
    EXPECT_EQ(ecb.get()->dwHttpStatusCode, 200u);
    EXPECT_EQ(ecb.sizesPassed["HTTP_X_BREVANT_GROUP"], 3u);
    for (const char* name :
         {"REQUEST_METHOD", "HTTP_X_BREVANT_REQUEST", "SERVER_PROTOCOL", "ALL_HTTP"}) {
        EXPECT_EQ(ecb.sizesPassed[name], 5120u) << name;
    }
    for (const char* name : {"REMOTE_ADDR", "REMOTE_HOST", "SERVER_NAME", "SERVER_PORT",
                             "SERVER_SOFTWARE", "SERVER_PORT_SECURE"}) {
        EXPECT_EQ(ecb.sizesPassed[name], 255u) << name;
    }
    EXPECT_EQ(debugOutput(), "");
}

TEST_F(Extension, FallsBackWhereIisCannotTell) {
    FakeInstance instance([](Peer& peer) { answer(peer, "x"); });
    setGroup(0, "sales", instance.port());
    {
        FakeEcb ecb;
        ecb.variables = {{"HTTP_X_BREVANT_GROUP", "0"},
                         {"REQUEST_METHOD", "HEAD"},
                         {"HTTP_X_BREVANT_REQUEST", "/x"},
                         {"REMOTE_HOST", "reported with size 0"}};
        ecb.zeroSize = {"REMOTE_HOST"};
        EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    }
    ASSERT_TRUE(instance.waitForConnections(1));
    EXPECT_EQ(instance.connections()[0].received,
              "HEAD /x HTTP/1.0\r\n\r\n"
              "127.0.0.1\r\n127.0.0.1\r\n127.0.0.1\r\n80\r\nBrevantAS\r\nfalse\r\n\r\n");
    EXPECT_EQ(debugOutput(),
              "BrevantISAPIAdapter::sendRequestHeader() failed to get SERVER_PROTOCOL.\n"
              "BrevantISAPIAdapter::sendRequestHeader() failed to get ALL_HTTP.\n"
              "BrevantISAPIAdapter::sendAddlInfo() failed to get REMOTE_ADDR.\n"
              "BrevantISAPIAdapter::sendAddlInfo() failed to get REMOTE_HOST.\n"
              "BrevantISAPIAdapter::sendAddlInfo() failed to get SERVER_NAME.\n"
              "BrevantISAPIAdapter::sendAddlInfo() failed to get SERVER_PORT.\n"
              "BrevantISAPIAdapter::sendAddlInfo() failed to get SERVER_SOFTWARE.\n"
              "BrevantISAPIAdapter::sendAddlInfo() failed to get SERVER_PORT_SECURE.\n");

    // Only "1" makes a secure port.
    size_t served = 1;
    for (auto [secure, line] : {std::pair{"1", "true"}, {"01", "false"}, {"yes", "false"}}) {
        FakeEcb ecb;
        describeRequest(ecb);
        ecb.variables["SERVER_PORT_SECURE"] = secure;
        ecb.variables["REMOTE_HOST"] = "";  // read, and empty: sent as it is
        EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
        ASSERT_TRUE(instance.waitForConnections(++served));
        EXPECT_EQ(
            instance.connections().back().received,
            kHead + "10.1.2.3\r\n\r\nshop.example\r\n8080\r\nisapihost/1.0\r\n" + line + "\r\n\r\n")
            << secure;
    }
}

TEST_F(Extension, SendsALongHeadWholeAlsoWhenItsVariablesExceedTheFixedBuffer) {
    FakeInstance instance([](Peer& peer) { answer(peer, "x"); });
    setGroup(0, "sales", instance.port());

    std::string url = "/sales/" + std::string(4000, 'u') + "?q=" + std::string(500, 'q');
    std::string allHttp;
    std::string headerLines;
    for (int i = 0; i < 40; ++i) {
        std::string name = "X_LONG_HEADER_" + std::to_string(i);
        std::string value(100, static_cast<char>('a' + i % 26));
        allHttp += "HTTP_" + name + ":" + value + "\n";
        std::string dashed = name;
        for (char& c : dashed) {
            c = c == '_' ? '-' : c;
        }
        headerLines += dashed + ": " + value + "\r\n";
    }
    ASSERT_LT(allHttp.size(), 5120u);
    {
        FakeEcb ecb;
        describeRequest(ecb);
        ecb.variables["HTTP_X_BREVANT_REQUEST"] = url;
        ecb.variables["ALL_HTTP"] = allHttp;
        EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
        EXPECT_EQ(ecb.written, "x");
        ASSERT_TRUE(instance.waitForConnections(1));  // so that the connections keep their order
    }
    {
        FakeEcb ecb;
        describeRequest(ecb);
        ecb.variables["ALL_HTTP"] = allHttp + allHttp;  // needs more than 5120 bytes
        EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    }
    ASSERT_TRUE(instance.waitForConnections(2));
    std::vector<fakeinstance::Connection> connections = instance.connections();
    std::string longHead = "GET " + url + " HTTP/1.1\r\n" + headerLines + "\r\n";
    EXPECT_GT(longHead.size(), 8192u);
    EXPECT_EQ(connections[0].received, longHead + kAddlInfo);
    // Over the 5120 bytes IIS is first asked for: read again at the size IIS names.
    EXPECT_EQ(connections[1].received, "GET /sales/list?item=7 HTTP/1.1\r\n" + headerLines +
                                           headerLines + "\r\n" + kAddlInfo);
    EXPECT_EQ(debugOutput(), "");
}

// ---- the request body ----------------------------------------------------------------------

TEST_F(Extension, SendsThePreloadedBodyAndReadsTheRestWhenTheInstanceAsks) {
    std::string preloaded(5000, 'p');
    std::string rest;
    for (int i = 0; i < 10000; ++i) {
        rest += static_cast<char>('0' + i % 43);
    }
    FakeInstance instance([&](Peer& peer) {
        peer.readHead();
        peer.readAddlInfo();
        std::string body = peer.readBytes(5000);
        peer.send(readBody(10000));
        body += peer.readBytes(10000);
        peer.send(responseData(body == preloaded + rest ? "whole" : "broken"));
    });
    setGroup(0, "sales", instance.port());

    FakeEcb ecb;
    describeRequest(ecb);
    ecb.variables["REQUEST_METHOD"] = "POST";
    ecb.setBody(preloaded, rest);
    EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    EXPECT_EQ(ecb.written, "whole");
    EXPECT_EQ(ecb.readSizes, (std::vector<DWORD>{4096, 4096, 1808})) << "pieces of 4096 at most";
    fakeinstance::Connection connection = onlyConnection(instance);
    EXPECT_EQ(connection.received.substr(0, 5), "POST ");
    EXPECT_EQ(connection.received.substr(connection.received.size() - rest.size() - 5000),
              preloaded + rest)
        << "the preloaded bytes follow the additional information at once, no count before";

    // ReadClient may deliver less than asked: the relay goes on until the count is met.
    FakeInstance shortReads([&](Peer& peer) {
        peer.readHead();
        peer.readAddlInfo();
        peer.send(readBody(3000));
        peer.send(responseData(peer.readBytes(3000) == rest.substr(0, 3000) ? "ok" : "bad"));
    });
    setGroup(0, "sales", shortReads.port());
    FakeEcb small;
    describeRequest(small);
    small.setBody("", rest);
    small.readLimit = 700;
    EXPECT_EQ(HttpExtensionProc(small.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    EXPECT_EQ(small.written, "ok");
    EXPECT_EQ(small.readSizes, (std::vector<DWORD>{3000, 2300, 1600, 900, 200}));
}

TEST_F(Extension, ABodyThatEndsShortOfTheInstancesRequestEndsTheExchange) {
    for (FakeEcb::ClientEnd end : {FakeEcb::ClientEnd::EndOfBody, FakeEcb::ClientEnd::Fails}) {
        std::string relayed;
        bool closed = false;
        FakeInstance instance(
            [&](Peer& peer) {
                peer.readHead();
                peer.readAddlInfo();
                peer.send(readBody(10));
                relayed = peer.readBytes(10);
                peer.waitForClose();  // gives up after the time-out if the adapter waits on
                closed = peer.closedByAdapter();
            },
            3s);
        setGroup(0, "sales", instance.port());
        FakeEcb ecb;
        describeRequest(ecb);
        ecb.setBody("", "abcdef");
        ecb.clientEnd = end;
        EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
        ASSERT_TRUE(instance.waitForConnections(1));
        EXPECT_EQ(relayed, "abcdef") << "what the client sent, and no more";
        EXPECT_TRUE(closed) << "the instance is not left waiting for the missing bytes";
        EXPECT_EQ(ecb.written, "");
    }
}

// ---- the client certificate ------------------------------------------------------------------

TEST_F(Extension, SendsTheCertificateDescriptorOnDemandAndGoesOn) {
    std::string descriptor =
        "&DN#CN=client one C=US, CN=server&IN#CN=Test Root&SN#100f0e0d0c0b0a090807060504030201"
        "&END&";
    auto script = [](size_t expected) {
        return [expected](Peer& peer) {
            peer.readHead();
            peer.readAddlInfo();
            peer.send(clientCertificate());
            peer.readBytes(expected);
            peer.send(clientCertificate());  // may be asked again
            peer.readBytes(expected);
            peer.send(responseData("after"));
        };
    };
    FakeInstance withCertificate(script(descriptor.size()));
    setGroup(0, "sales", withCertificate.port());
    FakeEcb ecb;
    describeRequest(ecb);
    ecb.variables["CERT_FLAGS"] = "1";
    ecb.variables["CERT_SUBJECT"] = "CN=client one";
    ecb.variables["CERT_SERVER_SUBJECT"] = "C=US, CN=server";
    ecb.variables["CERT_ISSUER"] = "CN=Test Root";
    ecb.variables["CERT_SERIALNUMBER"] = "01-02-03-04-05-06-07-08-09-0a-0b-0c-0d-0e-0f-10";
    EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    EXPECT_EQ(ecb.written, "after");
    EXPECT_EQ(onlyConnection(withCertificate).received,
              kHead + kAddlInfo + descriptor + descriptor);
    EXPECT_EQ(ecb.sizesPassed["CERT_SUBJECT"], 1023u);
    EXPECT_EQ(debugOutput(), "CERT_FLAGS=1CERT_FLAGS=1");

    FakeInstance without(script(5));
    setGroup(0, "sales", without.port());
    FakeEcb plain;
    describeRequest(plain);
    plain.variables["CERT_FLAGS"] = "";
    EXPECT_EQ(HttpExtensionProc(plain.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    EXPECT_EQ(onlyConnection(without).received, kHead + kAddlInfo + "&END&&END&");
    EXPECT_EQ(debugOutput(), "CERT_FLAGS=1CERT_FLAGS=1") << "an empty CERT_FLAGS is not reported";
}

// ---- the response --------------------------------------------------------------------------

TEST_F(Extension, RelaysResponsePiecesAsOneStreamAndTakesTheStatusFromTheFirstOnly) {
    std::string big;
    for (int i = 0; i < 10000; ++i) {
        big += static_cast<char>(i * 31);
    }
    FakeInstance instance([&](Peer& peer) {
        peer.readHead();
        peer.readAddlInfo();
        std::string command = responseData("HTTP/1.0 404 Not Found\r\n\r\n" + big);
        peer.sendInPieces(
            {command.substr(0, 3000), command.substr(3000, 5000), command.substr(8000)});
        peer.send(responseData(""));  // relays nothing
        peer.send(responseData("HTTP/1.0 500 Not the first\r\n"));
    });
    setGroup(0, "sales", instance.port());
    FakeEcb ecb;
    describeRequest(ecb);
    ecb.writeLimit = 777;  // IIS may take a piece in several writes
    EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    EXPECT_EQ(ecb.written,
              "HTTP/1.0 404 Not Found\r\n\r\n" + big + "HTTP/1.0 500 Not the first\r\n");
    EXPECT_EQ(ecb.get()->dwHttpStatusCode, 404u);

    // The first piece is what the first receive brings: here "HTTP/1.0", without a space.
    FakeInstance split([](Peer& peer) {
        peer.readHead();
        peer.readAddlInfo();
        std::string command = responseData("HTTP/1.0 404 Not Found\r\n\r\n");
        peer.sendInPieces({command.substr(0, 13), command.substr(13)}, 200ms);
    });
    setGroup(0, "sales", split.port());
    FakeEcb later;
    describeRequest(later);
    EXPECT_EQ(HttpExtensionProc(later.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    EXPECT_EQ(later.written, "HTTP/1.0 404 Not Found\r\n\r\n");
    EXPECT_EQ(later.get()->dwHttpStatusCode, 200u);
}

TEST(RecordStatusCode, TakesTheLeadingNumberOfTheThreeCharactersAfterTheFirstSpace) {
    struct Case {
        std::string piece;
        DWORD status;
    };
    for (const Case& c : std::vector<Case>{{"HTTP/1.0 404 Not Found\r\n", 404},
                                           {"HTTP/1.1 302", 302},
                                           {"HTTP/1.0 40x", 40},
                                           {"X 2001", 200},
                                           {"HTTP/1.0", 123},
                                           {"HTTP/1.0 40", 123},
                                           {"HTTP/1.0 abc", 123},
                                           {"HTTP/1.0 000", 123},
                                           {"HTTP/1.0  404", 123},
                                           {"", 123}}) {
        FakeEcb ecb;
        ecb.get()->dwHttpStatusCode = 123;
        // Exactly the piece's bytes, so that a read past them is caught by the sanitizer.
        std::unique_ptr<char[]> piece(new char[c.piece.size() + 1]);
        std::memcpy(piece.get(), c.piece.data(), c.piece.size());
        brevant::adapter::recordStatusCode(ecb.get(), piece.get(), c.piece.size());
        EXPECT_EQ(ecb.get()->dwHttpStatusCode, c.status) << c.piece;
    }
}

TEST_F(Extension, ReadsLengthAndCountFieldsWholeWhenTheyArriveInPieces) {
    FakeInstance instance([](Peer& peer) {
        peer.readHead();
        peer.readAddlInfo();
        peer.sendInPieces({std::string("\0\0\0", 3), std::string("\0\5hello", 7)});
        std::string count = readBody(3);
        peer.sendInPieces({count.substr(0, 2), count.substr(2)});
        std::string body = peer.readBytes(3);
        peer.sendInPieces(
            {std::string("\0", 1), std::string("\0\0\0", 3), std::string("\3", 1) + body});
    });
    setGroup(0, "sales", instance.port());
    FakeEcb ecb;
    describeRequest(ecb);
    ecb.setBody("", "xyz");
    EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    EXPECT_EQ(ecb.written, "helloxyz");
    EXPECT_TRUE(onlyConnection(instance).closedByAdapter);
}

// ---- how an exchange ends --------------------------------------------------------------------

TEST_F(Extension, EndsTheExchangeWhenTheInstanceStopsDiesOrSpeaksNonsense) {
    // Closing without a byte: the client gets nothing, the call still succeeds.
    {
        FakeInstance silent([](Peer&) {});
        setGroup(0, "sales", silent.port());
        FakeEcb ecb;
        describeRequest(ecb);
        EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
        EXPECT_EQ(ecb.written, "");
        EXPECT_TRUE(ecb.responseHeaders.empty());
        EXPECT_EQ(onlyConnection(silent).received, kHead + kAddlInfo);
    }
    // An unknown command ends the exchange; what came before it is relayed.
    {
        bool closed = false;
        FakeInstance confused(
            [&](Peer& peer) {
                peer.readHead();
                peer.readAddlInfo();
                peer.send(responseData("partial") + "\7" + responseData("never"));
                peer.waitForClose();
                closed = peer.closedByAdapter();
            },
            3s);
        setGroup(0, "sales", confused.port());
        FakeEcb ecb;
        describeRequest(ecb);
        EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
        EXPECT_EQ(ecb.written, "partial");
        ASSERT_TRUE(confused.waitForConnections(1));
        EXPECT_TRUE(closed);
        EXPECT_EQ(debugOutput(), "Received unknown command from Brevant.\n");
    }
    // Dying in the middle of a response: the bytes so far reach the client.
    {
        FakeInstance dying([](Peer& peer) {
            peer.readHead();
            peer.readAddlInfo();
            peer.send(responseData("HTTP/1.0 200 OK\r\n\r\n" + std::string(1000, 'd'))
                          .substr(0, 5 + 19 + 100));
            Peer::pause(100ms);
            peer.abort();
        });
        setGroup(0, "sales", dying.port());
        FakeEcb ecb;
        describeRequest(ecb);
        EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
        EXPECT_EQ(ecb.written, "HTTP/1.0 200 OK\r\n\r\n" + std::string(100, 'd'));
    }
    // A client that cannot be written to ends the exchange and frees the instance.
    {
        bool closed = false;
        FakeInstance talking(
            [&](Peer& peer) {
                peer.readHead();
                peer.readAddlInfo();
                peer.sendInPieces({responseData("first"), responseData("second")});
                peer.waitForClose();
                closed = peer.closedByAdapter();
            },
            3s);
        setGroup(0, "sales", talking.port());
        FakeEcb ecb;
        describeRequest(ecb);
        ecb.writeFailsAfter = 1;
        EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
        EXPECT_EQ(ecb.written, "first");
        ASSERT_TRUE(talking.waitForConnections(1));
        EXPECT_TRUE(closed);
    }
}

// ---- requests that are not handed on -------------------------------------------------------

TEST_F(Extension, RefusesARequestWithoutAUsableGroupWithoutAnswering) {
    FakeInstance instance([](Peer& peer) { answer(peer, "served"); });
    setGroup(0, "sales", instance.port());
    setGroup(12, "hr", instance.port());
    setGroup(49, "last", instance.port());

    int refused = 0;
    for (const char* group : {"(missing)", "-1", "50", "100", "", "abc", "1x", " 1", "+1"}) {
        FakeEcb ecb;
        describeRequest(ecb);
        if (std::string(group) == "(missing)") {
            ecb.variables.erase("HTTP_X_BREVANT_GROUP");
        } else {
            ecb.variables["HTTP_X_BREVANT_GROUP"] = group;
        }
        EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_ERROR)) << group;
        EXPECT_EQ(ecb.written, "") << group;
        EXPECT_TRUE(ecb.responseHeaders.empty()) << group;
        ++refused;
    }
    std::string expected;
    for (int i = 0; i < refused; ++i) {
        expected += "Failed to retrieve Brevant Group for request.";
    }
    EXPECT_EQ(debugOutput(), expected);

    for (const char* group : {"12", "49", "0", "00"}) {
        FakeEcb ecb;
        describeRequest(ecb);
        ecb.variables["HTTP_X_BREVANT_GROUP"] = group;
        EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS)) << group;
        EXPECT_EQ(ecb.written, "served") << group;
    }
    ASSERT_TRUE(instance.waitForConnections(4));
    EXPECT_EQ(instance.connections().size(), 4u) << "no refused request reached the instance";
}

TEST_F(Extension, AnswersWithTheFailurePageWhenTheInstanceCannotBeReached) {
    int port = fakeinstance::closedPort();
    std::string longName(127, 'n');
    setGroup(0, "sales", port);
    setGroup(1, longName.c_str(), port);

    FakeEcb ecb;
    describeRequest(ecb);
    EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_ERROR));
    ASSERT_EQ(ecb.responseHeaders.size(), 1u);
    EXPECT_EQ(ecb.responseHeaders[0].request, static_cast<DWORD>(HSE_REQ_SEND_RESPONSE_HEADER));
    EXPECT_EQ(ecb.responseHeaders[0].status, "500 Internal Server Error");
    EXPECT_EQ(ecb.responseHeaders[0].headers, "Content-Type: text/html\r\n\r\n");
    EXPECT_EQ(ecb.responseHeaders[0].size, 27u);
    EXPECT_EQ(ecb.written,
              kPageStart + "Failed to connect to Brevant instance sales at 127.0.0.1:" +
                  std::to_string(port) + "</font></h2><p>The error number is 10061" + kPageEnd);
    EXPECT_EQ(ecb.writeFlags, std::vector<DWORD>{HSE_IO_SYNC});
    EXPECT_EQ(ecb.get()->dwHttpStatusCode, 500u) << "so that the log shows the status sent";
    EXPECT_EQ(debugOutput(), "Failed to connect to Brevant.\n");

    FakeEcb longest;
    describeRequest(longest);
    longest.variables["HTTP_X_BREVANT_GROUP"] = "1";
    EXPECT_EQ(HttpExtensionProc(longest.get()), static_cast<DWORD>(HSE_STATUS_ERROR));
    EXPECT_EQ(longest.written, kPageStart + "Failed to connect to Brevant instance " + longName +
                                   " at 127.0.0.1:" + std::to_string(port) +
                                   "</font></h2><p>The error number is 10061" + kPageEnd);

    // A number below 50 that no group uses names an empty record.
    FakeEcb unused;
    describeRequest(unused);
    unused.variables["HTTP_X_BREVANT_GROUP"] = "7";
    EXPECT_EQ(HttpExtensionProc(unused.get()), static_cast<DWORD>(HSE_STATUS_ERROR));
    std::string start = kPageStart +
                        "Failed to connect to Brevant instance  at 0.0.0.0:0</font></h2>"
                        "<p>The error number is ";
    EXPECT_EQ(unused.written.substr(0, start.size()), start);
    EXPECT_EQ(unused.written.substr(unused.written.size() - kPageEnd.size()), kPageEnd);
}

TEST_F(Extension, AnswersWithTheFailurePageWhenTheRequestCannotBeDescribed) {
    FakeInstance instance([](Peer&) {});
    setGroup(0, "sales", instance.port());
    size_t connections = 0;
    for (const char* missing : {"REQUEST_METHOD", "HTTP_X_BREVANT_REQUEST"}) {
        setenv("STANDIN_DEBUG_OUTPUT", scratch_.file(missing).c_str(), 1);
        FakeEcb ecb;
        describeRequest(ecb);
        ecb.variables.erase(missing);
        EXPECT_EQ(HttpExtensionProc(ecb.get()), static_cast<DWORD>(HSE_STATUS_ERROR));
        ASSERT_EQ(ecb.responseHeaders.size(), 1u);
        EXPECT_EQ(ecb.responseHeaders[0].status, "500 Internal Server Error");
        EXPECT_EQ(ecb.written, kPageStart +
                                   "Failed to send request headers to Brevant</font></h2>"
                                   "<p>The error number is 1413" +
                                   kPageEnd)
            << "the error of the failed read: ERROR_INVALID_INDEX";
        EXPECT_EQ(testsupport::readFile(scratch_.file(missing)),
                  std::string("BrevantISAPIAdapter::sendRequestHeader() failed to get ") + missing +
                      ".\nFailed to send request headers to Brevant.\n");
        ASSERT_TRUE(instance.waitForConnections(++connections));
        fakeinstance::Connection closed = instance.connections().back();
        EXPECT_EQ(closed.received, "") << "nothing is sent";
        EXPECT_TRUE(closed.closedByAdapter);
    }
}

TEST_F(Extension, CatchesEveryExceptionAndClosesTheConnection) {
    FakeInstance instance([](Peer&) {});
    setGroup(0, "sales", instance.port());

    FakeEcb standard;
    describeRequest(standard);
    standard.throwOn = "REQUEST_METHOD";  // after the connection is made
    standard.throwKind = FakeEcb::Throw::Standard;
    EXPECT_EQ(HttpExtensionProc(standard.get()), static_cast<DWORD>(HSE_STATUS_ERROR));
    EXPECT_EQ(debugOutput(),
              "BrevantISAPIAdapter::HttpExtensionProc() caught an exception!!!\n"
              "variable store exploded");
    ASSERT_TRUE(instance.waitForConnections(1));
    EXPECT_TRUE(instance.connections()[0].closedByAdapter);

    setenv("STANDIN_DEBUG_OUTPUT", scratch_.file("unknown.txt").c_str(), 1);
    FakeEcb unknown;
    describeRequest(unknown);
    unknown.throwOn = "HTTP_X_BREVANT_GROUP";
    unknown.throwKind = FakeEcb::Throw::Unknown;
    EXPECT_EQ(HttpExtensionProc(unknown.get()), static_cast<DWORD>(HSE_STATUS_ERROR));
    EXPECT_EQ(testsupport::readFile(scratch_.file("unknown.txt")),
              "BrevantISAPIAdapter::HttpExtensionProc() caught an unknown exception!!!\n");
    EXPECT_EQ(unknown.written, "");
}

TEST(ExtensionEntryPoints, DescribeTheExtensionAndKeepNothingToRelease) {
    HSE_VERSION_INFO info;
    std::memset(&info, 'x', sizeof info);
    EXPECT_TRUE(GetExtensionVersion(&info));
    EXPECT_EQ(info.dwExtensionVersion, 0x40000u);
    EXPECT_STREQ(info.lpszExtensionDesc, "Brevant ISAPI Adapter Extension");
    EXPECT_TRUE(TerminateExtension(HSE_TERM_MUST_UNLOAD));
}

}  // namespace
