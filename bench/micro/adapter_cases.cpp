#include "adapter_cases.h"

#include <winsock2.h>  // before windows.h, as WinSock 2 asks
#include <windows.h>
#include <httpext.h>
#include <httpfilt.h>

#include <fcntl.h>
#include <sys/socket.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "native/adapter/adapter_groups.h"
#include "native/adapter/adapter_properties.h"
#include "native/adapter/adapter_properties_internal.h"
#include "fake_ecb.h"
#include "fake_instance.h"
#include "native/adapter/instance_connection.h"
#include "native/adapter/request_relay.h"
#include "typical_request.h"

namespace bench {

namespace {

using brevant::adapter::InstanceConnection;
using testsupport::FakeEcb;

constexpr size_t kResponseBodySize = 100;

std::unique_ptr<BrowserFilterContext> filterContext;

std::unique_ptr<FakeEcb> headEcb;
std::unique_ptr<InstanceConnection> headConnection;
std::unique_ptr<InstanceConnection> headFarEnd;  // non-blocking, drained every iteration

std::unique_ptr<FakeEcb> commandsEcb;
std::string response;
std::string instanceBytes;
InstanceConnection preparedConnection;

// Both ends of an in-memory connection; a failure ends the run, as no case can go on.
void makePair(InstanceConnection* nearEnd, InstanceConnection* farEnd, bool farEndNonBlocking) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        std::abort();
    }
    if (farEndNonBlocking && fcntl(ends[1], F_SETFL, O_NONBLOCK) != 0) {
        std::abort();
    }
    *nearEnd = InstanceConnection(static_cast<SOCKET>(ends[0]));
    *farEnd = InstanceConnection(static_cast<SOCKET>(ends[1]));
}

void filter(const char* url) {
    testsupport::FakeFilterContext& fake = filterContext->forRequest(url);
    DWORD status = HttpFilterProc(fake.pfc(), SF_NOTIFY_PREPROC_HEADERS, fake.preproc());
    benchmark::DoNotOptimize(status);
}

// The server variables IIS offers the extension for a routed GET without a body.
void describeRoutedGet(FakeEcb& ecb) {
    ecb.variables = {
        {"REQUEST_METHOD", "GET"},
        {"HTTP_X_BREVANT_REQUEST", std::string(kServletUrl) + "?" + kQueryString},
        {"SERVER_PROTOCOL", "HTTP/1.1"},
        {"ALL_HTTP", browserAllHttp() + "HTTP_X_BREVANT_REQUEST:" + kServletUrl + "?" +
                         kQueryString + "\nHTTP_X_BREVANT_GROUP:0\n"},
        {"REMOTE_ADDR", "192.0.2.17"},
        {"REMOTE_HOST", "192.0.2.17"},
        {"SERVER_NAME", "www.example.com"},
        {"SERVER_PORT", "80"},
        {"SERVER_SOFTWARE", "Microsoft-IIS/5.0"},
        {"SERVER_PORT_SECURE", "0"},
    };
}

}  // namespace

void setupAdapterFilter() {
    // What GetFilterVersion does, with this file in place of brevant.properties.
    brevant::adapter::GroupTable& table = brevant::adapter::processGroupTable;
    table = brevant::adapter::GroupTable();
    brevant::adapter::parseProperties(table, "brevant.default.applications=/servlet/\n");
    brevant::adapter::supplyDefaults(table);
    filterContext = std::make_unique<BrowserFilterContext>();
}

void adapterFilterServletUrl() {
    filter(kServletUrl);
}

void adapterFilterStaticUrl() {
    filter(kStaticUrl);
}

bool adapterFilterRouted() {
    const testsupport::FakeFilterContext& fake = filterContext->fake();
    return fake.url == "/Scripts/Brevant_Adapter.dll" && fake.header("X-Brevant-Group") == "0" &&
           fake.header("X-Brevant-Request") == kServletUrl;
}

bool adapterFilterPassed() {
    return filterContext->untouched(kStaticUrl);
}

void teardownAdapterFilter() {
    filterContext.reset();
    brevant::adapter::processGroupTable = brevant::adapter::GroupTable();
}

void setupAdapterHead() {
    headEcb = std::make_unique<FakeEcb>();
    describeRoutedGet(*headEcb);
    headConnection = std::make_unique<InstanceConnection>();
    headFarEnd = std::make_unique<InstanceConnection>();
    makePair(headConnection.get(), headFarEnd.get(), true);
}

// What the extension sends before the instance's first command, as a group without
// `keepalive` sends it.
bool sendHead(EXTENSION_CONTROL_BLOCK* ecb) {
    brevant::adapter::RequestBytes request;
    if (!brevant::adapter::readRequestHeader(ecb, false, &request)) {
        return false;
    }
    brevant::adapter::readAddlInfo(ecb, &request);
    brevant::adapter::sendRequest(*headConnection, request, ecb);
    return true;
}

void adapterHead() {
    bool sent = sendHead(headEcb->get());
    benchmark::DoNotOptimize(sent);
    // The instance's reading, until nothing is left for the next iteration to wait behind.
    char drained[8192];
    while (headFarEnd->receiveSome(drained, sizeof drained) > 0) {
    }
}

bool adapterHeadSent() {
    if (!sendHead(headEcb->get())) {
        return false;
    }
    std::string sent;
    char piece[4096];
    for (int received = 0; (received = headFarEnd->receiveSome(piece, sizeof piece)) > 0;) {
        sent.append(piece, static_cast<size_t>(received));
    }
    std::string requestLine = std::string("GET ") + kServletUrl + "?" + kQueryString +
                              " HTTP/1.1\r\nHOST: www.example.com\r\n";
    std::string addlInfoEnd =
        "\r\n\r\n192.0.2.17\r\n192.0.2.17\r\nwww.example.com\r\n80\r\n"
        "Microsoft-IIS/5.0\r\nfalse\r\n\r\n";
    return sent.starts_with(requestLine) && sent.ends_with(addlInfoEnd) &&
           sent.find("X-BREVANT") == std::string::npos;
}

void teardownAdapterHead() {
    headConnection.reset();
    headFarEnd.reset();
    headEcb.reset();
}

void setupAdapterCommands() {
    commandsEcb = std::make_unique<FakeEcb>();
    describeRoutedGet(*commandsEcb);
    const std::string bodyStart = "<html><body>";
    const std::string bodyEnd = "</body></html>";
    response = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
               std::to_string(kResponseBodySize) +
               "\r\nSet-Cookie: JSESSIONID=4F2A9C1B7D3E5F60A1B2; Path=/\r\n\r\n" + bodyStart +
               std::string(kResponseBodySize - bodyStart.size() - bodyEnd.size(), 'x') + bodyEnd;
    instanceBytes = fakeinstance::responseData(response);
}

void prepareAdapterCommands() {
    commandsEcb->written.clear();
    commandsEcb->writeFlags.clear();
    InstanceConnection farEnd;
    makePair(&preparedConnection, &farEnd, false);
    farEnd.sendAll(instanceBytes.data(), instanceBytes.size());
    // Closed at once: the adapter sees the end of the exchange after the command.
}

void adapterCommands() {
    InstanceConnection connection = std::move(preparedConnection);
    brevant::adapter::serveCommands(connection, commandsEcb->get(), false);
    benchmark::DoNotOptimize(commandsEcb->written.data());
}  // the adapter closes the connection after the exchange

bool adapterCommandsServed() {
    return commandsEcb->written == response && commandsEcb->get()->dwHttpStatusCode == 200;
}

void teardownAdapterCommands() {
    preparedConnection.close();
    commandsEcb.reset();
    instanceBytes.clear();
    response.clear();
}

}  // namespace bench
