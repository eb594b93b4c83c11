// Brevant, the NT service (SERVICE_WIN32_OWN_PROCESS) that lets the service control manager
// start and stop the servlet engine's stand-alone server. The service's registry
// parameters, HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name>\Parameters,
// name a start command, run without waiting when the service starts, and a stop command,
// waited for when it stops, whose exit code says whether the server stopped.
//
// Threads: `main` and BrevantServiceCtrlHandler run on the dispatcher's thread,
// BrevantServiceMain on the service thread the dispatcher starts. Both write
// `serviceStatus` without a lock: the handler is called only after
// BrevantServiceMain registered it, and runs the stop command to its end before the next
// control is handled. Everything is written to the debugger output; nothing to a console.
//
// Declared here for the unit tests, which call the functions and look at the state.
#ifndef BREVANT_NTSERVICE_BREVANT_NT_SERVICE_H
#define BREVANT_NTSERVICE_BREVANT_NT_SERVICE_H

#include <windows.h>

#include <string>

// The service's name as the service control manager passed it (argv[0] of
// BrevantServiceMain); every name-dependent item is looked up under it.
extern std::string service_name;
// What is reported to the service control manager.
extern SERVICE_STATUS serviceStatus;
extern SERVICE_STATUS_HANDLE serviceStatusHandle;

VOID WINAPI BrevantServiceMain(DWORD argc, char** argv);
VOID WINAPI BrevantServiceCtrlHandler(DWORD control);

// Runs the "Start" command without waiting for it; true when it was started. On failure
// the exit codes in serviceStatus say why.
bool StartBrevant();
// Runs the "Stop" command and waits for it; true when the service may be reported stopped.
// On failure the exit codes in serviceStatus say why.
bool StopBrevant();

// Formats `format` with `value` (a "%ld" conversion takes it as LONG, any other as int)
// and writes it to the debugger output; a format of 1000 characters or more is dropped.
// REQUIRES: `format` is one of the program's fixed messages, never data.
void ServiceDebugOut(const char* format, DWORD value);

// What the exit code of the stop command means (the table StopBrevant follows).
struct StopOutcome {
    const char* message;  // nullptr: nothing is written
    bool stopped;         // false: the service stays running with 1066 and the exit code
};
StopOutcome StopOutcomeFor(int exitCode);

#endif  // BREVANT_NTSERVICE_BREVANT_NT_SERVICE_H
