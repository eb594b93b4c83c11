// What an extension's requests leave of the client's connection.
#include <gtest/gtest.h>

#include "fake_exchange.h"
#include "stand-ins/isapihost/host/extension_call.h"

namespace isapihost {

TEST(ExtensionCall, ACloseRequestOutweighsKeepConn) {
    Site site;
    FakeExchange exchange("GET", "/Scripts/Test.dll", {});
    RequestContext request(exchange, site);
    AfterResponse after = ExtensionCall(request).run([](EXTENSION_CONTROL_BLOCK* ecb) -> DWORD {
        ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_CLOSE_CONNECTION, nullptr, nullptr,
                                   nullptr);
        return HSE_STATUS_SUCCESS_AND_KEEP_CONN;
    });
    EXPECT_EQ(after, AfterResponse::Close);
}

}  // namespace isapihost
