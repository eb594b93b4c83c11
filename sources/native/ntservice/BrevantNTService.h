// Brevant, the NT service (SERVICE_WIN32_OWN_PROCESS) that lets the service control manager
// start and stop the servlet engine's stand-alone server. The service's registry
// parameters, HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name>\Parameters,
// name a start command, run without waiting when the service starts, and a stop command,
// waited for when it stops, whose exit code says whether the server stopped.
//
// Threads: `main` and BrevantServiceCtrlHandler run on the dispatcher's thread,
// BrevantServiceMain on the service thread the dispatcher starts. Both write the reported
// status without a lock: the handler is called only after BrevantServiceMain registered it,
// and runs the stop command to its end before the next control is handled. Everything is
// written to the debugger output; nothing to a console.
#ifndef BREVANT_NTSERVICE_BREVANT_NT_SERVICE_H
#define BREVANT_NTSERVICE_BREVANT_NT_SERVICE_H

#include <windows.h>

// The service's main function and control handler, as `main` hands them to the dispatcher.
VOID WINAPI BrevantServiceMain(DWORD argc, char** argv);
VOID WINAPI BrevantServiceCtrlHandler(DWORD control);

#endif  // BREVANT_NTSERVICE_BREVANT_NT_SERVICE_H
