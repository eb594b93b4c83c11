// The group table of Brevant_Adapter: the application-server groups read from
// brevant.properties when IIS loads the filter (adapter_properties.cpp), read-only after
// that, and read without a lock by every filter notification and extension call.
//
// A group's index in `groups` is its group number, the value of the "X-Brevant-Group:"
// header that the filter adds and the extension reads back.
#ifndef BREVANT_ADAPTER_ADAPTER_GROUPS_H
#define BREVANT_ADAPTER_ADAPTER_GROUPS_H

#include <winsock2.h>  // before windows.h, as WinSock 2 asks
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace brevant::adapter {

constexpr int kMaxGroups = 50;
constexpr size_t kGroupNameSize = 128;  // 127 characters and the NUL
constexpr size_t kMaxHostText = 127;    // of an instance entry
constexpr size_t kMaxPortText = 11;     // of an instance entry
constexpr uint16_t kDefaultPort = 8888;
constexpr double kDefaultRetryTime = 120.0;  // seconds

struct AdapterInstance {
    uint32_t address = 0;  // IPv4, network byte order, as inet_addr returns it
    uint16_t port = 0;     // network byte order, as htons returns it
    uint8_t state = 0;     // recorded, consulted nowhere
};

// An instance entry after the first of an "instances" value: parsed and reported, kept
// here, never routed to.
struct ExtraInstance {
    int index = 0;
    std::string host;
    std::string port;
    AdapterInstance instance;
};

struct AdapterGroup {
    char name[kGroupNameSize] = {};          // lower case
    std::vector<std::string> servers;        // host names as written; "all" matches every host
    std::vector<std::string> pathAliases;    // aliases beginning with "/": URL prefixes
    std::vector<std::string> suffixAliases;  // other aliases: ends of the URL path
    std::vector<std::string> applications;   // URL prefixes, each beginning with "/"
    AdapterInstance instance;                // the first entry of "instances"
    std::vector<ExtraInstance> extraInstances;
    double retryTime = kDefaultRetryTime;  // parsed and reported only
    int32_t lastInstance = -1;             // index of the last parsed instance entry
};

// Process-wide, zero-initialised at load, written only by GetFilterVersion.
extern AdapterGroup groups[kMaxGroups];
extern int32_t groupCount;
extern bool adminEnabled;

// Back to the state of a freshly loaded module (for GetFilterVersion and for tests).
void resetGroups();

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_ADAPTER_GROUPS_H
