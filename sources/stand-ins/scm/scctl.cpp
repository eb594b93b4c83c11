// scctl: create, delete, start, stop and query services of the service control manager
// stand-in, as `sc` and `net start` / `net stop` do on Windows (docs/scctl.md).
//
//   scctl create NAME IMAGEPATH [--display-name TEXT] [--start demand|auto|disabled]
//   scctl delete NAME
//   scctl start NAME [ARGUMENT...]   returns once the service reports running or stopped
//   scctl stop NAME                  returns once it reports stopped or running again
//   scctl query NAME
//
// Exit status: 0 when done (start: running, stop: stopped), 1 when the service ended in
// the other state, 2 when a call failed or the command line is wrong.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "native/common/basics/owned_handles.h"
#include "stand-ins/scm/service_report.h"

namespace {

constexpr int kDone = 0;
constexpr int kOtherState = 1;
constexpr int kFailed = 2;

// How long start and stop wait for the service after the manager took the request.
constexpr auto kStartWait = std::chrono::seconds(120);
constexpr auto kStopWait = std::chrono::seconds(300);
constexpr auto kPollInterval = std::chrono::milliseconds(50);

const char kUsage[] =
    "Usage:\n"
    "  scctl create NAME IMAGEPATH [--display-name TEXT] [--start demand|auto|disabled]\n"
    "  scctl delete NAME\n"
    "  scctl start NAME [ARGUMENT...]\n"
    "  scctl stop NAME\n"
    "  scctl query NAME\n";

int failed(const char* function) {
    DWORD error = GetLastError();
    std::fputs(scctl::formatFailure(function, error).c_str(), stderr);
    return kFailed;
}

int usage() {
    std::fputs(kUsage, stderr);
    return kFailed;
}

void printStatus(const std::string& name, const SERVICE_STATUS& status) {
    std::fputs(scctl::formatStatus(name, status).c_str(), stdout);
}

// Polls the service until `done` holds or `wait` has passed; false when it failed.
template <typename Done>
bool waitFor(SC_HANDLE service, std::chrono::seconds wait, SERVICE_STATUS* status, Done done) {
    auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (!QueryServiceStatus(service, status)) {
            return false;
        }
        if (done(*status) || std::chrono::steady_clock::now() >= deadline) {
            return true;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

int create(SC_HANDLE manager, const std::string& name, const std::vector<std::string>& rest) {
    if (rest.empty()) {
        return usage();
    }
    std::string imagePath = rest[0];
    std::string displayName = name;  // as sc create does without DisplayName=
    DWORD startType = SERVICE_DEMAND_START;
    for (size_t i = 1; i < rest.size(); i += 2) {
        if (i + 1 >= rest.size()) {
            return usage();
        }
        if (rest[i] == "--display-name") {
            displayName = rest[i + 1];
        } else if (rest[i] == "--start" && rest[i + 1] == "demand") {
            startType = SERVICE_DEMAND_START;
        } else if (rest[i] == "--start" && rest[i + 1] == "auto") {
            startType = SERVICE_AUTO_START;
        } else if (rest[i] == "--start" && rest[i + 1] == "disabled") {
            startType = SERVICE_DISABLED;
        } else {
            return usage();
        }
    }
    brevant::ServiceHandle service(
        CreateServiceA(manager, name.c_str(), displayName.c_str(), SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL,
                       imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (service.get() == nullptr) {
        return failed("CreateService");
    }
    std::puts("CreateService SUCCESS");
    return kDone;
}

int remove(SC_HANDLE manager, const std::string& name) {
    brevant::ServiceHandle service(OpenServiceA(manager, name.c_str(), DELETE));
    if (service.get() == nullptr) {
        return failed("OpenService");
    }
    if (!DeleteService(service.get())) {
        return failed("DeleteService");
    }
    std::puts("DeleteService SUCCESS");
    return kDone;
}

int start(SC_HANDLE manager, const std::string& name, const std::vector<std::string>& rest) {
    brevant::ServiceHandle service(
        OpenServiceA(manager, name.c_str(), SERVICE_START | SERVICE_QUERY_STATUS));
    if (service.get() == nullptr) {
        return failed("OpenService");
    }
    std::vector<LPCSTR> arguments;
    for (const std::string& argument : rest) {
        arguments.push_back(argument.c_str());
    }
    if (!StartServiceA(service.get(), DWORD(arguments.size()), arguments.data())) {
        return failed("StartService");
    }
    SERVICE_STATUS status{};
    if (!waitFor(service.get(), kStartWait, &status, [](const SERVICE_STATUS& s) {
            return s.dwCurrentState == SERVICE_RUNNING || s.dwCurrentState == SERVICE_STOPPED;
        })) {
        return failed("QueryServiceStatus");
    }
    printStatus(name, status);
    return status.dwCurrentState == SERVICE_RUNNING ? kDone : kOtherState;
}

int stop(SC_HANDLE manager, const std::string& name) {
    brevant::ServiceHandle service(
        OpenServiceA(manager, name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (service.get() == nullptr) {
        return failed("OpenService");
    }
    SERVICE_STATUS status{};
    // A handler that stops slowly outlasts the manager's wait: the state then tells.
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status) &&
        GetLastError() != ERROR_SERVICE_REQUEST_TIMEOUT) {
        return failed("ControlService");
    }
    if (!waitFor(service.get(), kStopWait, &status, [](const SERVICE_STATUS& s) {
            return s.dwCurrentState != SERVICE_STOP_PENDING;
        })) {
        return failed("QueryServiceStatus");
    }
    printStatus(name, status);
    return status.dwCurrentState == SERVICE_STOPPED ? kDone : kOtherState;
}

int query(SC_HANDLE manager, const std::string& name) {
    brevant::ServiceHandle service(OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS));
    if (service.get() == nullptr) {
        return failed("OpenService");
    }
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service.get(), &status)) {
        return failed("QueryServiceStatus");
    }
    printStatus(name, status);
    return kDone;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return usage();
    }
    std::string command = argv[1];
    std::string name = argv[2];
    std::vector<std::string> rest(argv + 3, argv + argc);
    bool noArguments = rest.empty();
    if ((command == "delete" || command == "stop" || command == "query") && !noArguments) {
        return usage();
    }
    DWORD access = command == "create" ? SC_MANAGER_CREATE_SERVICE : SC_MANAGER_CONNECT;
    brevant::ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, access));
    if (manager.get() == nullptr) {
        return failed("OpenSCManager");
    }
    if (command == "create") {
        return create(manager.get(), name, rest);
    }
    if (command == "delete") {
        return remove(manager.get(), name);
    }
    if (command == "start") {
        return start(manager.get(), name, rest);
    }
    if (command == "stop") {
        return stop(manager.get(), name);
    }
    if (command == "query") {
        return query(manager.get(), name);
    }
    return usage();
}
