// The wire between the manager's side (StartServiceA, ControlService) and a service's
// dispatcher: one request per connection to the dispatcher's socket, one reply.
//
//   start:   'S', u32 count, count strings (u32 length, bytes): the status file's path,
//            the service's name, its start arguments      -> u32 error
//   control: 'C', u32 control code                        -> u32 error, SERVICE_STATUS
//
// Numbers are in the host's byte order: both ends are on one machine. Stateless; any
// thread may call.
#ifndef STANDIN_WIN32_SERVICES_SERVICE_CHANNEL_H
#define STANDIN_WIN32_SERVICES_SERVICE_CHANNEL_H

#include <windows.h>

#include <string>
#include <vector>

namespace standin::services {

inline constexpr char kStartRequest = 'S';
inline constexpr char kControlRequest = 'C';

// How long the manager waits for a dispatcher to answer, as Windows' default
// ServicesPipeTimeout, and how long a dispatcher waits for a request to arrive whole.
inline constexpr int kReplyTimeoutMs = 30000;
inline constexpr int kRequestTimeoutMs = 5000;

bool sendAll(int fd, const void* data, size_t size);
// False when the peer closed, an error occurred or `timeoutMs` passed (*timedOut then).
bool receiveAll(int fd, void* data, size_t size, int timeoutMs, bool* timedOut = nullptr);

bool sendStrings(int fd, const std::vector<std::string>& strings);
bool receiveStrings(int fd, std::vector<std::string>* strings, int timeoutMs);

}  // namespace standin::services

#endif  // STANDIN_WIN32_SERVICES_SERVICE_CHANNEL_H
