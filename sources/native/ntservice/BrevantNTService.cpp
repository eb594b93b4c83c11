// Brevant: main, the service's main function and control handler, and the start and stop
// commands they run. See BrevantNTService.h and, for the steps, BrevantNTService_internal.h.
//
// Beyond the plain reading: "Start" and "Stop" are read into a buffer one byte longer than the
// value and terminated there, whatever the value's registry type; a command holding a blank is
// quoted in the command line that runs it (the runtime's spawn functions join arguments
// unquoted, and a command file runs through the command interpreter, which would split
// "C:\Brevant ISAPI\StartBrevant.bat" at the blank); the service name and the commands are
// written to the debugger output as they are, never taken as a format.
#include "native/ntservice/BrevantNTService.h"

#include <process.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "native/ntservice/BrevantNTService_internal.h"
#include "native/ntservice/ntservice_platform.h"

std::string service_name;
SERVICE_STATUS serviceStatus = {};
SERVICE_STATUS_HANDLE serviceStatusHandle = nullptr;

namespace {

constexpr size_t kLongestFormat = 1000;
constexpr size_t kMessageBuffer = 1024;

// The service-specific exit code of a start command that could not be started.
constexpr LONG kStartFailed = -10;

// The registry value that holds a command, with the message of its read failing.
struct CommandValue {
    const char* name;
    const char* failureMessage;
};
constexpr CommandValue kStartValue = {"Start",
                                      "[BREVANT] Failed to get ParametersStart registry value \n"};
constexpr CommandValue kStopValue = {"Stop",
                                     "[BREVANT] Failed to get ParametersStop registry value \n"};

// A message that carries data: written whole, the data as it is.
void DebugOutText(const char* before, const std::string& data, const char* after) {
    std::string text = before;
    text += data;
    text += after;
    OutputDebugStringA(text.c_str());
}

void ReportStatus() {
    if (!SetServiceStatus(serviceStatusHandle, &serviceStatus)) {
        ServiceDebugOut("[BREVANT] SetServiceStatus error %ld \n", GetLastError());
    }
}

// Reads one command of the Parameters key into *command. On failure writes why, puts the
// registry's error code into the Win32 exit code and returns false.
bool ReadCommand(const CommandValue& value, std::string* command) {
    std::string subkey = "SYSTEM\\CurrentControlSet\\Services\\";
    subkey += service_name;
    subkey += "\\Parameters";
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) {
        ServiceDebugOut("[BREVANT] Failed to open Parameters registry key \n", 0);
        serviceStatus.dwWin32ExitCode = DWORD(status);
        return false;
    }
    DWORD size = 0;
    status = RegQueryValueExA(key, value.name, nullptr, nullptr, nullptr, &size);
    std::vector<char> buffer;
    if (status == ERROR_SUCCESS) {
        // One byte more than the value, always zero: a value stored without its terminator,
        // or not as a string at all, still ends here.
        buffer.assign(size_t(size) + 1, '\0');
        status = RegQueryValueExA(key, value.name, nullptr, nullptr,
                                  reinterpret_cast<LPBYTE>(buffer.data()), &size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        ServiceDebugOut(value.failureMessage, 0);
        serviceStatus.dwWin32ExitCode = DWORD(status);
        return false;
    }
    command->assign(buffer.data());
    return true;
}

// The command as the first (and only) argument of the command line that runs it.
std::string CommandLineArgument(const std::string& command) {
    if (command.find_first_of(" \t") == std::string::npos) {
        return command;
    }
    return "\"" + command + "\"";
}

}  // namespace

void ServiceDebugOut(const char* format, DWORD value) {
    if (strlen(format) >= kLongestFormat) {
        return;
    }
    char buffer[kMessageBuffer];
    // `long` has 64 bits on Linux: a "%ld" gets a long, anything else an int.
    if (strstr(format, "%l") != nullptr) {
        snprintf(buffer, sizeof(buffer), format, long(LONG(value)));
    } else {
        snprintf(buffer, sizeof(buffer), format, int(value));
    }
    OutputDebugStringA(buffer);
}

int main() {
    ServiceDebugOut("[BREVANT] Entering main... \n", 0);
    // The service control manager ignores the name for a service of its own process.
    static char ignoredName[] = "IGNORED";
    SERVICE_TABLE_ENTRYA table[] = {{ignoredName, BrevantServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherA(table)) {
        // Started from a command prompt rather than by the service control manager.
        ServiceDebugOut("[BREVANT] StartServiceCtrlDispatcher error = %d \n", GetLastError());
    }
    ServiceDebugOut("[BREVANT] Returning from main \n", 0);
    return 0;
}

VOID WINAPI BrevantServiceMain(DWORD argc, char** argv) {
    try {
        ServiceDebugOut("[BREVANT] Entering BrevantServiceMain... \n", 0);
        if (argc == 0 || argv == nullptr || argv[0] == nullptr) {
            ServiceDebugOut("[BREVANT] BrevantServiceMain failed to get service's name \n", 0);
            return;
        }
        // A copy: the service control manager may free its arguments once this returns
        // (Wine does), and the stop request still needs the name.
        service_name = argv[0];
        serviceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        serviceStatus.dwCurrentState = SERVICE_START_PENDING;
        serviceStatus.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
        serviceStatus.dwWin32ExitCode = 0;
        serviceStatus.dwServiceSpecificExitCode = 0;
        serviceStatus.dwCheckPoint = 0;
        serviceStatus.dwWaitHint = 0;

        serviceStatusHandle =
            RegisterServiceCtrlHandlerA(service_name.c_str(), BrevantServiceCtrlHandler);
        if (serviceStatusHandle == nullptr) {
            ServiceDebugOut("[BREVANT] RegisterServiceCtrlHandler failed %d \n", GetLastError());
            return;
        }
        // Not reported as start-pending first: starting takes no time worth announcing.
        StartBrevant();
        bool started =
            serviceStatus.dwWin32ExitCode == 0 && serviceStatus.dwServiceSpecificExitCode == 0;
        serviceStatus.dwCurrentState = started ? SERVICE_RUNNING : SERVICE_STOPPED;
        ReportStatus();
        ServiceDebugOut("[BREVANT] Returning from BrevantServiceMain \n", 0);
    } catch (...) {
        // Called by the dispatcher: nothing may escape. Only allocation can throw here.
    }
}

VOID WINAPI BrevantServiceCtrlHandler(DWORD control) {
    try {
        ServiceDebugOut("[BREVANT] Entering BrevantServiceCtrlHandler... \n", control);
        switch (control) {
            case SERVICE_CONTROL_STOP:
            case SERVICE_CONTROL_SHUTDOWN:
                serviceStatus.dwWin32ExitCode = 0;
                serviceStatus.dwCurrentState = SERVICE_STOP_PENDING;
                serviceStatus.dwCheckPoint = 0;
                serviceStatus.dwWaitHint = 0;
                ReportStatus();
                serviceStatus.dwCurrentState = StopBrevant() ? SERVICE_STOPPED : SERVICE_RUNNING;
                break;
            case SERVICE_CONTROL_PAUSE:
            case SERVICE_CONTROL_CONTINUE:
                serviceStatus.dwCurrentState = SERVICE_RUNNING;  // the server is not touched
                break;
            case SERVICE_CONTROL_INTERROGATE:
                break;
            default:
                ServiceDebugOut("[BREVANT] Unrecognized event %ld \n", control);
                break;
        }
        ReportStatus();
        ServiceDebugOut("[BREVANT] Returning from BrevantServiceCtrlHandler \n", 0);
    } catch (...) {
        // Called by the dispatcher: nothing may escape. Only allocation can throw here.
    }
}

bool StartBrevant() {
    DebugOutText("[BREVANT] Starting ", service_name, "... \n");
    std::string command;
    if (!ReadCommand(kStartValue, &command)) {
        return false;
    }
    DebugOutText("[BREVANT] Spawning ", command, "... \n");
    std::string argument = CommandLineArgument(command);
    // Not waited for: the server runs on its own, unwatched.
    if (_spawnl(_P_NOWAIT, command.c_str(), argument.c_str(), static_cast<const char*>(nullptr)) ==
        -1) {
        ServiceDebugOut("[BREVANT] Failed to spawn service command \n", 0);
        serviceStatus.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        serviceStatus.dwServiceSpecificExitCode = DWORD(kStartFailed);
        return false;
    }
    DebugOutText("[BREVANT] Spawned ", command, " \n");
    DebugOutText("[BREVANT] Started ", service_name, " \n");
    return true;
}

bool StopBrevant() {
    DebugOutText("[BREVANT] Stopping ", service_name, "... \n");
    std::string command;
    if (!ReadCommand(kStopValue, &command)) {
        return false;
    }
    DebugOutText("[BREVANT] Spawning ", command, "... \n");
    std::string argument = CommandLineArgument(command);
    // -1 both when the command could not be run and when it exited with -1.
    int exitCode = brevant::ntservice::CommandExitCode(
        _spawnl(_P_WAIT, command.c_str(), argument.c_str(), static_cast<const char*>(nullptr)));
    DebugOutText("[BREVANT] Spawned ", command, " \n");

    StopOutcome outcome = StopOutcomeFor(exitCode);
    if (outcome.message != nullptr) {
        ServiceDebugOut(outcome.message, 0);
    }
    if (!outcome.stopped) {
        serviceStatus.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        serviceStatus.dwServiceSpecificExitCode = DWORD(exitCode);
        return false;
    }
    DebugOutText("[BREVANT] Stopped ", service_name, " \n");
    return true;
}

StopOutcome StopOutcomeFor(int exitCode) {
    // The exit codes of the stop client. No response and an i/o error mean the server is
    // going away; the others mean it was not reached or would not listen.
    switch (exitCode) {
        case 0:
            return {nullptr, true};
        case -1:
            return {"[BREVANT] Failed to get local host \n", false};
        case -2:
            return {"[BREVANT] Failed to get port number \n", false};
        case -3:
            return {"[BREVANT] Didn't receive a response from Brevant \n", true};
        case -4:
            return {"[BREVANT] Invalid admin username and password \n", false};
        case -5:
            return {"[BREVANT] Failed to connect to Brevant \n", false};
        case -6:
            return {"[BREVANT] Received unexpected response code \n", false};
        case -7:
            return {"[BREVANT] Received an i/o exception \n", true};
        case -8:
            return {"[BREVANT] Can't stop Brevant with -help option \n", false};
        case -9:
            return {"[BREVANT] Bad options were passed to StopBrevant \n", false};
        default:
            return {nullptr, true};
    }
}
