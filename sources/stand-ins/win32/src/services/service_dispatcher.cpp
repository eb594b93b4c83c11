// The service's side: StartServiceCtrlDispatcherA, RegisterServiceCtrlHandlerA and
// SetServiceStatus.
//
// StartServiceA hands the service's process a listening socket as descriptor
// STANDIN_SCM_CONTROL. The dispatcher serves it on the calling (main) thread: the start
// request runs the table's ServiceMain on a thread of its own, control requests call the
// registered handler on the dispatcher's thread, as on Windows. It returns once the
// service has reported SERVICE_STOPPED, after waiting a little for ServiceMain to return.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "stand-ins/win32/src/internal.h"
#include "native/common/basics/ascii_text.h"
#include "stand-ins/win32/src/services/service_channel.h"
#include "stand-ins/win32/src/services/service_records.h"
#include "stand-ins/win32/src/services/service_runtime.h"
#include "stand-ins/win32/src/unique_fd.h"

namespace {

using standin::UniqueFd;
using standin::services::RuntimeStatus;

constexpr const char* kControlVariable = "STANDIN_SCM_CONTROL";
// How long the dispatcher waits for ServiceMain to return once the service has stopped.
constexpr auto kServiceMainGrace = std::chrono::seconds(5);

// The one service this process runs. Never destroyed: the service's threads may still
// report while the process exits. `mutex` guards every field; the handler is called
// without it.
struct DispatcherState {
    std::mutex mutex;
    std::condition_variable serviceMainReturned;
    bool dispatching = false;
    bool started = false;  // the start request arrived and ServiceMain runs or ran
    bool mainReturned = false;
    bool stopped = false;  // SERVICE_STOPPED was reported
    const SERVICE_TABLE_ENTRYA* table = nullptr;
    std::string serviceName;
    std::string statusPath;
    std::vector<std::string> arguments;  // ServiceMain's argv points into these
    std::vector<char*> argv;
    LPHANDLER_FUNCTION handler = nullptr;
    RuntimeStatus current;
    int wakeWriter = -1;
};

DispatcherState& state() {
    static DispatcherState* instance = new DispatcherState();
    return *instance;
}

SERVICE_STATUS_HANDLE statusHandle() {
    return reinterpret_cast<SERVICE_STATUS_HANDLE>(&state());
}

// The listening socket StartServiceA passed, or -1 when this process was not started as a
// service.
int passedListener() {
    const char* value = std::getenv(kControlVariable);
    if (value == nullptr || *value == '\0') {
        return -1;
    }
    char* end = nullptr;
    long fd = std::strtol(value, &end, 10);
    int listening = 0;
    socklen_t size = sizeof(listening);
    if (*end != '\0' || fd < 0 || fd > 65535 ||
        getsockopt(int(fd), SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || !listening) {
        return -1;
    }
    return int(fd);
}

const SERVICE_TABLE_ENTRYA* entryFor(const SERVICE_TABLE_ENTRYA* table, const std::string& name) {
    if (table[0].lpServiceProc != nullptr && table[1].lpServiceProc == nullptr) {
        return &table[0];  // a service of its own process: the name does not matter
    }
    for (const SERVICE_TABLE_ENTRYA* entry = table; entry->lpServiceProc != nullptr; ++entry) {
        if (entry->lpServiceName != nullptr &&
            brevant::ascii::equalIgnoringCase(entry->lpServiceName, name)) {
            return entry;
        }
    }
    return nullptr;
}

void wake(DispatcherState& s) {
    if (s.wakeWriter >= 0) {
        char byte = 0;
        ssize_t ignored = write(s.wakeWriter, &byte, 1);
        (void)ignored;  // the pipe is full only when the dispatcher is awake anyway
    }
}

// REQUIRES: s.mutex held.
DWORD publish(DispatcherState& s) {
    s.current.processId = DWORD(getpid());
    return standin::services::writeStatusFile(s.statusPath, s.current);
}

DWORD startService(DispatcherState& s, const std::vector<std::string>& request) {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.started) {
        return ERROR_SERVICE_ALREADY_RUNNING;
    }
    if (request.size() < 2) {
        return ERROR_INVALID_PARAMETER;
    }
    const SERVICE_TABLE_ENTRYA* entry = entryFor(s.table, request[1]);
    if (entry == nullptr) {
        return ERROR_SERVICE_NOT_IN_EXE;
    }
    s.statusPath = request[0];
    s.serviceName = request[1];
    s.arguments.assign(request.begin() + 1, request.end());
    s.argv.clear();
    for (std::string& argument : s.arguments) {
        s.argv.push_back(argument.data());
    }
    s.argv.push_back(nullptr);
    s.current = RuntimeStatus{};
    s.current.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    s.current.status.dwCurrentState = SERVICE_START_PENDING;
    publish(s);
    LPSERVICE_MAIN_FUNCTIONA serviceMain = entry->lpServiceProc;
    DWORD argc = DWORD(s.arguments.size());
    LPSTR* argv = s.argv.data();
    try {
        std::thread([serviceMain, argc, argv] {
            serviceMain(argc, argv);
            DispatcherState& s = state();
            std::lock_guard<std::mutex> lock(s.mutex);
            s.mainReturned = true;
            s.serviceMainReturned.notify_all();
        }).detach();
    } catch (...) {
        return ERROR_SERVICE_NO_THREAD;
    }
    s.started = true;
    return ERROR_SUCCESS;
}

bool isPending(DWORD state) {
    return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
           state == SERVICE_CONTINUE_PENDING || state == SERVICE_PAUSE_PENDING;
}

// Whether the service said it accepts `control`, by its controls-accepted bits.
bool accepts(const SERVICE_STATUS& status, DWORD control) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
            return (status.dwControlsAccepted & SERVICE_ACCEPT_STOP) != 0;
        case SERVICE_CONTROL_PAUSE:
        case SERVICE_CONTROL_CONTINUE:
            return (status.dwControlsAccepted & SERVICE_ACCEPT_PAUSE_CONTINUE) != 0;
        case SERVICE_CONTROL_SHUTDOWN:
            return (status.dwControlsAccepted & SERVICE_ACCEPT_SHUTDOWN) != 0;
        case SERVICE_CONTROL_PARAMCHANGE:
            return (status.dwControlsAccepted & SERVICE_ACCEPT_PARAMCHANGE) != 0;
        default:
            return true;  // interrogate and user-defined controls
    }
}

DWORD controlService(DispatcherState& s, DWORD control, SERVICE_STATUS* reply) {
    LPHANDLER_FUNCTION handler = nullptr;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        *reply = s.current.status;
        if (!s.started || s.stopped) {
            return ERROR_SERVICE_NOT_ACTIVE;
        }
        if (isPending(s.current.status.dwCurrentState) || s.handler == nullptr) {
            return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        }
        if (!accepts(s.current.status, control)) {
            return ERROR_INVALID_SERVICE_CONTROL;
        }
        handler = s.handler;
    }
    handler(control);
    std::lock_guard<std::mutex> lock(s.mutex);
    *reply = s.current.status;
    return ERROR_SUCCESS;
}

// One request of one connection; a connection that sends nothing only looked whether the
// service runs.
void serve(DispatcherState& s, int connection) {
    char kind = 0;
    if (!standin::services::receiveAll(connection, &kind, 1,
                                       standin::services::kRequestTimeoutMs)) {
        return;
    }
    if (kind == standin::services::kStartRequest) {
        std::vector<std::string> request;
        if (!standin::services::receiveStrings(connection, &request,
                                               standin::services::kRequestTimeoutMs)) {
            return;
        }
        DWORD error = startService(s, request);
        standin::services::sendAll(connection, &error, sizeof(error));
        if (error != ERROR_SUCCESS && error != ERROR_SERVICE_ALREADY_RUNNING) {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.stopped = true;  // nothing to run: the dispatcher gives up
        }
    } else if (kind == standin::services::kControlRequest) {
        DWORD control = 0;
        if (!standin::services::receiveAll(connection, &control, sizeof(control),
                                           standin::services::kRequestTimeoutMs)) {
            return;
        }
        struct {
            DWORD error;
            SERVICE_STATUS status;
        } reply{};
        reply.error = controlService(s, control, &reply.status);
        standin::services::sendAll(connection, &reply, sizeof(reply));
    }
}

void dispatch(DispatcherState& s, int listener, int wakeReader) {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            if (s.stopped) {
                return;
            }
        }
        pollfd watched[2] = {{listener, POLLIN, 0}, {wakeReader, POLLIN, 0}};
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (watched[1].revents != 0) {
            char drained[64];
            ssize_t ignored = read(wakeReader, drained, sizeof(drained));
            (void)ignored;
        }
        if (watched[0].revents != 0) {
            UniqueFd connection(accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
            if (connection.valid()) {
                serve(s, connection.get());
            }
        }
    }
}

}  // namespace

extern "C" {

BOOL WINAPI StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* serviceTable) {
    STANDIN_INJECTION_POINT("StartServiceCtrlDispatcherA", FALSE);
    if (serviceTable == nullptr || serviceTable[0].lpServiceProc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DispatcherState& s = state();
    int wakePipe[2] = {-1, -1};
    int listenerFd = -1;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.dispatching) {
            SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
            return FALSE;
        }
        listenerFd = passedListener();
        if (listenerFd < 0) {
            SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
            return FALSE;
        }
        if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            return standin::setLastErrorFromErrno(), FALSE;
        }
        // Kept from the programs the service starts, as is the variable naming it.
        fcntl(listenerFd, F_SETFD, FD_CLOEXEC);
        unsetenv(kControlVariable);
        s.dispatching = true;
        s.table = serviceTable;
        s.wakeWriter = wakePipe[1];  // kept open for reporters that come late
    }
    UniqueFd listener(listenerFd);
    UniqueFd wakeReader(wakePipe[0]);
    dispatch(s, listener.get(), wakeReader.get());
    // Nobody can reach the service any more: readers now see the status it last reported.
    listener.reset();

    std::unique_lock<std::mutex> lock(s.mutex);
    s.serviceMainReturned.wait_for(lock, kServiceMainGrace, [&] { return s.mainReturned; });
    if (!s.started) {
        SetLastError(ERROR_SERVICE_NOT_IN_EXE);
        return FALSE;
    }
    return TRUE;
}

SERVICE_STATUS_HANDLE WINAPI RegisterServiceCtrlHandlerA(LPCSTR serviceName,
                                                         LPHANDLER_FUNCTION handler) {
    STANDIN_INJECTION_POINT("RegisterServiceCtrlHandlerA", nullptr);
    DispatcherState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.started) {
        SetLastError(ERROR_SERVICE_NOT_IN_EXE);
        return nullptr;
    }
    if (handler == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Only a process that runs several services needs the name to tell them apart.
    if (entryFor(s.table, serviceName != nullptr ? serviceName : "") == nullptr) {
        SetLastError(ERROR_SERVICE_NOT_IN_EXE);
        return nullptr;
    }
    s.handler = handler;
    return statusHandle();
}

BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE statusHandle_, LPSERVICE_STATUS serviceStatus) {
    STANDIN_INJECTION_POINT("SetServiceStatus", FALSE);
    DispatcherState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (statusHandle_ != statusHandle() || s.handler == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (serviceStatus == nullptr) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    if (serviceStatus->dwCurrentState < SERVICE_STOPPED ||
        serviceStatus->dwCurrentState > SERVICE_PAUSED) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    if (s.stopped) {
        SetLastError(ERROR_INVALID_HANDLE);  // the manager no longer listens
        return FALSE;
    }
    s.current.status = *serviceStatus;
    if (serviceStatus->dwCurrentState == SERVICE_STOPPED) {
        s.current.status.dwControlsAccepted = 0;  // a stopped service takes no controls
    }
    DWORD error = publish(s);
    if (serviceStatus->dwCurrentState == SERVICE_STOPPED) {
        standin::services::deleteIfMarked(s.serviceName, s.statusPath);
        s.stopped = true;
        wake(s);
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"
