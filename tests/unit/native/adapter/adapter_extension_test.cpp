// The extension against a fake control block and a fake instance: the bytes the adapter
// sends, the commands it serves, where each exchange ends, and what the client sees when a
// request cannot be handed on.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <httpext.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "debug_output_capture.h"
#include "fake_ecb.h"
#include "fake_instance.h"
#include "native/adapter/adapter_extension_internal.h"
#include "native/adapter/connection_pool.h"
#include "native/adapter/request_relay_internal.h"

namespace brevant::adapter {
namespace {

using fakeinstance::FakeInstance;
using fakeinstance::readBody;
using fakeinstance::responseData;
using testsupport::FakeEcb;
using Variables = std::map<std::string, std::string>;  // a value "-" removes the variable
using namespace std::chrono_literals;

const DWORD kError = HSE_STATUS_ERROR;

const std::string kAllHttp =
    "HTTP_HOST:shop.example\nHTTP_ACCEPT_LANGUAGE:de\nHTTP_X_BREVANT_REQUEST:/s?i=7\n"
    "HTTP_X_BREVANT_GROUP:0\nHTTP_X_BREVANT_ANY:x\nHTTP_COOKIE:a=1; b=2\nHTTP_REFERER:http://x/\n";
const std::string kHead =
    "GET /s?i=7 HTTP/1.1\r\nHOST: shop.example\r\nACCEPT-LANGUAGE: de\r\nCOOKIE: a=1; b=2\r\n"
    "REFERER: http://x/\r\n\r\n";
const std::string kPageStart =
    "<html><head><title>Brevant Failure</title></head><body bgcolor=#ffffff>"
    "<center><h2><font color=#FF0000>";
const std::string kPageEnd = "</center></body></html>";

std::string addlInfo(const std::string& remoteHost = "client",
                     const std::string& secure = "false") {
    return "10.1.2.3\r\n" + remoteHost + "\r\nshop.example\r\n8080\r\nisapihost/1.0\r\n" + secure +
           "\r\n\r\n";
}

// The failure page for group `name`, whose instance at `where` cannot be reached.
std::string connectFailurePage(const std::string& name, const std::string& where,
                               int error = WSAECONNREFUSED) {
    return kPageStart + "Failed to connect to Brevant instance " + name + " at " + where +
           "</font></h2><p>The error number is " + std::to_string(error) + kPageEnd;
}
std::string connectFailurePage(const std::string& name, int port, int error = WSAECONNREFUSED) {
    return connectFailurePage(name, "127.0.0.1:" + std::to_string(port), error);
}

// A loopback port whose listener's queue is full: handshakes are neither accepted nor refused.
struct UnansweredPort {
    UnansweredPort() {
        socklen_t length = sizeof address;
        bind(listener, reinterpret_cast<sockaddr*>(&address), length);
        listen(listener, 0);
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        for (int filler : fillers) {
            connect(filler, reinterpret_cast<sockaddr*>(&address), length);
        }
    }
    ~UnansweredPort() {
        for (int fd : {listener, fillers[0], fillers[1]}) {
            close(fd);
        }
    }
    int port() const { return ntohs(address.sin_port); }

    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int fillers[2] = {socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0),
                      socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0)};
    sockaddr_in address = {AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
};

// A port where an instance listened and no longer does: connecting there is refused.
int deadPort() {
    return FakeInstance(nullptr).port();
}

class ExtensionTest : public testing::Test {
  protected:
    ExtensionTest() { SetGroup(0, "sales", instance_.port()); }

    // A GET of "/s?i=7" routed to group 0, with everything IIS tells, then `changes`.
    static std::unique_ptr<FakeEcb> Request(const Variables& changes = {}) {
        auto ecb = std::make_unique<FakeEcb>();
        ecb->variables = {{"HTTP_X_BREVANT_GROUP", "0"},
                          {"REQUEST_METHOD", "GET"},
                          {"HTTP_X_BREVANT_REQUEST", "/s?i=7"},
                          {"SERVER_PROTOCOL", "HTTP/1.1"},
                          {"ALL_HTTP", kAllHttp},
                          {"REMOTE_ADDR", "10.1.2.3"},
                          {"REMOTE_HOST", "client"},
                          {"SERVER_NAME", "shop.example"},
                          {"SERVER_PORT", "8080"},
                          {"SERVER_SOFTWARE", "isapihost/1.0"},
                          {"SERVER_PORT_SECURE", "0"}};
        for (const auto& [name, value] : changes) {
            if (value == "-") {
                ecb->variables.erase(name);
            } else {
                ecb->variables[name] = value;
            }
        }
        return ecb;
    }

    // Group `index` named `name` at 127.0.0.1:`port`, in the table the extension reads.
    void SetGroup(int index, const std::string& name, int port) {
        AdapterGroup& group = table_.groups[index];
        std::snprintf(group.name, sizeof group.name, "%s", name.c_str());
        group.instance.address = inet_addr("127.0.0.1");
        group.instance.port = htons(static_cast<uint16_t>(port));
        table_.groupCount = std::max(table_.groupCount, index + 1);
    }

    DWORD Call(FakeEcb& ecb) { return handleExtensionRequest(table_, ecb.get()); }

    // Call, and how long it took.
    std::chrono::milliseconds TimedCall(FakeEcb& ecb, DWORD expected) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Call(ecb), expected);
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    }

    // A call served to its end by group 0's instance, which plays `pieces`; answers what the
    // instance received.
    std::string Exchange(FakeEcb& ecb, const std::vector<std::string>& pieces = {}) {
        pieces_ = pieces;
        EXPECT_EQ(Call(ecb), static_cast<DWORD>(HSE_STATUS_SUCCESS));
        return Received();
    }

    // What the instance received on the connection of the last call, which the adapter closed.
    std::string Received() {
        fakeinstance::Connection connection = instance_.takeConnection();
        EXPECT_TRUE(connection.closedByAdapter);
        return connection.received;
    }

    testsupport::DebugOutputCapture output_;
    GroupTable table_;
    std::vector<std::string> pieces_;  // 100 ms apart, so that the adapter receives them apart
    FakeInstance instance_{[this](fakeinstance::Peer& peer) { peer.sendInPieces(pieces_, 100ms); },
                           2s};
};

// ---- the whole path: group, connection, failure pages ------------------------------------

TEST_F(ExtensionTest, TheGroupIsANumberOfOneOrTwoDigitsInsideTheTable) {
    int port = deadPort();
    SetGroup(0, "first", port);
    SetGroup(49, "last", port);
    const struct {
        const char* number;  // "-": no header
        const char* group;   // nullptr: refused without an answer
    } kCases[] = {{"49", "last"},  {"00", "first"},  {"-", nullptr}, {"-1", nullptr},
                  {"50", nullptr}, {"100", nullptr}, {"", nullptr},  {"abc", nullptr},
                  {"1x", nullptr}, {" 1", nullptr},  {"+1", nullptr}};
    std::string expected;
    for (const auto& c : kCases) {
        auto ecb = Request({{"HTTP_X_BREVANT_GROUP", c.number}});
        EXPECT_EQ(Call(*ecb), kError) << c.number;
        EXPECT_EQ(ecb->written, c.group ? connectFailurePage(c.group, port) : "") << c.number;
        EXPECT_EQ(ecb->responseHeaders.size(), c.group ? 1u : 0u) << c.number;
        expected += c.group ? "Failed to connect to Brevant.\n"
                            : "Failed to retrieve Brevant Group for request.";
    }
    EXPECT_EQ(output_.text(), expected);
}

TEST_F(ExtensionTest, AnswersWithTheFailurePageWhenTheInstanceCannotBeReached) {
    int port = deadPort();
    SetGroup(0, std::string(127, 'n'), port);  // the longest name, named whole
    auto ecb = Request();
    EXPECT_EQ(Call(*ecb), kError);
    ASSERT_EQ(ecb->responseHeaders.size(), 1u);
    EXPECT_EQ(ecb->responseHeaders[0].request, static_cast<DWORD>(HSE_REQ_SEND_RESPONSE_HEADER));
    EXPECT_EQ(ecb->responseHeaders[0].status, "500 Internal Server Error");
    EXPECT_EQ(ecb->responseHeaders[0].headers, "Content-Type: text/html\r\n\r\n");
    EXPECT_EQ(ecb->responseHeaders[0].size, 27u);
    EXPECT_EQ(ecb->written, connectFailurePage(std::string(127, 'n'), port));
    EXPECT_EQ(ecb->writeFlags, std::vector<DWORD>{HSE_IO_SYNC});
    EXPECT_EQ(ecb->get()->dwHttpStatusCode, 500u) << "so that the log shows the status sent";
    EXPECT_EQ(output_.text(), "Failed to connect to Brevant.\n");
}

class UndescribedRequestTest : public ExtensionTest,
                               public testing::WithParamInterface<const char*> {};

TEST_P(UndescribedRequestTest, AnswersWithTheFailurePageAndSendsNothing) {
    auto ecb = Request({{GetParam(), "-"}});
    EXPECT_EQ(Call(*ecb), kError);
    EXPECT_EQ(ecb->written, kPageStart +
                                "Failed to send request headers to Brevant</font></h2>"
                                "<p>The error number is 1413" +
                                kPageEnd)
        << "the error of the failed read: ERROR_INVALID_INDEX";
    EXPECT_EQ(output_.text(),
              std::string("BrevantISAPIAdapter::sendRequestHeader() failed to get ") + GetParam() +
                  ".\nFailed to send request headers to Brevant.\n");
    EXPECT_EQ(Received(), "");
}

INSTANTIATE_TEST_SUITE_P(Missing, UndescribedRequestTest,
                         testing::Values("REQUEST_METHOD", "HTTP_X_BREVANT_REQUEST"));

TEST_F(ExtensionTest, CatchesAnExceptionAndClosesTheConnection) {
    auto ecb = Request();
    ecb->throwOn = "REQUEST_METHOD";  // after the connection is made
    ecb->throwKind = FakeEcb::Throw::Standard;
    EXPECT_EQ(Call(*ecb), kError);
    EXPECT_EQ(output_.text(),
              "BrevantISAPIAdapter::HttpExtensionProc() caught an exception!!!\n"
              "variable store exploded");
    EXPECT_EQ(Received(), "");
}

// ---- what the adapter sends ----------------------------------------------------------------

TEST_F(ExtensionTest, AsksIisWithTheBufferSizeOfEachVariable) {
    auto ecb = Request();
    Exchange(*ecb);
    EXPECT_EQ(ecb->sizesPassed, (std::map<std::string, DWORD>{{"HTTP_X_BREVANT_GROUP", 3},
                                                              {"REQUEST_METHOD", 5120},
                                                              {"HTTP_X_BREVANT_REQUEST", 5120},
                                                              {"SERVER_PROTOCOL", 5120},
                                                              {"ALL_HTTP", 5120},
                                                              {"REMOTE_ADDR", 255},
                                                              {"REMOTE_HOST", 255},
                                                              {"SERVER_NAME", 255},
                                                              {"SERVER_PORT", 255},
                                                              {"SERVER_SOFTWARE", 255},
                                                              {"SERVER_PORT_SECURE", 255}}));
}

TEST_F(ExtensionTest, FallsBackWhereIisCannotTell) {
    FakeEcb ecb;
    ecb.variables = {{"HTTP_X_BREVANT_GROUP", "0"},
                     {"REQUEST_METHOD", "HEAD"},
                     {"HTTP_X_BREVANT_REQUEST", "/x"},
                     {"REMOTE_HOST", "reported with size 0"}};
    ecb.zeroSize = {"REMOTE_HOST"};
    EXPECT_EQ(Exchange(ecb),
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

TEST_F(ExtensionTest, OnlyOneMakesASecurePortAndAnEmptyVariableIsSentEmpty) {
    const struct {
        Variables changes;
        std::string addlInfo;
    } kCases[] = {
        {{{"SERVER_PORT_SECURE", "1"}}, addlInfo("client", "true")},
        {{{"SERVER_PORT_SECURE", "01"}}, addlInfo("client", "false")},
        {{{"SERVER_PORT_SECURE", "yes"}}, addlInfo("client", "false")},
        {{{"REMOTE_HOST", ""}}, addlInfo("", "false")},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(Exchange(*Request(c.changes)), kHead + c.addlInfo) << c.changes.begin()->second;
    }
}

TEST_F(ExtensionTest, SendsAHeadWholeWhenItsVariablesExceedTheFixedBuffer) {
    std::string allHttp;
    std::string lines;
    for (int i = 0; i < 40; ++i) {
        std::string value(100, static_cast<char>('a' + i % 26));
        allHttp += "HTTP_X_LONG_" + std::to_string(i) + ":" + value + "\n";
        lines += "X-LONG-" + std::to_string(i) + ": " + value + "\r\n";
    }
    std::string url = "/s/" + std::string(4000, 'u') + "?q=" + std::string(500, 'q');
    EXPECT_EQ(Exchange(*Request({{"HTTP_X_BREVANT_REQUEST", url}, {"ALL_HTTP", allHttp}})),
              "GET " + url + " HTTP/1.1\r\n" + lines + "\r\n" + addlInfo());
    EXPECT_EQ(Exchange(*Request({{"ALL_HTTP", allHttp + allHttp}})),  // over 5120 bytes
              "GET /s?i=7 HTTP/1.1\r\n" + lines + lines + "\r\n" + addlInfo());
}

// ---- the request body ------------------------------------------------------------------------

TEST_F(ExtensionTest, SendsThePreloadedBodyAndReadsTheRestWhenTheInstanceAsks) {
    auto ecb = Request();
    ecb->setBody(std::string(5000, 'p'), std::string(10000, 'r'));
    EXPECT_EQ(Exchange(*ecb, {readBody(10000)}),
              kHead + addlInfo() + std::string(5000, 'p') + std::string(10000, 'r'));
    EXPECT_EQ(ecb->readSizes, (std::vector<DWORD>{4096, 4096, 1808})) << "pieces of 4096 at most";
}

TEST_F(ExtensionTest, ReadsTheClientUntilTheCountIsMet) {
    auto ecb = Request();
    ecb->setBody("", std::string(5000, 'r'));
    ecb->readLimit = 700;
    EXPECT_EQ(Exchange(*ecb, {readBody(3000)}), kHead + addlInfo() + std::string(3000, 'r'));
    EXPECT_EQ(ecb->readSizes, (std::vector<DWORD>{3000, 2300, 1600, 900, 200}));
}

TEST_F(ExtensionTest, ABodyEndingShortOfTheInstancesRequestEndsTheExchange) {
    for (FakeEcb::ClientEnd end : {FakeEcb::ClientEnd::EndOfBody, FakeEcb::ClientEnd::Fails}) {
        auto ecb = Request();
        ecb->setBody("", "abcdef");
        ecb->clientEnd = end;
        EXPECT_EQ(Exchange(*ecb, {readBody(10) + responseData("after")}),
                  kHead + addlInfo() + "abcdef");
        EXPECT_EQ(ecb->written, "") << "no command is served after it";
    }
}

TEST_F(ExtensionTest, SendsTheCertificateDescriptorEachTimeItIsAsked) {
    auto ecb = Request({{"CERT_FLAGS", "1"}, {"CERT_SUBJECT", "CN=a"}, {"CERT_ISSUER", "CN=b"}});
    EXPECT_EQ(Exchange(*ecb, {fakeinstance::clientCertificate() +
                              fakeinstance::clientCertificate() + responseData("after")}),
              kHead + addlInfo() + "&DN#CN=a&IN#CN=b&END&&DN#CN=a&IN#CN=b&END&");
    EXPECT_EQ(ecb->written, "after");
    EXPECT_EQ(output_.text(), "CERT_FLAGS=1CERT_FLAGS=1");
}

// ---- the response ----------------------------------------------------------------------------

TEST_F(ExtensionTest, RelaysPiecesAsOneStreamAndTakesTheStatusFromTheFirstOnly) {
    std::string big;
    for (int i = 0; i < 10000; ++i) {
        big += static_cast<char>(i * 31);
    }
    std::string first = responseData("HTTP/1.0 404 Not Found\r\n\r\n" + big);
    auto ecb = Request();
    ecb->writeLimit = 777;  // IIS may take a piece in several writes
    Exchange(*ecb, {first.substr(0, 3000), first.substr(3000, 5000),
                    first.substr(8000) + responseData("") + responseData("HTTP/1.0 500 No\r\n")});
    EXPECT_EQ(ecb->written, "HTTP/1.0 404 Not Found\r\n\r\n" + big + "HTTP/1.0 500 No\r\n");
    EXPECT_EQ(ecb->get()->dwHttpStatusCode, 404u);
}

TEST_F(ExtensionTest, TakesTheStatusFromWhatTheFirstReceiveBringsOnly) {
    std::string command = responseData("HTTP/1.0 404 Not Found\r\n\r\n");
    auto ecb = Request();
    Exchange(*ecb, {command.substr(0, 13), command.substr(13)});  // "HTTP/1.0" first
    EXPECT_EQ(ecb->written, "HTTP/1.0 404 Not Found\r\n\r\n");
    EXPECT_EQ(ecb->get()->dwHttpStatusCode, 200u);
}

TEST_F(ExtensionTest, ReadsLengthAndCountFieldsWholeWhenTheyArriveInPieces) {
    auto ecb = Request();
    ecb->setBody("", "xyz");
    EXPECT_EQ(Exchange(*ecb, {std::string("\0\0\0", 3), std::string("\0\5hello\1\0\0", 10),
                              std::string("\0\3", 2)}),
              kHead + addlInfo() + "xyz");
    EXPECT_EQ(ecb->written, "hello");
}

TEST_F(ExtensionTest, AnUnknownCommandEndsTheExchangeAfterWhatCameBefore) {
    auto ecb = Request();
    Exchange(*ecb, {responseData("partial") + "\7" + responseData("never")});
    EXPECT_EQ(ecb->written, "partial");
    EXPECT_EQ(output_.text(), "Received unknown command from Brevant.\n");
}

TEST_F(ExtensionTest, AClientThatCannotBeWrittenToEndsTheExchange) {
    auto ecb = Request();
    ecb->writeFailsAfter = 1;
    Exchange(*ecb, {responseData("first") + responseData("second") + responseData("third")});
    EXPECT_EQ(ecb->written, "first");
    EXPECT_EQ(ecb->writeFlags.size(), 2u) << "no write after the one that failed";
}

// ---- fail-over and time-outs -------------------------------------------------------------------

TEST_F(ExtensionTest, WithAConnectTimeOutATimeOutOrARefusalIsAFailedConnection) {
    UnansweredPort unanswered;
    int dead = deadPort();
    for (auto [port, error] :
         {std::pair{unanswered.port(), WSAETIMEDOUT}, {dead, WSAECONNREFUSED}}) {
        SetGroup(0, "slow", port);
        table_.groups[0].connectTimeout = 200;
        auto ecb = Request();
        EXPECT_LT(TimedCall(*ecb, kError), 1000ms);
        EXPECT_EQ(ecb->written, connectFailurePage("slow", port, static_cast<int>(error)));
    }
}

TEST_F(ExtensionTest, ANameThatCouldNotBeResolvedIsShownAsWritten) {
    SetGroup(0, "named", 1);
    table_.groups[0].instance.entry = "app.example:9000";
    table_.groups[0].instance.resolveFailed = true;
    auto ecb = Request();
    EXPECT_EQ(Call(*ecb), kError);
    EXPECT_EQ(ecb->written, connectFailurePage("named", "app.example:9000", WSAHOST_NOT_FOUND));
}

class ReplyTimeOutTest : public ExtensionTest {
  protected:
    // An instance that reads the head, sends `first_` and then says nothing.
    FakeInstance silent_{[this](fakeinstance::Peer& peer) {
                             peer.readUntil("\r\n\r\n");
                             peer.send(first_);
                             peer.readUntil("until the adapter closes");
                         },
                         3s};
    std::string first_;

    void SetUp() override {
        SetGroup(0, "hung", silent_.port());
        table_.groups[0].instance.entry = "hung-host:" + std::to_string(silent_.port());
        table_.groups[0].replyTimeout = 300;
    }
};

TEST_F(ReplyTimeOutTest, BeforeTheResponseTheClientGetsA504) {
    auto ecb = Request();
    auto took = TimedCall(*ecb, kError);
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 1000ms);
    EXPECT_EQ(ecb->responseHeaders.at(0).status, "504 Gateway Timeout");
    EXPECT_EQ(ecb->get()->dwHttpStatusCode, 504u);
    EXPECT_EQ(ecb->written,
              kPageStart + "Brevant instance hung at hung-host:" + std::to_string(silent_.port()) +
                  " did not answer within 300 ms</font></h2>" + kPageEnd);
    EXPECT_EQ(output_.text(), "Brevant instance did not answer in time.\n");
    EXPECT_EQ(table_.groups[0].instance.timeouts.load(), 1u);
    EXPECT_TRUE(silent_.takeConnection().closedByAdapter);
}

TEST_F(ReplyTimeOutTest, AfterResponseBytesBothConnectionsAreClosed) {
    first_ = responseData("HTTP/1.0 200 OK\r\n\r\npart") + std::string("\0\0", 2);
    auto ecb = Request();
    EXPECT_LT(TimedCall(*ecb, kError), 1000ms);
    EXPECT_EQ(ecb->written, "HTTP/1.0 200 OK\r\n\r\npart");
    EXPECT_EQ(ecb->responseHeaders.at(0).request, static_cast<DWORD>(HSE_REQ_CLOSE_CONNECTION));
    EXPECT_TRUE(silent_.takeConnection().closedByAdapter);
}

// ---- kept connections ----------------------------------------------------------------------

// A group with `keepalive` in front of an instance that serves requests on one connection
// for as long as `ends_` says: each request gets "ok" and command 3 with the next flag;
// "close" after reading a head closes instead of answering.
class KeepAliveTest : public ExtensionTest {
  protected:
    void SetUp() override {
        SetGroup(0, "kept", kept_.port());
        table_.groups[0].keepAlive = 2;
        table_.groups[0].lastInstance = 0;
        createConnectionPools(table_);
    }
    void TearDown() override { closeConnectionPools(table_); }  // the instance sees them end

    DWORD Call(FakeEcb& ecb) {
        DWORD result = ExtensionTest::Call(ecb);
        EXPECT_EQ(ecb.written, result == kError ? "" : "ok") << "answered " << answered_.load();
        return result;
    }

    // Set before the first request: the instance's thread reads it as it serves.
    std::vector<std::string> ends_;  // per request: "\1", "\0" or "close"
    std::atomic<int> answered_{0};
    FakeInstance kept_{[this](fakeinstance::Peer& peer) {
        while (answered_ < static_cast<int>(ends_.size())) {
            std::string head = peer.readUntil("\r\n\r\n") + peer.readUntil("\r\n\r\n");
            const std::string end = ends_[answered_++];
            if (head.empty() || end == "close") {
                return;
            }
            peer.readBytes(head.find("preloaded=3") == std::string::npos ? 0 : 3);
            peer.send(responseData("ok") + "\3" + end);
        }
    }};
};

TEST_F(KeepAliveTest, TheHeadAnnouncesTheExchangeAndCountsThePreloadedBytes) {
    auto ecb = Request();
    ecb->setBody("abc", "");
    ends_ = {std::string(1, '\1')};
    EXPECT_EQ(Call(*ecb), static_cast<DWORD>(HSE_STATUS_SUCCESS_AND_KEEP_CONN));
    TearDown();
    const std::string head = kHead.substr(0, kHead.size() - 2);
    EXPECT_EQ(kept_.takeConnection().received,
              head + "X-BREVANT-EXCHANGE: 1; preloaded=3\r\n\r\n" + addlInfo() + "abc");
}

TEST_F(KeepAliveTest, OneConnectionServesRequestsUntilTheInstanceClosesIt) {
    // After "close" the GET goes once more, on a new connection.
    ends_ = {std::string(1, '\1'), std::string(1, '\0'), "close", std::string(1, '\1')};
    EXPECT_EQ(Call(*Request()), static_cast<DWORD>(HSE_STATUS_SUCCESS_AND_KEEP_CONN));
    EXPECT_EQ(Call(*Request()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    EXPECT_EQ(Call(*Request()), static_cast<DWORD>(HSE_STATUS_SUCCESS_AND_KEEP_CONN));
    EXPECT_EQ(table_.groups[0].instance.requestsSent.load(), 4u);
}

TEST_F(KeepAliveTest, APostOnAClosedKeptConnectionIsNotSentAgain) {
    ends_ = {std::string(1, '\1'), "close", std::string(1, '\1')};
    EXPECT_EQ(Call(*Request()), static_cast<DWORD>(HSE_STATUS_SUCCESS_AND_KEEP_CONN));
    auto post = Request({{"REQUEST_METHOD", "POST"}});
    EXPECT_EQ(ExtensionTest::Call(*post), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    EXPECT_EQ(post->written, "");
    EXPECT_EQ(answered_.load(), 2);
}

TEST_F(KeepAliveTest, WithoutTheSettingCommandThreeIsUnknown) {
    table_.groups[0].keepAlive = 0;
    ends_ = {std::string(1, '\1')};
    auto ecb = Request();
    EXPECT_EQ(ExtensionTest::Call(*ecb), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    EXPECT_EQ(output_.text(), "Received unknown command from Brevant.\n");
    EXPECT_EQ(kept_.takeConnection().received.find("X-BREVANT-EXCHANGE"), std::string::npos);
}

struct StatusCase {
    const char* piece;
    DWORD status;
};

class RecordStatusCodeTest : public testing::TestWithParam<StatusCase> {};

TEST_P(RecordStatusCodeTest, TakesTheLeadingNumberOfTheThreeCharactersAfterTheFirstSpace) {
    FakeEcb ecb;
    ecb.get()->dwHttpStatusCode = 123;
    // Exactly the piece's bytes, so that a read past them is caught by the sanitizer.
    size_t length = std::strlen(GetParam().piece);
    std::unique_ptr<char[]> piece(new char[length]);
    std::memcpy(piece.get(), GetParam().piece, length);
    recordStatusCode(ecb.get(), piece.get(), length);
    EXPECT_EQ(ecb.get()->dwHttpStatusCode, GetParam().status) << '"' << GetParam().piece << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, RecordStatusCodeTest,
    testing::Values(StatusCase{"HTTP/1.0 404 Not Found\r\n", 404}, StatusCase{"HTTP/1.1 302", 302},
                    StatusCase{"HTTP/1.0 40x", 40}, StatusCase{"X 2001", 200},
                    StatusCase{"HTTP/1.0", 123}, StatusCase{"HTTP/1.0 40", 123},
                    StatusCase{"HTTP/1.0 abc", 123}, StatusCase{"HTTP/1.0 000", 123},
                    StatusCase{"HTTP/1.0  404", 123}, StatusCase{"", 123}));

// ---- the entry points --------------------------------------------------------------------------

TEST(ExtensionEntryPointsTest, DescribeTheExtensionAndKeepNothingToRelease) {
    HSE_VERSION_INFO info;
    std::memset(&info, 'x', sizeof info);
    EXPECT_TRUE(GetExtensionVersion(&info));
    EXPECT_EQ(info.dwExtensionVersion, 0x40000u);
    EXPECT_STREQ(info.lpszExtensionDesc, "Brevant ISAPI Adapter Extension");
    EXPECT_TRUE(TerminateExtension(HSE_TERM_MUST_UNLOAD));
}

}  // namespace
}  // namespace brevant::adapter
