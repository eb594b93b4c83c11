// What the service control manager stand-in knows of a service beyond its registry record:
// its status and how to reach its process. There is no manager process: the state is kept
// in files beside the registry file, written by whoever changes it.
//
// - The status file "<STANDIN_REGISTRY>.scm/<name in lower case>.status" holds the last
//   SERVICE_STATUS the service reported, and its process id. No file means stopped, with
//   both exit codes 0. Written whole and renamed into place, so readers never see half.
// - The service's process listens on an abstract Unix socket whose name is made from the
//   status file's path; it exists exactly as long as the service's dispatcher runs, which
//   is how a reader tells a service that died from one that runs.
//
// Stateless; any thread may call.
#ifndef STANDIN_WIN32_SERVICES_SERVICE_RUNTIME_H
#define STANDIN_WIN32_SERVICES_SERVICE_RUNTIME_H

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "stand-ins/win32/src/unique_fd.h"

namespace standin::services {

struct ServicePlace {
    std::string statusPath;
    std::string socketName;  // abstract: no leading NUL here, no file anywhere
};

// Where the state of service `name` lives; nothing while there is no registry file.
std::optional<ServicePlace> placeOf(std::string_view name);

struct RuntimeStatus {
    SERVICE_STATUS status{};
    DWORD processId = 0;
};

// The stopped state a service has before it ever ran.
RuntimeStatus neverStarted(DWORD serviceType);

// Replaces the status file; a Win32 error code.
DWORD writeStatusFile(const std::string& path, const RuntimeStatus& runtime);
void removeStatusFile(const std::string& path);

// The status as the manager reports it: the file's, except that a service whose file says
// it is not stopped while its process no longer listens died without saying so; it is
// then recorded as stopped with ERROR_PROCESS_ABORTED, as Windows does.
RuntimeStatus currentStatus(const ServicePlace& place, DWORD serviceType);

// A connection to the service's dispatcher; invalid (errno set) when none listens.
UniqueFd connectToService(const std::string& socketName);
// A listening socket (close-on-exec) under that name; invalid with *error = errno, which is
// EADDRINUSE while a dispatcher of that service runs.
UniqueFd listenForService(const std::string& socketName, int* error);

}  // namespace standin::services

#endif  // STANDIN_WIN32_SERVICES_SERVICE_RUNTIME_H
