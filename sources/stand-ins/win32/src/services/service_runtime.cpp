#include "stand-ins/win32/src/services/service_runtime.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "stand-ins/win32/src/internal.h"
#include "native/common/basics/ascii_text.h"
#include "stand-ins/win32/src/shared_text_file.h"

namespace standin::services {

namespace {

uint64_t fnv1a(std::string_view text) {
    uint64_t hash = 1469598103934665603ull;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

sockaddr_un abstractAddress(const std::string& name, socklen_t* length) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    size_t size = std::min(name.size(), sizeof(address.sun_path) - 1);
    std::memcpy(address.sun_path + 1, name.data(), size);  // sun_path[0] = 0: abstract
    *length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size);
    return address;
}

bool parseField(const std::string& text, const char* name, DWORD* value) {
    std::string key = std::string("\n") + name + "=";
    size_t at = ("\n" + text).find(key);
    if (at == std::string::npos) {
        return false;
    }
    *value = DWORD(std::strtoul(text.c_str() + at + key.size() - 1, nullptr, 10));
    return true;
}

// The status file's content; false when there is none (or it cannot be read).
bool readStatusFile(const std::string& path, RuntimeStatus* runtime) {
    UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) {
        return false;
    }
    std::string text;
    char buffer[512];
    ssize_t got;
    while ((got = read(file.get(), buffer, sizeof(buffer))) > 0) {
        text.append(buffer, size_t(got));
    }
    SERVICE_STATUS& status = runtime->status;
    bool complete =
        parseField(text, "ServiceType", &status.dwServiceType) &&
        parseField(text, "CurrentState", &status.dwCurrentState) &&
        parseField(text, "ControlsAccepted", &status.dwControlsAccepted) &&
        parseField(text, "Win32ExitCode", &status.dwWin32ExitCode) &&
        parseField(text, "ServiceSpecificExitCode", &status.dwServiceSpecificExitCode) &&
        parseField(text, "CheckPoint", &status.dwCheckPoint) &&
        parseField(text, "WaitHint", &status.dwWaitHint) &&
        parseField(text, "ProcessId", &runtime->processId);
    return complete;
}

}  // namespace

std::optional<ServicePlace> placeOf(std::string_view name) {
    std::optional<std::string> registry = fileNamedBy("STANDIN_REGISTRY");
    if (!registry) {
        return std::nullopt;
    }
    ServicePlace place;
    place.statusPath = *registry + ".scm/" + brevant::ascii::lowerCase(name) + ".status";
    // The same registry file reached by another spelling of its path gets the same name.
    char* real = realpath(registry->c_str(), nullptr);
    std::string canonical = real != nullptr ? std::string(real) : *registry;
    std::free(real);
    char text[64];
    std::snprintf(text, sizeof(text), "standin-scm-%016" PRIx64 "-%016" PRIx64, fnv1a(canonical),
                  fnv1a(brevant::ascii::lowerCase(name)));
    place.socketName = text;
    return place;
}

RuntimeStatus neverStarted(DWORD serviceType) {
    RuntimeStatus runtime;
    runtime.status.dwServiceType = serviceType;
    runtime.status.dwCurrentState = SERVICE_STOPPED;
    return runtime;
}

DWORD writeStatusFile(const std::string& path, const RuntimeStatus& runtime) {
    std::string folder = path.substr(0, path.rfind('/'));
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        return win32ErrorFromErrno(errno);
    }
    const SERVICE_STATUS& status = runtime.status;
    char text[512];
    int length =
        std::snprintf(text, sizeof(text),
                      "ServiceType=%u\nCurrentState=%u\nControlsAccepted=%u\nWin32ExitCode=%u\n"
                      "ServiceSpecificExitCode=%u\nCheckPoint=%u\nWaitHint=%u\nProcessId=%u\n",
                      status.dwServiceType, status.dwCurrentState, status.dwControlsAccepted,
                      status.dwWin32ExitCode, status.dwServiceSpecificExitCode, status.dwCheckPoint,
                      status.dwWaitHint, runtime.processId);
    char suffix[64];
    std::snprintf(suffix, sizeof(suffix), ".%d.%p.tmp", int(getpid()), static_cast<void*>(&suffix));
    std::string temporary = path + suffix;
    UniqueFd file(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file.valid()) {
        return win32ErrorFromErrno(errno);
    }
    bool written = write(file.get(), text, size_t(length)) == length;
    file.reset();
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        DWORD error = win32ErrorFromErrno(written ? errno : ENOSPC);
        unlink(temporary.c_str());
        return error;
    }
    return ERROR_SUCCESS;
}

void removeStatusFile(const std::string& path) {
    unlink(path.c_str());
}

RuntimeStatus currentStatus(const ServicePlace& place, DWORD serviceType) {
    RuntimeStatus runtime;
    if (!readStatusFile(place.statusPath, &runtime)) {
        return neverStarted(serviceType);
    }
    if (runtime.status.dwCurrentState == SERVICE_STOPPED) {
        return runtime;
    }
    if (connectToService(place.socketName).valid()) {
        return runtime;
    }
    // The dispatcher writes its last status before it stops listening: read again.
    if (!readStatusFile(place.statusPath, &runtime)) {
        return neverStarted(serviceType);
    }
    if (runtime.status.dwCurrentState == SERVICE_STOPPED) {
        return runtime;
    }
    runtime.status.dwCurrentState = SERVICE_STOPPED;
    runtime.status.dwControlsAccepted = 0;
    runtime.status.dwWin32ExitCode = ERROR_PROCESS_ABORTED;
    runtime.status.dwServiceSpecificExitCode = 0;
    runtime.status.dwCheckPoint = 0;
    runtime.status.dwWaitHint = 0;
    runtime.processId = 0;
    writeStatusFile(place.statusPath, runtime);
    return runtime;
}

UniqueFd connectToService(const std::string& socketName) {
    UniqueFd connection(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!connection.valid()) {
        return connection;
    }
    socklen_t length = 0;
    sockaddr_un address = abstractAddress(socketName, &length);
    int result;
    do {
        result = connect(connection.get(), reinterpret_cast<sockaddr*>(&address), length);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        connection.reset();
    }
    return connection;
}

UniqueFd listenForService(const std::string& socketName, int* error) {
    UniqueFd listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    socklen_t length = 0;
    sockaddr_un address = abstractAddress(socketName, &length);
    if (!listener.valid() ||
        bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener.get(), 16) != 0) {
        *error = errno;
        listener.reset();
    }
    return listener;
}

}  // namespace standin::services
