// What an extension's answer and its requests leave of the client's connection.
#include <gtest/gtest.h>

#include "fake_exchange.h"
#include "stand-ins/isapihost/host/extension_call.h"

namespace isapihost {
namespace {

class ExtensionCalls : public testing::Test {
  protected:
    AfterResponse call(PFN_HTTPEXTENSIONPROC proc) {
        FakeExchange exchange("GET", "/Scripts/Test.dll", {{"Host", "x"}});
        RequestContext request(exchange, site_);
        return ExtensionCall(request).run(proc);
    }
    Site site_;
};

TEST_F(ExtensionCalls, ACloseRequestOutweighsKeepConn) {
    EXPECT_EQ(
        call([](EXTENSION_CONTROL_BLOCK*) -> DWORD { return HSE_STATUS_SUCCESS_AND_KEEP_CONN; }),
        AfterResponse::KeepAlive);
    EXPECT_EQ(call([](EXTENSION_CONTROL_BLOCK* ecb) -> DWORD {
                  EXPECT_TRUE(ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_CLOSE_CONNECTION,
                                                         nullptr, nullptr, nullptr));
                  return HSE_STATUS_SUCCESS_AND_KEEP_CONN;
              }),
              AfterResponse::Close);
}

}  // namespace
}  // namespace isapihost
