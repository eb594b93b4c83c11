// The table of live requests behind the engine's request handles: a handle reaches its
// request only while the request is registered, a stale or unknown handle reaches nothing,
// and the end of a registration waits for the natives still using it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <set>
#include <thread>

#include "native/isapi/bridge/request_handles.h"

namespace {

using brevant::isapi::RequestLease;
using brevant::isapi::RequestRegistration;

void* leased(jint handle) {
    return RequestLease(handle).request();
}

TEST(RequestHandlesTest, AHandleReachesItsRequestOnlyWhileRegistered) {
    int request = 0;
    jint handle = 0;
    {
        RequestRegistration registration(&request);
        handle = registration.handle();
        EXPECT_NE(handle, 0);
        EXPECT_EQ(leased(handle), &request);
    }
    EXPECT_EQ(leased(handle), nullptr);
    EXPECT_EQ(leased(0), nullptr);
    EXPECT_EQ(leased(-1), nullptr);
}

TEST(RequestHandlesTest, HandlesAreNotReusedForLaterRequests) {
    int request = 0;
    std::set<jint> seen;
    for (int i = 0; i < 1000; ++i) {
        RequestRegistration registration(&request);
        EXPECT_TRUE(seen.insert(registration.handle()).second);
    }
}

TEST(RequestHandlesTest, TheEndOfARequestWaitsForItsLeases) {
    int request = 0;
    std::optional<RequestRegistration> registration(std::in_place, &request);
    const jint handle = registration->handle();
    auto lease = std::make_unique<RequestLease>(handle);
    std::atomic<bool> ended{false};
    std::thread ending([&] {
        registration.reset();
        ended = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(ended);
    EXPECT_EQ(lease->request(), &request);  // still safe to use
    EXPECT_EQ(leased(handle), nullptr);     // but a native arriving now finds nothing
    lease.reset();
    ending.join();
    EXPECT_TRUE(ended);
}

}  // namespace
