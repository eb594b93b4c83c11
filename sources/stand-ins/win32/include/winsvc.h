// The service control subset (winsvc.h, with the service constants of winnt.h) for the
// Linux build. Included by the stand-in's windows.h, as Windows' windows.h includes it.
//
// Two sides, as on Windows:
// - a service program calls StartServiceCtrlDispatcherA from its main thread; the
//   dispatcher runs the ServiceMain on a thread of its own and calls the control handler
//   on the dispatcher's thread. A program that was not started by the service control
//   manager (here `scctl`, or StartServiceA) gets ERROR_FAILED_SERVICE_CONTROLLER_CONNECT.
// - a control program (an installer, `scctl`) opens the manager and the services in it.
//   Service records are keys of the registry stand-in under
//   HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name>, with the values Windows
//   keeps there (Type, Start, ErrorControl, ImagePath, DisplayName, ObjectName).
//
// Types, sizes and values are Windows' own. See docs/stand-ins.md and docs/scctl.md.
//
// Thread safety: as on Windows. SetServiceStatus may be called from any thread of the
// service; handles of the manager may be used from any thread.
#ifndef STANDIN_WIN32_WINSVC_H
#define STANDIN_WIN32_WINSVC_H

#include <windows.h>

// ---- service types, start types, error control (winnt.h) ---------------------------------

#define SERVICE_KERNEL_DRIVER 0x00000001
#define SERVICE_FILE_SYSTEM_DRIVER 0x00000002
#define SERVICE_ADAPTER 0x00000004
#define SERVICE_RECOGNIZER_DRIVER 0x00000008
#define SERVICE_DRIVER \
    (SERVICE_KERNEL_DRIVER | SERVICE_FILE_SYSTEM_DRIVER | SERVICE_RECOGNIZER_DRIVER)
#define SERVICE_WIN32_OWN_PROCESS 0x00000010
#define SERVICE_WIN32_SHARE_PROCESS 0x00000020
#define SERVICE_WIN32 (SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS)
#define SERVICE_INTERACTIVE_PROCESS 0x00000100
#define SERVICE_TYPE_ALL \
    (SERVICE_WIN32 | SERVICE_ADAPTER | SERVICE_DRIVER | SERVICE_INTERACTIVE_PROCESS)

#define SERVICE_BOOT_START 0x00000000
#define SERVICE_SYSTEM_START 0x00000001
#define SERVICE_AUTO_START 0x00000002
#define SERVICE_DEMAND_START 0x00000003
#define SERVICE_DISABLED 0x00000004

#define SERVICE_ERROR_IGNORE 0x00000000
#define SERVICE_ERROR_NORMAL 0x00000001
#define SERVICE_ERROR_SEVERE 0x00000002
#define SERVICE_ERROR_CRITICAL 0x00000003

// ---- winsvc.h -------------------------------------------------------------------------------

#define SERVICES_ACTIVE_DATABASEA "ServicesActive"
#define SERVICES_FAILED_DATABASEA "ServicesFailed"
#define SERVICE_NO_CHANGE 0xffffffff

#define SERVICE_CONTROL_STOP 0x00000001
#define SERVICE_CONTROL_PAUSE 0x00000002
#define SERVICE_CONTROL_CONTINUE 0x00000003
#define SERVICE_CONTROL_INTERROGATE 0x00000004
#define SERVICE_CONTROL_SHUTDOWN 0x00000005
#define SERVICE_CONTROL_PARAMCHANGE 0x00000006

#define SERVICE_STOPPED 0x00000001
#define SERVICE_START_PENDING 0x00000002
#define SERVICE_STOP_PENDING 0x00000003
#define SERVICE_RUNNING 0x00000004
#define SERVICE_CONTINUE_PENDING 0x00000005
#define SERVICE_PAUSE_PENDING 0x00000006
#define SERVICE_PAUSED 0x00000007

#define SERVICE_ACCEPT_STOP 0x00000001
#define SERVICE_ACCEPT_PAUSE_CONTINUE 0x00000002
#define SERVICE_ACCEPT_SHUTDOWN 0x00000004
#define SERVICE_ACCEPT_PARAMCHANGE 0x00000008

#define SC_MANAGER_CONNECT 0x0001
#define SC_MANAGER_CREATE_SERVICE 0x0002
#define SC_MANAGER_ENUMERATE_SERVICE 0x0004
#define SC_MANAGER_LOCK 0x0008
#define SC_MANAGER_QUERY_LOCK_STATUS 0x0010
#define SC_MANAGER_MODIFY_BOOT_CONFIG 0x0020
#define SC_MANAGER_ALL_ACCESS                                                        \
    (STANDARD_RIGHTS_REQUIRED | SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE |     \
     SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_LOCK | SC_MANAGER_QUERY_LOCK_STATUS | \
     SC_MANAGER_MODIFY_BOOT_CONFIG)

#define SERVICE_QUERY_CONFIG 0x0001
#define SERVICE_CHANGE_CONFIG 0x0002
#define SERVICE_QUERY_STATUS 0x0004
#define SERVICE_ENUMERATE_DEPENDENTS 0x0008
#define SERVICE_START 0x0010
#define SERVICE_STOP 0x0020
#define SERVICE_PAUSE_CONTINUE 0x0040
#define SERVICE_INTERROGATE 0x0080
#define SERVICE_USER_DEFINED_CONTROL 0x0100
#define SERVICE_ALL_ACCESS                                                                \
    (STANDARD_RIGHTS_REQUIRED | SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG |            \
     SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS | SERVICE_START | SERVICE_STOP | \
     SERVICE_PAUSE_CONTINUE | SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL)

typedef struct SC_HANDLE__* SC_HANDLE;
typedef SC_HANDLE* LPSC_HANDLE;
typedef struct SERVICE_STATUS_HANDLE__* SERVICE_STATUS_HANDLE;

typedef struct _SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
} SERVICE_STATUS, *LPSERVICE_STATUS;

typedef VOID(WINAPI* LPSERVICE_MAIN_FUNCTIONA)(DWORD dwNumServicesArgs, LPSTR* lpServiceArgVectors);
typedef VOID(WINAPI* LPHANDLER_FUNCTION)(DWORD dwControl);

typedef struct _SERVICE_TABLE_ENTRYA {
    LPSTR lpServiceName;
    LPSERVICE_MAIN_FUNCTIONA lpServiceProc;
} SERVICE_TABLE_ENTRYA, *LPSERVICE_TABLE_ENTRYA;

#ifdef __cplusplus
extern "C" {
#endif

// ---- the service's side -----------------------------------------------------------------

// Connects to the manager that started this process and serves it until every service of
// the table has reported SERVICE_STOPPED. Fails with ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
// when the process was not started as a service, ERROR_SERVICE_ALREADY_RUNNING when called
// a second time in a process.
STANDIN_API BOOL WINAPI StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* serviceTable);
// REQUIRES: called in the process of a running dispatcher (else ERROR_SERVICE_NOT_IN_EXE).
STANDIN_API SERVICE_STATUS_HANDLE WINAPI RegisterServiceCtrlHandlerA(LPCSTR serviceName,
                                                                     LPHANDLER_FUNCTION handler);
STANDIN_API BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE statusHandle,
                                         LPSERVICE_STATUS serviceStatus);

// ---- the manager's side -----------------------------------------------------------------

STANDIN_API SC_HANDLE WINAPI OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName,
                                            DWORD desiredAccess);
STANDIN_API SC_HANDLE WINAPI OpenServiceA(SC_HANDLE manager, LPCSTR serviceName,
                                          DWORD desiredAccess);
STANDIN_API SC_HANDLE WINAPI CreateServiceA(SC_HANDLE manager, LPCSTR serviceName,
                                            LPCSTR displayName, DWORD desiredAccess,
                                            DWORD serviceType, DWORD startType, DWORD errorControl,
                                            LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                                            LPDWORD tagId, LPCSTR dependencies,
                                            LPCSTR serviceStartName, LPCSTR password);
STANDIN_API BOOL WINAPI DeleteService(SC_HANDLE service);
STANDIN_API BOOL WINAPI StartServiceA(SC_HANDLE service, DWORD numServiceArgs,
                                      LPCSTR* serviceArgVectors);
STANDIN_API BOOL WINAPI ControlService(SC_HANDLE service, DWORD control,
                                       LPSERVICE_STATUS serviceStatus);
STANDIN_API BOOL WINAPI QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS serviceStatus);
STANDIN_API BOOL WINAPI CloseServiceHandle(SC_HANDLE object);

#ifdef __cplusplus
}
#endif

#endif  // STANDIN_WIN32_WINSVC_H
