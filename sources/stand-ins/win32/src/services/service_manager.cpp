// The manager's side: OpenSCManagerA, OpenServiceA, CreateServiceA, DeleteService,
// StartServiceA, ControlService, QueryServiceStatus, CloseServiceHandle.
//
// There is no manager process. Records are read from and written to the registry
// stand-in, the status from the status file (service_runtime.h); StartServiceA starts the
// service's program itself and hands it a listening socket, and ControlService talks to
// the dispatcher behind that socket. Each function checks its handle, access and
// arguments in the order Windows does.
//
// What Windows does with rights to the manager and services is not modelled: every
// access asked for is granted, and each call then checks the handle's rights as Windows
// does. The service runs with the environment of the caller of StartServiceA (Windows:
// the system's), in the folder "/" (Windows: %SystemRoot%\system32), with standard input
// and output on /dev/null.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "stand-ins/win32/src/internal.h"
#include "stand-ins/win32/src/object_handles.h"
#include "stand-ins/win32/src/processes/child_process.h"
#include "stand-ins/win32/src/processes/command_line.h"
#include "native/common/basics/ascii_text.h"
#include "stand-ins/win32/src/services/service_channel.h"
#include "stand-ins/win32/src/services/service_records.h"
#include "stand-ins/win32/src/services/service_runtime.h"
#include "stand-ins/win32/src/unique_fd.h"

namespace {

using standin::UniqueFd;
using standin::services::RuntimeStatus;
using standin::services::ServicePlace;
using standin::services::ServiceRecord;

constexpr DWORD kMaximumAllowed = 0x02000000;
constexpr size_t kMaximumNameLength = 256;
constexpr int kPassedFdNumber = 3;

struct ManagerObject {
    bool isService = false;
    DWORD granted = 0;
    std::string serviceName;  // as the record spells it
};

// The SC_HANDLEs the process has open.
using ManagerHandles = standin::ObjectHandles<SC_HANDLE, ManagerObject>;

// Generic rights as Windows maps them for the manager and for services.
DWORD managerAccess(DWORD desired) {
    DWORD granted =
        desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | kMaximumAllowed);
    if (desired & GENERIC_READ) {
        granted |=
            STANDARD_RIGHTS_READ | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
    }
    if (desired & GENERIC_WRITE) {
        granted |=
            STANDARD_RIGHTS_WRITE | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG;
    }
    if (desired & GENERIC_EXECUTE) {
        granted |= READ_CONTROL | SC_MANAGER_CONNECT | SC_MANAGER_LOCK;
    }
    if (desired & (GENERIC_ALL | kMaximumAllowed)) {
        granted |= SC_MANAGER_ALL_ACCESS;
    }
    return granted | SC_MANAGER_CONNECT;
}

DWORD serviceAccess(DWORD desired) {
    DWORD granted =
        desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | kMaximumAllowed);
    if (desired & GENERIC_READ) {
        granted |= STANDARD_RIGHTS_READ | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                   SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS;
    }
    if (desired & GENERIC_WRITE) {
        granted |= STANDARD_RIGHTS_WRITE | SERVICE_CHANGE_CONFIG;
    }
    if (desired & GENERIC_EXECUTE) {
        granted |= READ_CONTROL | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                   SERVICE_USER_DEFINED_CONTROL;
    }
    if (desired & (GENERIC_ALL | kMaximumAllowed)) {
        granted |= SERVICE_ALL_ACCESS;
    }
    return granted;
}

// The object behind a handle of the wanted kind that grants `needed`.
DWORD resolve(SC_HANDLE handle, bool service, DWORD needed, ManagerObject* object) {
    std::optional<ManagerObject> found = ManagerHandles::instance().find(handle);
    if (!found || found->isService != service) {
        return ERROR_INVALID_HANDLE;
    }
    if ((found->granted & needed) != needed) {
        return ERROR_ACCESS_DENIED;
    }
    *object = std::move(*found);
    return ERROR_SUCCESS;
}

// Windows refuses slashes and backslashes in service names; control characters could not
// be written to the registry file.
bool isValidServiceName(LPCSTR name) {
    size_t length = std::strlen(name);
    bool plain = true;
    for (const char* c = name; *c != '\0'; ++c) {
        plain = plain && *c != '/' && *c != '\\' && static_cast<unsigned char>(*c) >= 0x20;
    }
    return plain && length > 0 && length <= kMaximumNameLength;
}

bool isValidServiceType(DWORD type) {
    DWORD base = type & ~DWORD(SERVICE_INTERACTIVE_PROCESS);
    bool win32 = base == SERVICE_WIN32_OWN_PROCESS || base == SERVICE_WIN32_SHARE_PROCESS;
    bool driver = base == SERVICE_KERNEL_DRIVER || base == SERVICE_FILE_SYSTEM_DRIVER;
    return win32 || (driver && (type & SERVICE_INTERACTIVE_PROCESS) == 0);
}

// The dependencies argument: strings each ending in a zero, and a zero after the last.
std::string dependencyList(LPCSTR dependencies) {
    std::string list;
    if (dependencies == nullptr || *dependencies == '\0') {
        return list;
    }
    for (const char* item = dependencies; *item != '\0'; item += std::strlen(item) + 1) {
        list.append(item, std::strlen(item) + 1);
    }
    list += '\0';
    return list;
}

template <typename Result>
Result fail(DWORD error, Result failure) {
    SetLastError(error);
    return failure;
}

// The status as the manager shows it, completing a deletion that waited for the stop.
RuntimeStatus statusOf(const ServiceRecord& record, const ServicePlace& place) {
    RuntimeStatus runtime = standin::services::currentStatus(place, record.type);
    if (runtime.status.dwCurrentState == SERVICE_STOPPED && record.markedForDelete) {
        standin::services::deleteIfMarked(record.name, place.statusPath);
    }
    return runtime;
}

// Reads the record and the place of the service a handle names.
DWORD recordAndPlace(const ManagerObject& object, ServiceRecord* record, ServicePlace* place) {
    LONG error = standin::services::readRecord(object.serviceName, record);
    if (error != ERROR_SUCCESS) {
        return DWORD(error);
    }
    std::optional<ServicePlace> found = standin::services::placeOf(record->name);
    if (!found) {
        return ERROR_SERVICE_DOES_NOT_EXIST;
    }
    *place = std::move(*found);
    return ERROR_SUCCESS;
}

// The record and place of the service a handle names, after its rights and then the
// caller's arguments (`argumentError`, ERROR_SUCCESS when they are sound) were checked.
DWORD serviceOf(SC_HANDLE service, DWORD needed, DWORD argumentError, ServiceRecord* record,
                ServicePlace* place) {
    ManagerObject object;
    DWORD error = resolve(service, true, needed, &object);
    if (error == ERROR_SUCCESS) {
        error = argumentError;
    }
    return error == ERROR_SUCCESS ? recordAndPlace(object, record, place) : error;
}

// Reaps the service's process when it ends, so that a long-lived caller of StartServiceA
// keeps no zombies.
void reapLater(pid_t child) {
    try {
        std::thread([child] { standin::processes::waitForChild(child); }).detach();
    } catch (...) {
        // Without a thread the child stays a zombie until this process ends.
    }
}

DWORD startService(const ServiceRecord& record, const ServicePlace& place,
                   const std::vector<std::string>& arguments) {
    int listenError = 0;
    UniqueFd listener = standin::services::listenForService(place.socketName, &listenError);
    if (!listener.valid()) {
        return listenError == EADDRINUSE ? DWORD(ERROR_SERVICE_ALREADY_RUNNING)
                                         : standin::win32ErrorFromErrno(listenError);
    }
    std::string imagePath = record.imagePathExpands
                                ? standin::processes::expandEnvironmentStrings(record.imagePath)
                                : record.imagePath;
    std::string program;
    DWORD error = standin::processes::findImageProgram(imagePath, &program);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    if (listener.get() == kPassedFdNumber) {
        listener.reset(fcntl(listener.get(), F_DUPFD_CLOEXEC, kPassedFdNumber + 1));
    }

    RuntimeStatus before = standin::services::currentStatus(place, record.type);
    RuntimeStatus pending = standin::services::neverStarted(record.type);
    pending.status.dwCurrentState = SERVICE_START_PENDING;
    error = standin::services::writeStatusFile(place.statusPath, pending);
    if (error != ERROR_SUCCESS) {
        return error;
    }

    standin::processes::ChildOptions options;
    options.environment.emplace_back("STANDIN_SCM_CONTROL", std::to_string(kPassedFdNumber));
    options.passedFd = listener.get();
    options.passedFdNumber = kPassedFdNumber;
    options.detachedStdio = true;
    options.closeOthers = true;
    options.workingDirectory = "/";
    pid_t child = 0;
    int spawnError = standin::processes::startChild(
        program, standin::processes::splitCommandLine(imagePath), options, &child);
    if (spawnError != 0) {
        standin::services::writeStatusFile(place.statusPath, before);
        return standin::win32ErrorFromErrno(spawnError);
    }
    listener.reset();  // the service holds it now: if it dies, connecting fails

    // The child is reaped only once this is decided, so its process id cannot have gone to
    // another process when it is killed here.
    auto giveUp = [&](DWORD exitCode) {
        kill(child, SIGKILL);
        reapLater(child);
        RuntimeStatus stopped = standin::services::neverStarted(record.type);
        stopped.status.dwWin32ExitCode = exitCode;
        standin::services::writeStatusFile(place.statusPath, stopped);
        return DWORD(ERROR_SERVICE_REQUEST_TIMEOUT);
    };
    UniqueFd connection = standin::services::connectToService(place.socketName);
    if (!connection.valid()) {
        return giveUp(ERROR_PROCESS_ABORTED);
    }
    std::vector<std::string> request = {place.statusPath, record.name};
    request.insert(request.end(), arguments.begin(), arguments.end());
    DWORD reply = 0;
    bool timedOut = false;
    if (!standin::services::sendAll(connection.get(), &standin::services::kStartRequest, 1) ||
        !standin::services::sendStrings(connection.get(), request) ||
        !standin::services::receiveAll(connection.get(), &reply, sizeof(reply),
                                       standin::services::kReplyTimeoutMs, &timedOut)) {
        // It ended, or never called StartServiceCtrlDispatcher.
        return giveUp(timedOut ? ERROR_SERVICE_REQUEST_TIMEOUT : ERROR_PROCESS_ABORTED);
    }
    reapLater(child);
    return reply;
}

// The access ControlService needs for `control`; 0 for a control no caller may send.
DWORD accessForControl(DWORD control) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
            return SERVICE_STOP;
        case SERVICE_CONTROL_PAUSE:
        case SERVICE_CONTROL_CONTINUE:
        case SERVICE_CONTROL_PARAMCHANGE:
            return SERVICE_PAUSE_CONTINUE;
        case SERVICE_CONTROL_INTERROGATE:
            return SERVICE_INTERROGATE;
        default:
            return control >= 128 && control <= 255 ? DWORD(SERVICE_USER_DEFINED_CONTROL) : 0;
    }
}

}  // namespace

extern "C" {

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD desiredAccess) {
    STANDIN_INJECTION_POINT("OpenSCManagerA", nullptr);
    return standin::guarded<SC_HANDLE>(nullptr, [&]() -> SC_HANDLE {
        if (machineName != nullptr && *machineName != '\0') {
            return fail<SC_HANDLE>(RPC_S_SERVER_UNAVAILABLE, nullptr);  // only this machine
        }
        if (databaseName != nullptr &&
            !brevant::ascii::equalIgnoringCase(databaseName, SERVICES_ACTIVE_DATABASEA)) {
            return fail<SC_HANDLE>(ERROR_DATABASE_DOES_NOT_EXIST, nullptr);
        }
        SetLastError(ERROR_SUCCESS);
        return ManagerHandles::instance().add({false, managerAccess(desiredAccess), ""});
    });
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD desiredAccess) {
    STANDIN_INJECTION_POINT("OpenServiceA", nullptr);
    return standin::guarded<SC_HANDLE>(nullptr, [&]() -> SC_HANDLE {
        ManagerObject scm;
        DWORD error = resolve(manager, false, SC_MANAGER_CONNECT, &scm);
        if (error != ERROR_SUCCESS) {
            return fail<SC_HANDLE>(error, nullptr);
        }
        if (serviceName == nullptr) {
            return fail<SC_HANDLE>(ERROR_INVALID_ADDRESS, nullptr);
        }
        if (!isValidServiceName(serviceName)) {
            return fail<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
        }
        ServiceRecord record;
        LONG status = standin::services::readRecord(serviceName, &record);
        if (status != ERROR_SUCCESS) {
            return fail<SC_HANDLE>(DWORD(status), nullptr);
        }
        SetLastError(ERROR_SUCCESS);
        return ManagerHandles::instance().add({true, serviceAccess(desiredAccess), record.name});
    });
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName,
                                DWORD desiredAccess, DWORD serviceType, DWORD startType,
                                DWORD errorControl, LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                                LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                                LPCSTR /*password*/) {
    STANDIN_INJECTION_POINT("CreateServiceA", nullptr);
    return standin::guarded<SC_HANDLE>(nullptr, [&]() -> SC_HANDLE {
        ManagerObject scm;
        DWORD error = resolve(manager, false, SC_MANAGER_CREATE_SERVICE, &scm);
        if (error != ERROR_SUCCESS) {
            return fail<SC_HANDLE>(error, nullptr);
        }
        if (serviceName == nullptr) {
            return fail<SC_HANDLE>(ERROR_INVALID_ADDRESS, nullptr);
        }
        if (!isValidServiceName(serviceName) ||
            (displayName != nullptr && std::strlen(displayName) > kMaximumNameLength)) {
            return fail<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
        }
        bool driver = (serviceType & SERVICE_DRIVER) != 0;
        if (!isValidServiceType(serviceType) || startType > SERVICE_DISABLED ||
            (!driver && startType < SERVICE_AUTO_START) || errorControl > SERVICE_ERROR_CRITICAL ||
            binaryPathName == nullptr || *binaryPathName == '\0' || (tagId != nullptr && !driver)) {
            return fail<SC_HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
        }
        ServiceRecord record;
        record.name = serviceName;
        record.type = serviceType;
        record.start = startType;
        record.errorControl = errorControl;
        record.imagePath = binaryPathName;
        record.displayName = displayName != nullptr ? displayName : "";
        // Windows' name for the local system account, which it records for a missing one.
        std::string account = serviceStartName != nullptr && *serviceStartName != '\0'
                                  ? serviceStartName
                                  : (driver ? "" : "LocalSystem");
        LONG status = standin::services::createRecord(
            record, account, loadOrderGroup != nullptr ? loadOrderGroup : "",
            dependencyList(dependencies));
        if (status != ERROR_SUCCESS) {
            return fail<SC_HANDLE>(DWORD(status), nullptr);
        }
        SetLastError(ERROR_SUCCESS);
        return ManagerHandles::instance().add({true, serviceAccess(desiredAccess), record.name});
    });
}

BOOL WINAPI DeleteService(SC_HANDLE service) {
    STANDIN_INJECTION_POINT("DeleteService", FALSE);
    return standin::guarded<BOOL>(FALSE, [&]() -> BOOL {
        ServiceRecord record;
        ServicePlace place;
        DWORD error = serviceOf(service, DELETE, ERROR_SUCCESS, &record, &place);
        if (error == ERROR_SUCCESS && record.markedForDelete) {
            error = ERROR_SERVICE_MARKED_FOR_DELETE;
        }
        if (error != ERROR_SUCCESS) {
            return fail<BOOL>(error, FALSE);
        }
        RuntimeStatus runtime = standin::services::currentStatus(place, record.type);
        LONG status;
        if (runtime.status.dwCurrentState == SERVICE_STOPPED) {
            status = standin::services::deleteRecord(record.name);
            if (status == ERROR_SUCCESS) {
                standin::services::removeStatusFile(place.statusPath);
            }
        } else {
            // Removed when it stops, as Windows does.
            status = standin::services::markForDelete(record.name);
        }
        return status == ERROR_SUCCESS ? TRUE : fail<BOOL>(DWORD(status), FALSE);
    });
}

BOOL WINAPI StartServiceA(SC_HANDLE service, DWORD numServiceArgs, LPCSTR* serviceArgVectors) {
    STANDIN_INJECTION_POINT("StartServiceA", FALSE);
    return standin::guarded<BOOL>(FALSE, [&]() -> BOOL {
        ServiceRecord record;
        ServicePlace place;
        DWORD error =
            serviceOf(service, SERVICE_START,
                      numServiceArgs > 0 && serviceArgVectors == nullptr ? ERROR_INVALID_PARAMETER
                                                                         : ERROR_SUCCESS,
                      &record, &place);
        if (error == ERROR_SUCCESS && record.markedForDelete) {
            error = ERROR_SERVICE_MARKED_FOR_DELETE;
        }
        if (error == ERROR_SUCCESS && record.start == SERVICE_DISABLED) {
            error = ERROR_SERVICE_DISABLED;
        }
        if (error != ERROR_SUCCESS) {
            return fail<BOOL>(error, FALSE);
        }
        std::vector<std::string> arguments;
        for (DWORD i = 0; i < numServiceArgs; ++i) {
            if (serviceArgVectors[i] == nullptr) {
                return fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
            }
            arguments.emplace_back(serviceArgVectors[i]);
        }
        error = startService(record, place, arguments);
        return error == ERROR_SUCCESS ? TRUE : fail<BOOL>(error, FALSE);
    });
}

BOOL WINAPI ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS serviceStatus) {
    STANDIN_INJECTION_POINT("ControlService", FALSE);
    return standin::guarded<BOOL>(FALSE, [&]() -> BOOL {
        DWORD needed = accessForControl(control);
        DWORD argumentError = needed == 0                ? ERROR_INVALID_PARAMETER
                              : serviceStatus == nullptr ? ERROR_INVALID_ADDRESS
                                                         : ERROR_SUCCESS;
        ServiceRecord record;
        ServicePlace place;
        DWORD error = serviceOf(service, needed, argumentError, &record, &place);
        if (error != ERROR_SUCCESS) {
            return fail<BOOL>(error, FALSE);
        }
        RuntimeStatus runtime = statusOf(record, place);
        *serviceStatus = runtime.status;
        if (runtime.status.dwCurrentState == SERVICE_STOPPED) {
            return fail<BOOL>(ERROR_SERVICE_NOT_ACTIVE, FALSE);
        }
        UniqueFd connection = standin::services::connectToService(place.socketName);
        struct {
            DWORD error;
            SERVICE_STATUS status;
        } reply{};
        bool timedOut = false;
        if (!connection.valid() ||
            !standin::services::sendAll(connection.get(), &standin::services::kControlRequest, 1) ||
            !standin::services::sendAll(connection.get(), &control, sizeof(control)) ||
            !standin::services::receiveAll(connection.get(), &reply, sizeof(reply),
                                           standin::services::kReplyTimeoutMs, &timedOut)) {
            // The service did not answer in time, or its process is gone.
            runtime = statusOf(record, place);
            *serviceStatus = runtime.status;
            bool gone = !timedOut && runtime.status.dwCurrentState == SERVICE_STOPPED;
            return fail<BOOL>(gone ? ERROR_SERVICE_NOT_ACTIVE : ERROR_SERVICE_REQUEST_TIMEOUT,
                              FALSE);
        }
        *serviceStatus = reply.status;
        return reply.error == ERROR_SUCCESS ? TRUE : fail<BOOL>(reply.error, FALSE);
    });
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS serviceStatus) {
    STANDIN_INJECTION_POINT("QueryServiceStatus", FALSE);
    return standin::guarded<BOOL>(FALSE, [&]() -> BOOL {
        ServiceRecord record;
        ServicePlace place;
        DWORD error = serviceOf(service, SERVICE_QUERY_STATUS,
                                serviceStatus == nullptr ? ERROR_INVALID_ADDRESS : ERROR_SUCCESS,
                                &record, &place);
        if (error != ERROR_SUCCESS) {
            return fail<BOOL>(error, FALSE);
        }
        *serviceStatus = statusOf(record, place).status;
        return TRUE;
    });
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE object) {
    STANDIN_INJECTION_POINT("CloseServiceHandle", FALSE);
    if (!ManagerHandles::instance().remove(object)) {
        return fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    }
    return TRUE;
}

}  // extern "C"
