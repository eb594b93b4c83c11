#include "native/isapi/bridge/request_handles.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace brevant::isapi {

namespace {

struct LiveRequest {
    void* request = nullptr;
    int leases = 0;       // natives using the request right now
    bool ending = false;  // the registration is ending: no new leases
};

std::mutex tableLock;
std::condition_variable leaseEnded;
std::unordered_map<jint, LiveRequest> liveRequests;  // guarded by tableLock
uint32_t lastKey = 0;                                // guarded by tableLock

}  // namespace

RequestRegistration::RequestRegistration(void* request) : handle_(0) {
    std::lock_guard<std::mutex> lock(tableLock);
    do {
        handle_ = static_cast<jint>(static_cast<int32_t>(++lastKey));
    } while (handle_ == 0 || liveRequests.count(handle_) != 0);
    liveRequests[handle_].request = request;
}

RequestRegistration::~RequestRegistration() {
    std::unique_lock<std::mutex> lock(tableLock);
    LiveRequest& live = liveRequests.at(handle_);
    // New leases are refused from here on; those held finish with the request.
    live.ending = true;
    leaseEnded.wait(lock, [&live] { return live.leases == 0; });
    liveRequests.erase(handle_);
}

RequestLease::RequestLease(jint handle) : handle_(handle), request_(nullptr) {
    std::lock_guard<std::mutex> lock(tableLock);
    auto found = liveRequests.find(handle);
    if (found != liveRequests.end() && !found->second.ending) {
        ++found->second.leases;
        request_ = found->second.request;
    }
}

RequestLease::~RequestLease() {
    if (request_ == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(tableLock);
    if (--liveRequests.at(handle_).leases == 0) {
        leaseEnded.notify_all();
    }
}

}  // namespace brevant::isapi
