// The group table of Brevant_Adapter: the application-server groups of brevant.properties.
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

// A value-initialised table is that of a freshly loaded module: no group, every record
// with the retry time of 120 s and no instance parsed yet, the admin page enabled.
struct GroupTable {
    AdapterGroup groups[kMaxGroups];
    int32_t groupCount = 0;
    bool adminEnabled = true;
};

// The table the IIS entry points use. Written only while IIS loads the filter:
// GetFilterVersion resets it and reads brevant.properties into it, on the loading thread,
// before any request arrives. Read without a lock afterwards, and only read, by every
// filter notification (routing, the admin page) and every extension call, on any number of
// IIS threads at once. The code below the entry points takes the table it works on, so that
// the entry points alone name this one.
extern GroupTable processGroupTable;

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_ADAPTER_GROUPS_H
