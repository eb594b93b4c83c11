// The group table of Brevant_Adapter: the application-server groups of brevant.properties.
//
// A group's index in `groups` is its group number, the value of the "X-Brevant-Group:"
// header that the filter adds and the extension reads back.
#ifndef BREVANT_ADAPTER_ADAPTER_GROUPS_H
#define BREVANT_ADAPTER_ADAPTER_GROUPS_H

#include <winsock2.h>  // before windows.h, as WinSock 2 asks
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brevant::adapter {

constexpr int kMaxGroups = 50;
constexpr size_t kGroupNameSize = 128;  // 127 characters and the NUL
constexpr size_t kMaxHostText = 127;    // of an instance entry
constexpr size_t kMaxPortText = 11;     // of an instance entry
constexpr uint16_t kDefaultPort = 8888;
constexpr double kDefaultRetryTime = 120.0;        // seconds
constexpr uint32_t kDefaultKeepAliveTimeout = 30;  // seconds
constexpr uint32_t kMaxKeptConnections = 1024;     // per instance
constexpr uint32_t kMaxKeepAliveTimeout = 86400;   // seconds

class ConnectionPool;

// The values of an instance's `state`.
constexpr uint8_t kInstanceUp = 0;
constexpr uint8_t kInstanceDown = 1;  // a connection attempt failed; see downUntil

// Which instances of a group take its requests.
enum class BalancePolicy : uint8_t {
    first,       // instance 0 only, whatever happens to it
    failover,    // instance 0 while it is up, then the next that is up, in list order
    roundrobin,  // each request to the next instance that is up
};

constexpr BalancePolicy kBalancePolicies[] = {BalancePolicy::first, BalancePolicy::failover,
                                              BalancePolicy::roundrobin};

// The policy's word in brevant.properties and on the status page.
inline const char* policyName(BalancePolicy policy) {
    switch (policy) {
        case BalancePolicy::failover:
            return "failover";
        case BalancePolicy::roundrobin:
            return "roundrobin";
        default:
            return "first";
    }
}

// An atomic that the table can copy while it is being loaded, when no request runs; requests
// only load, store and count.
template <typename T>
class LoadTimeAtomic : public std::atomic<T> {
  public:
    LoadTimeAtomic() : std::atomic<T>(T()) {}
    explicit LoadTimeAtomic(T value) : std::atomic<T>(value) {}
    LoadTimeAtomic(const LoadTimeAtomic& other) : std::atomic<T>(other.load()) {}
    LoadTimeAtomic& operator=(const LoadTimeAtomic& other) {
        this->store(other.load());
        return *this;
    }
    using std::atomic<T>::operator=;
};

// One address that a host name or an IPv6 literal stands for, as connect takes it.
struct InstanceAddress {
    sockaddr_storage address = {};
    int length = 0;
};

// One entry of an "instances" value. The fields marked live are what requests change, on any
// thread, without a lock: each is one atomic, and no decision needs two of them to agree.
struct AdapterInstance {
    uint32_t address = 0;                   // IPv4, network byte order, as inet_addr returns it
    uint16_t port = 0;                      // network byte order, as htons returns it
    mutable LoadTimeAtomic<uint8_t> state;  // live: kInstanceUp or kInstanceDown

    std::string entry;         // as written, for pages and messages: "10.0.0.1:9000", "[::1]:9101"
    bool withinLimits = true;  // host and port texts within the model's limits
    // A host name or an IPv6 literal, in a group with a balance policy: the resolver's
    // addresses, tried in its order. Empty for IPv4 literals, which use address and port.
    std::vector<InstanceAddress> resolved;
    bool resolveFailed = false;  // a name nothing answered for: no connection is tried

    mutable LoadTimeAtomic<int64_t> downUntil;         // live: steady-clock ms when state is down
    mutable LoadTimeAtomic<uint64_t> requestsSent;     // live: heads sent to the instance
    mutable LoadTimeAtomic<uint64_t> connectFailures;  // live
    mutable LoadTimeAtomic<uint64_t> timeouts;         // live: replies not in time
    // The idle connections kept for later requests, in groups with `keepalive`; its own lock.
    std::shared_ptr<ConnectionPool> pool;
};

struct AdapterGroup {
    char name[kGroupNameSize] = {};               // lower case
    std::vector<std::string> servers;             // host names as written; "all" matches every host
    std::vector<std::string> pathAliases;         // aliases beginning with "/": URL prefixes
    std::vector<std::string> suffixAliases;       // other aliases: ends of the URL path
    std::vector<std::string> applications;        // URL prefixes, each beginning with "/"
    AdapterInstance instance;                     // entry 0 of the last "instances" line
    std::vector<AdapterInstance> extraInstances;  // entries 1 to lastInstance of that line
    double retryTime = kDefaultRetryTime;         // seconds an instance stays down after a failure
    int32_t lastInstance = -1;                    // index of the last parsed instance entry

    BalancePolicy balance = BalancePolicy::first;
    bool balanceKeyed = false;    // a "balance" key was given: names and IPv6 are allowed
    uint32_t connectTimeout = 0;  // milliseconds; 0: connect blocks as long as it takes
    uint32_t replyTimeout = 0;    // milliseconds for each receive; 0: no limit
    uint32_t keepAlive = 0;       // idle connections kept per instance; 0: one per request
    uint32_t keepAliveTimeout = kDefaultKeepAliveTimeout;  // seconds a kept one may stay idle
    mutable LoadTimeAtomic<uint32_t> nextInstance;         // live: where round robin goes on
};

// Entry `index` of the group's instance list, 0 to lastInstance.
inline const AdapterInstance& instanceAt(const AdapterGroup& group, int index) {
    return index == 0 ? group.instance : group.extraInstances[static_cast<size_t>(index - 1)];
}
inline AdapterInstance& instanceAt(AdapterGroup& group, int index) {
    return index == 0 ? group.instance : group.extraInstances[static_cast<size_t>(index - 1)];
}

// A value-initialised table is that of a freshly loaded module: no group, every record
// with the retry time of 120 s and no instance parsed yet, the admin page enabled, no
// status page.
struct GroupTable {
    AdapterGroup groups[kMaxGroups];
    int32_t groupCount = 0;
    bool adminEnabled = true;
    std::string statusPath;  // the URL path of the live status page; empty: none
};

// The table the IIS entry points use. Written only while IIS loads the filter:
// GetFilterVersion resets it and reads brevant.properties into it, on the loading thread,
// before any request arrives. Afterwards every filter notification (routing, the admin and
// status pages) and every extension call reads it without a lock, on any number of IIS
// threads at once; requests write nothing but the fields marked live, which are atomics.
// The code below the entry points takes the table it works on, so that the entry points
// alone name this one.
extern GroupTable processGroupTable;

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_ADAPTER_GROUPS_H
