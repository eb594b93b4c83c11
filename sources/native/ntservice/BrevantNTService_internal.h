// What Brevant's unit tests reach beyond BrevantNTService.h: the service's state and the
// steps its entry points take. No other code may use it.
#ifndef BREVANT_NTSERVICE_BREVANT_NT_SERVICE_INTERNAL_H
#define BREVANT_NTSERVICE_BREVANT_NT_SERVICE_INTERNAL_H

#include <windows.h>

#include <string>

// The service's name as the service control manager passed it (argv[0] of
// BrevantServiceMain); every name-dependent item is looked up under it.
extern std::string service_name;
// What is reported to the service control manager.
extern SERVICE_STATUS serviceStatus;
extern SERVICE_STATUS_HANDLE serviceStatusHandle;

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

#endif  // BREVANT_NTSERVICE_BREVANT_NT_SERVICE_INTERNAL_H
