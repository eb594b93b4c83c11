// Which instance of a group a request connects to, by the group's balance policy, and the
// instances' live state: marked down when a connection attempt fails, tried again when their
// retry time has passed, up again when a request reaches them.
//
// Runs on any number of IIS threads at once; the marks are atomics of the shared group table
// (adapter_groups.h), read and written without a lock.
#ifndef BREVANT_ADAPTER_INSTANCE_CHOICE_H
#define BREVANT_ADAPTER_INSTANCE_CHOICE_H

#include <winsock2.h>  // before windows.h, as WinSock 2 asks
#include <windows.h>

#include <cstdint>
#include <functional>

#include "native/adapter/adapter_groups.h"

namespace brevant::adapter {

// What one connection attempt to one instance gave.
struct ConnectAttempt {
    SOCKET socket = INVALID_SOCKET;  // connected, or INVALID_SOCKET
    int error = 0;                   // the WinSock error when not connected
    bool noSocket = false;           // no socket could be opened: the machine's fault, not
                                     // the instance's
    bool reused = false;             // an idle connection kept from an earlier request
};

// Where a request's connection attempts ended.
struct InstanceChoice {
    SOCKET socket = INVALID_SOCKET;
    const AdapterInstance* instance = nullptr;  // connected to, or tried last
    int error = 0;
    bool noSocket = false;
    bool reused = false;
};

using Clock = std::function<int64_t()>;  // milliseconds, never going back
using Connector = std::function<ConnectAttempt(const AdapterInstance&)>;

// Connects as the policy says. "first" tries instance 0 and marks nothing. "failover" and
// "roundrobin" try each instance that is up (or whose retry time has passed) once, in their
// order, marking down each that fails; when none connects, the one kept away whose retry time
// ends first is tried once as well. Stops at once when no socket can be opened.
InstanceChoice connectByPolicy(const AdapterGroup& group, const Clock& now,
                               const Connector& connect);

// The steady clock in milliseconds.
int64_t steadyMilliseconds();

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_INSTANCE_CHOICE_H
