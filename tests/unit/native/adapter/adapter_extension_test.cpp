// The adapter's extension against a fake instance over real sockets and a fake control
// block: the bytes it sends, the commands it serves, the way every exchange ends, and what
// the client sees when a request cannot be handed on.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <httpext.h>

#include <cstring>
#include <deque>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "native/adapter/adapter_groups.h"
#include "debug_output_capture.h"
#include "fake_ecb.h"
#include "fake_instance.h"
#include "native/adapter/request_relay.h"
#include "native/adapter/request_relay_internal.h"

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

const DWORD kSuccess = HSE_STATUS_SUCCESS;
const DWORD kError = HSE_STATUS_ERROR;

// Takes the request head and the additional information off the connection.
void readRequest(Peer& peer) {
    peer.readHead();
    peer.readAddlInfo();
}

// Reads the request and answers `response`.
fakeinstance::Script answering(const std::string& response) {
    return [response](Peer& peer) {
        readRequest(peer);
        peer.send(responseData(response));
    };
}

class Extension : public testing::Test {
  protected:
    void SetUp() override { brevant::adapter::resetGroups(); }

    // Group `index` named `name` at 127.0.0.1:`port`; the table reaches it.
    static void setGroup(int index, const char* name, int port) {
        std::snprintf(groups[index].name, sizeof groups[index].name, "%s", name);
        groups[index].instance.address = inet_addr("127.0.0.1");
        groups[index].instance.port = htons(static_cast<uint16_t>(port));
        groupCount = std::max(groupCount, index + 1);
    }

    // A fresh instance running `script`, reached as group 0, "sales".
    FakeInstance& instance(fakeinstance::Script script, std::chrono::milliseconds timeout = 10s) {
        instance_ = std::make_unique<FakeInstance>(std::move(script), timeout);
        setGroup(0, "sales", instance_->port());
        return *instance_;
    }

    // A routed GET of "/sales/list?item=7" for group 0, with everything IIS tells, then
    // `changes` (a value "-" removes the variable).
    FakeEcb& request(const std::map<std::string, std::string>& changes = {}) {
        FakeEcb& ecb = ecbs_.emplace_back();
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
        for (const auto& [name, value] : changes) {
            if (value == "-") {
                ecb.variables.erase(name);
            } else {
                ecb.variables[name] = value;
            }
        }
        return ecb;
    }

    static DWORD call(FakeEcb& ecb) { return HttpExtensionProc(ecb.get()); }

    // What the instance's `count`th connection received, once it is over.
    fakeinstance::Connection connection(size_t count = 1) {
        EXPECT_TRUE(instance_->waitForConnections(count));
        std::vector<fakeinstance::Connection> all = instance_->connections();
        EXPECT_EQ(all.size(), count);
        return all.size() < count ? fakeinstance::Connection{} : all[count - 1];
    }

    // A script that reads the request, sends `commands`, and records whether the adapter
    // then closed the connection instead of leaving the instance waiting.
    fakeinstance::Script thenWaits(std::string commands) {
        return [this, commands](Peer& peer) {
            readRequest(peer);
            peer.send(commands);
            peer.waitForClose();
            closed_ = peer.closedByAdapter();
        };
    }

    testsupport::DebugOutputCapture output_;
    std::unique_ptr<FakeInstance> instance_;
    std::deque<FakeEcb> ecbs_;
    bool closed_ = false;
};

// ---- what the adapter sends --------------------------------------------------------------

TEST_F(Extension, SendsTheHeadAndAdditionalInformationAndRelaysTheAnswerUnchanged) {
    instance(answering(kResponse));
    FakeEcb& ecb = request();
    EXPECT_EQ(call(ecb), kSuccess);
    EXPECT_EQ(connection().received, kHead + kAddlInfo);
    EXPECT_TRUE(connection().closedByAdapter);
    EXPECT_EQ(ecb.written, kResponse);
    EXPECT_TRUE(ecb.responseHeaders.empty()) << "the instance's bytes are the whole response";
    EXPECT_EQ(ecb.writeFlags, std::vector<DWORD>{HSE_IO_SYNC});
    EXPECT_EQ(output_.text(), "");
}

TEST_F(Extension, AsksIisWithTheBufferSizeOfEachVariable) {
    instance(answering(""));
    FakeEcb& ecb = request();
    call(ecb);
    std::map<std::string, DWORD> expected = {{"HTTP_X_BREVANT_GROUP", 3}};
    for (const char* name :
         {"REQUEST_METHOD", "HTTP_X_BREVANT_REQUEST", "SERVER_PROTOCOL", "ALL_HTTP"}) {
        expected[name] = 5120;
    }
    for (const char* name : {"REMOTE_ADDR", "REMOTE_HOST", "SERVER_NAME", "SERVER_PORT",
                             "SERVER_SOFTWARE", "SERVER_PORT_SECURE"}) {
        expected[name] = 255;
    }
    EXPECT_EQ(ecb.sizesPassed, expected);
}

TEST_F(Extension, FallsBackWhereIisCannotTell) {
    instance(answering("x"));
    FakeEcb& ecb = request();
    ecb.variables = {{"HTTP_X_BREVANT_GROUP", "0"},
                     {"REQUEST_METHOD", "HEAD"},
                     {"HTTP_X_BREVANT_REQUEST", "/x"},
                     {"REMOTE_HOST", "reported with size 0"}};
    ecb.zeroSize = {"REMOTE_HOST"};
    EXPECT_EQ(call(ecb), kSuccess);
    EXPECT_EQ(connection().received,
              "HEAD /x HTTP/1.0\r\n\r\n"
              "127.0.0.1\r\n127.0.0.1\r\n127.0.0.1\r\n80\r\nBrevantAS\r\nfalse\r\n\r\n");
    EXPECT_EQ(output_.text(),
              "BrevantISAPIAdapter::sendRequestHeader() failed to get SERVER_PROTOCOL.\n"
              "BrevantISAPIAdapter::sendRequestHeader() failed to get ALL_HTTP.\n"
              "BrevantISAPIAdapter::sendAddlInfo() failed to get REMOTE_ADDR.\n"
              "BrevantISAPIAdapter::sendAddlInfo() failed to get REMOTE_HOST.\n"
              "BrevantISAPIAdapter::sendAddlInfo() failed to get SERVER_NAME.\n"
              "BrevantISAPIAdapter::sendAddlInfo() failed to get SERVER_PORT.\n"
              "BrevantISAPIAdapter::sendAddlInfo() failed to get SERVER_SOFTWARE.\n"
              "BrevantISAPIAdapter::sendAddlInfo() failed to get SERVER_PORT_SECURE.\n");
}

TEST_F(Extension, OnlyOneMakesASecurePortAndAnEmptyVariableIsSentEmpty) {
    instance(answering("x"));
    size_t served = 0;
    for (auto [secure, line] : {std::pair{"1", "true"}, {"01", "false"}, {"yes", "false"}}) {
        EXPECT_EQ(call(request({{"SERVER_PORT_SECURE", secure}, {"REMOTE_HOST", ""}})), kSuccess);
        EXPECT_EQ(
            connection(++served).received,
            kHead + "10.1.2.3\r\n\r\nshop.example\r\n8080\r\nisapihost/1.0\r\n" + line + "\r\n\r\n")
            << secure;
    }
}

TEST_F(Extension, SendsALongHeadWholeAlsoWhenItsVariablesExceedTheFixedBuffer) {
    instance(answering("x"));
    std::string url = "/sales/" + std::string(4000, 'u') + "?q=" + std::string(500, 'q');
    std::string allHttp;
    std::string headerLines;
    for (int i = 0; i < 40; ++i) {
        std::string value(100, static_cast<char>('a' + i % 26));
        allHttp += "HTTP_X_LONG_HEADER_" + std::to_string(i) + ":" + value + "\n";
        headerLines += "X-LONG-HEADER-" + std::to_string(i) + ": " + value + "\r\n";
    }
    ASSERT_LT(allHttp.size(), 5120u);
    FakeEcb& longUrl = request({{"HTTP_X_BREVANT_REQUEST", url}, {"ALL_HTTP", allHttp}});
    EXPECT_EQ(call(longUrl), kSuccess);
    EXPECT_EQ(longUrl.written, "x");
    EXPECT_EQ(connection(1).received,
              "GET " + url + " HTTP/1.1\r\n" + headerLines + "\r\n" + kAddlInfo);
    // Over the 5120 bytes IIS is first asked for: read again at the size IIS names.
    EXPECT_EQ(call(request({{"ALL_HTTP", allHttp + allHttp}})), kSuccess);
    EXPECT_EQ(connection(2).received, "GET /sales/list?item=7 HTTP/1.1\r\n" + headerLines +
                                          headerLines + "\r\n" + kAddlInfo);
    EXPECT_EQ(output_.text(), "");
}

// ---- the request body ----------------------------------------------------------------------

TEST_F(Extension, SendsThePreloadedBodyAndReadsTheRestWhenTheInstanceAsks) {
    std::string preloaded(5000, 'p');
    std::string rest;
    for (int i = 0; i < 10000; ++i) {
        rest += static_cast<char>('0' + i % 43);
    }
    instance([&](Peer& peer) {
        readRequest(peer);
        std::string body = peer.readBytes(5000);  // at once, no count before it
        peer.send(readBody(10000));
        body += peer.readBytes(10000);
        peer.send(responseData(body == preloaded + rest ? "whole" : "broken"));
    });
    FakeEcb& ecb = request({{"REQUEST_METHOD", "POST"}});
    ecb.setBody(preloaded, rest);
    EXPECT_EQ(call(ecb), kSuccess);
    EXPECT_EQ(ecb.written, "whole");
    EXPECT_EQ(ecb.readSizes, (std::vector<DWORD>{4096, 4096, 1808})) << "pieces of 4096 at most";
}

TEST_F(Extension, ReadsTheClientUntilTheCountIsMet) {
    instance([](Peer& peer) {
        readRequest(peer);
        peer.send(readBody(3000));
        peer.send(responseData(peer.readBytes(3000) == std::string(3000, 'r') ? "ok" : "bad"));
    });
    FakeEcb& ecb = request();
    ecb.setBody("", std::string(5000, 'r'));
    ecb.readLimit = 700;
    EXPECT_EQ(call(ecb), kSuccess);
    EXPECT_EQ(ecb.written, "ok");
    EXPECT_EQ(ecb.readSizes, (std::vector<DWORD>{3000, 2300, 1600, 900, 200}));
}

TEST_F(Extension, ABodyThatEndsShortOfTheInstancesRequestEndsTheExchange) {
    for (FakeEcb::ClientEnd end : {FakeEcb::ClientEnd::EndOfBody, FakeEcb::ClientEnd::Fails}) {
        std::string relayed;
        instance(
            [&](Peer& peer) {
                readRequest(peer);
                peer.send(readBody(10));
                relayed = peer.readBytes(10);
                peer.waitForClose();  // gives up after the time-out if the adapter waits on
                closed_ = peer.closedByAdapter();
            },
            3s);
        FakeEcb& ecb = request();
        ecb.setBody("", "abcdef");
        ecb.clientEnd = end;
        EXPECT_EQ(call(ecb), kSuccess);
        connection();
        EXPECT_EQ(relayed, "abcdef") << "what the client sent, and no more";
        EXPECT_TRUE(closed_) << "the instance is not left waiting for the missing bytes";
        EXPECT_EQ(ecb.written, "");
    }
}

// ---- the client certificate ------------------------------------------------------------------

// Asks for the certificate twice, reading `expected` bytes each time, then answers.
fakeinstance::Script askingTwiceForTheCertificate(size_t expected) {
    return [expected](Peer& peer) {
        readRequest(peer);
        for (int i = 0; i < 2; ++i) {
            peer.send(clientCertificate());
            peer.readBytes(expected);
        }
        peer.send(responseData("after"));
    };
}

TEST_F(Extension, SendsTheCertificateDescriptorOnDemandAndGoesOn) {
    std::string descriptor =
        "&DN#CN=client one C=US, CN=server&IN#CN=Test Root&SN#100f0e0d0c0b0a090807060504030201"
        "&END&";
    instance(askingTwiceForTheCertificate(descriptor.size()));
    FakeEcb& ecb =
        request({{"CERT_FLAGS", "1"},
                 {"CERT_SUBJECT", "CN=client one"},
                 {"CERT_SERVER_SUBJECT", "C=US, CN=server"},
                 {"CERT_ISSUER", "CN=Test Root"},
                 {"CERT_SERIALNUMBER", "01-02-03-04-05-06-07-08-09-0a-0b-0c-0d-0e-0f-10"}});
    EXPECT_EQ(call(ecb), kSuccess);
    EXPECT_EQ(ecb.written, "after");
    EXPECT_EQ(connection().received, kHead + kAddlInfo + descriptor + descriptor);
    EXPECT_EQ(ecb.sizesPassed["CERT_SUBJECT"], 1023u);
    EXPECT_EQ(output_.text(), "CERT_FLAGS=1CERT_FLAGS=1");
}

TEST_F(Extension, SendsAnEmptyDescriptorWithoutACertificate) {
    instance(askingTwiceForTheCertificate(5));
    EXPECT_EQ(call(request({{"CERT_FLAGS", ""}})), kSuccess);
    EXPECT_EQ(connection().received, kHead + kAddlInfo + "&END&&END&");
    EXPECT_EQ(output_.text(), "") << "an empty CERT_FLAGS is not reported";
}

// ---- the response --------------------------------------------------------------------------

TEST_F(Extension, RelaysResponsePiecesAsOneStreamAndTakesTheStatusFromTheFirstOnly) {
    std::string big;
    for (int i = 0; i < 10000; ++i) {
        big += static_cast<char>(i * 31);
    }
    instance([&](Peer& peer) {
        readRequest(peer);
        std::string command = responseData("HTTP/1.0 404 Not Found\r\n\r\n" + big);
        peer.sendInPieces(
            {command.substr(0, 3000), command.substr(3000, 5000), command.substr(8000)});
        peer.send(responseData(""));  // relays nothing
        peer.send(responseData("HTTP/1.0 500 Not the first\r\n"));
    });
    FakeEcb& ecb = request();
    ecb.writeLimit = 777;  // IIS may take a piece in several writes
    EXPECT_EQ(call(ecb), kSuccess);
    EXPECT_EQ(ecb.written,
              "HTTP/1.0 404 Not Found\r\n\r\n" + big + "HTTP/1.0 500 Not the first\r\n");
    EXPECT_EQ(ecb.get()->dwHttpStatusCode, 404u);
}

TEST_F(Extension, TakesTheStatusFromWhatTheFirstReceiveBrings) {
    instance([](Peer& peer) {
        readRequest(peer);
        std::string command = responseData("HTTP/1.0 404 Not Found\r\n\r\n");
        peer.sendInPieces({command.substr(0, 13), command.substr(13)}, 200ms);  // "HTTP/1.0"
    });
    FakeEcb& ecb = request();
    EXPECT_EQ(call(ecb), kSuccess);
    EXPECT_EQ(ecb.written, "HTTP/1.0 404 Not Found\r\n\r\n");
    EXPECT_EQ(ecb.get()->dwHttpStatusCode, 200u);
}

struct StatusCase {
    std::string piece;
    DWORD status;
    friend std::ostream& operator<<(std::ostream& out, const StatusCase& c) {
        return out << '"' << c.piece << '"';
    }
};

class RecordStatusCode : public testing::TestWithParam<StatusCase> {};

TEST_P(RecordStatusCode, TakesTheLeadingNumberOfTheThreeCharactersAfterTheFirstSpace) {
    FakeEcb ecb;
    ecb.get()->dwHttpStatusCode = 123;
    // Exactly the piece's bytes, so that a read past them is caught by the sanitizer.
    const std::string& text = GetParam().piece;
    std::unique_ptr<char[]> piece(new char[text.size() + 1]);
    std::memcpy(piece.get(), text.data(), text.size());
    brevant::adapter::recordStatusCode(ecb.get(), piece.get(), text.size());
    EXPECT_EQ(ecb.get()->dwHttpStatusCode, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, RecordStatusCode,
    testing::Values(StatusCase{"HTTP/1.0 404 Not Found\r\n", 404}, StatusCase{"HTTP/1.1 302", 302},
                    StatusCase{"HTTP/1.0 40x", 40}, StatusCase{"X 2001", 200},
                    StatusCase{"HTTP/1.0", 123}, StatusCase{"HTTP/1.0 40", 123},
                    StatusCase{"HTTP/1.0 abc", 123}, StatusCase{"HTTP/1.0 000", 123},
                    StatusCase{"HTTP/1.0  404", 123}, StatusCase{"", 123}));

TEST_F(Extension, ReadsLengthAndCountFieldsWholeWhenTheyArriveInPieces) {
    instance([](Peer& peer) {
        readRequest(peer);
        peer.sendInPieces({std::string("\0\0\0", 3), std::string("\0\5hello", 7)});
        std::string count = readBody(3);
        peer.sendInPieces({count.substr(0, 2), count.substr(2)});
        std::string body = peer.readBytes(3);
        peer.sendInPieces(
            {std::string("\0", 1), std::string("\0\0\0", 3), std::string("\3", 1) + body});
    });
    FakeEcb& ecb = request();
    ecb.setBody("", "xyz");
    EXPECT_EQ(call(ecb), kSuccess);
    EXPECT_EQ(ecb.written, "helloxyz");
}

// ---- how an exchange ends --------------------------------------------------------------------

TEST_F(Extension, AnInstanceClosingWithoutAByteGivesTheClientNothing) {
    instance([](Peer&) {});
    FakeEcb& ecb = request();
    EXPECT_EQ(call(ecb), kSuccess);
    EXPECT_EQ(ecb.written, "");
    EXPECT_TRUE(ecb.responseHeaders.empty());
    EXPECT_EQ(connection().received, kHead + kAddlInfo);
}

TEST_F(Extension, AnUnknownCommandEndsTheExchangeAfterWhatCameBefore) {
    instance(thenWaits(responseData("partial") + "\7" + responseData("never")), 3s);
    FakeEcb& ecb = request();
    EXPECT_EQ(call(ecb), kSuccess);
    EXPECT_EQ(ecb.written, "partial");
    connection();
    EXPECT_TRUE(closed_);
    EXPECT_EQ(output_.text(), "Received unknown command from Brevant.\n");
}

TEST_F(Extension, AnInstanceDyingMidResponseLeavesTheClientTheBytesSoFar) {
    instance([](Peer& peer) {
        readRequest(peer);
        peer.send(responseData("HTTP/1.0 200 OK\r\n\r\n" + std::string(1000, 'd'))
                      .substr(0, 5 + 19 + 100));
        Peer::pause(100ms);
        peer.abort();
    });
    FakeEcb& ecb = request();
    EXPECT_EQ(call(ecb), kSuccess);
    EXPECT_EQ(ecb.written, "HTTP/1.0 200 OK\r\n\r\n" + std::string(100, 'd'));
}

TEST_F(Extension, AClientThatCannotBeWrittenToFreesTheInstance) {
    instance(thenWaits(responseData("first") + responseData("second")), 3s);
    FakeEcb& ecb = request();
    ecb.writeFailsAfter = 1;
    EXPECT_EQ(call(ecb), kSuccess);
    EXPECT_EQ(ecb.written, "first");
    connection();
    EXPECT_TRUE(closed_);
}

// ---- requests that are not handed on -------------------------------------------------------

TEST_F(Extension, RefusesARequestWithoutAUsableGroupWithoutAnswering) {
    instance(answering("served"));
    setGroup(49, "last", instance_->port());
    std::string expected;
    for (const char* group : {"-", "-1", "50", "100", "", "abc", "1x", " 1", "+1"}) {
        FakeEcb& ecb = request({{"HTTP_X_BREVANT_GROUP", group}});
        EXPECT_EQ(call(ecb), kError) << group;
        EXPECT_EQ(ecb.written, "") << group;
        EXPECT_TRUE(ecb.responseHeaders.empty()) << group;
        expected += "Failed to retrieve Brevant Group for request.";
    }
    EXPECT_EQ(output_.text(), expected);
    for (const char* group : {"49", "00"}) {
        FakeEcb& ecb = request({{"HTTP_X_BREVANT_GROUP", group}});
        EXPECT_EQ(call(ecb), kSuccess) << group;
        EXPECT_EQ(ecb.written, "served") << group;
    }
    EXPECT_EQ(connection(2).received.substr(0, 4), "GET ") << "no refused request came";
}

// The failure page for an instance that cannot be reached: `name` at `address`, with the
// error number `error`.
std::string connectFailurePage(const std::string& name, const std::string& address,
                               const std::string& error) {
    return kPageStart + "Failed to connect to Brevant instance " + name + " at " + address +
           "</font></h2><p>The error number is " + error + kPageEnd;
}

TEST_F(Extension, AnswersWithTheFailurePageWhenTheInstanceCannotBeReached) {
    int port = fakeinstance::closedPort();
    setGroup(0, "sales", port);
    FakeEcb& ecb = request();
    EXPECT_EQ(call(ecb), kError);
    ASSERT_EQ(ecb.responseHeaders.size(), 1u);
    EXPECT_EQ(ecb.responseHeaders[0].request, static_cast<DWORD>(HSE_REQ_SEND_RESPONSE_HEADER));
    EXPECT_EQ(ecb.responseHeaders[0].status, "500 Internal Server Error");
    EXPECT_EQ(ecb.responseHeaders[0].headers, "Content-Type: text/html\r\n\r\n");
    EXPECT_EQ(ecb.responseHeaders[0].size, 27u);
    EXPECT_EQ(ecb.written,
              connectFailurePage("sales", "127.0.0.1:" + std::to_string(port), "10061"));
    EXPECT_EQ(ecb.writeFlags, std::vector<DWORD>{HSE_IO_SYNC});
    EXPECT_EQ(ecb.get()->dwHttpStatusCode, 500u) << "so that the log shows the status sent";
    EXPECT_EQ(output_.text(), "Failed to connect to Brevant.\n");
}

TEST_F(Extension, TheFailurePageNamesTheLongestGroupWhole) {
    int port = fakeinstance::closedPort();
    std::string longName(127, 'n');
    setGroup(1, longName.c_str(), port);
    FakeEcb& ecb = request({{"HTTP_X_BREVANT_GROUP", "1"}});
    EXPECT_EQ(call(ecb), kError);
    EXPECT_EQ(ecb.written,
              connectFailurePage(longName, "127.0.0.1:" + std::to_string(port), "10061"));
}

TEST_F(Extension, AGroupNumberNoGroupUsesNamesAnEmptyRecord) {
    FakeEcb& ecb = request({{"HTTP_X_BREVANT_GROUP", "7"}});
    EXPECT_EQ(call(ecb), kError);
    std::string page = connectFailurePage("", "0.0.0.0:0", "");
    std::string start = page.substr(0, page.size() - kPageEnd.size());
    EXPECT_EQ(ecb.written.substr(0, start.size()), start);
    EXPECT_TRUE(ecb.written.ends_with(kPageEnd));
}

class UndescribedRequest : public Extension, public testing::WithParamInterface<const char*> {};

TEST_P(UndescribedRequest, AnswersWithTheFailurePageAndSendsNothing) {
    instance([](Peer&) {});
    FakeEcb& ecb = request({{GetParam(), "-"}});
    EXPECT_EQ(call(ecb), kError);
    ASSERT_EQ(ecb.responseHeaders.size(), 1u);
    EXPECT_EQ(ecb.responseHeaders[0].status, "500 Internal Server Error");
    EXPECT_EQ(ecb.written, kPageStart +
                               "Failed to send request headers to Brevant</font></h2>"
                               "<p>The error number is 1413" +
                               kPageEnd)
        << "the error of the failed read: ERROR_INVALID_INDEX";
    EXPECT_EQ(output_.text(),
              std::string("BrevantISAPIAdapter::sendRequestHeader() failed to get ") + GetParam() +
                  ".\nFailed to send request headers to Brevant.\n");
    EXPECT_EQ(connection().received, "");
    EXPECT_TRUE(connection().closedByAdapter);
}

INSTANTIATE_TEST_SUITE_P(Missing, UndescribedRequest,
                         testing::Values("REQUEST_METHOD", "HTTP_X_BREVANT_REQUEST"));

TEST_F(Extension, CatchesAStandardExceptionAndClosesTheConnection) {
    instance([](Peer&) {});
    FakeEcb& ecb = request();
    ecb.throwOn = "REQUEST_METHOD";  // after the connection is made
    ecb.throwKind = FakeEcb::Throw::Standard;
    EXPECT_EQ(call(ecb), kError);
    EXPECT_EQ(output_.text(),
              "BrevantISAPIAdapter::HttpExtensionProc() caught an exception!!!\n"
              "variable store exploded");
    EXPECT_TRUE(connection().closedByAdapter);
}

TEST_F(Extension, CatchesAnUnknownException) {
    FakeEcb& ecb = request();
    ecb.throwOn = "HTTP_X_BREVANT_GROUP";
    ecb.throwKind = FakeEcb::Throw::Unknown;
    EXPECT_EQ(call(ecb), kError);
    EXPECT_EQ(output_.text(),
              "BrevantISAPIAdapter::HttpExtensionProc() caught an unknown exception!!!\n");
    EXPECT_EQ(ecb.written, "");
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
