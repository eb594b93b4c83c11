#include "stand-ins/scm/service_report.h"

#include <cstdio>

namespace scctl {

namespace {

const char* typeName(DWORD type) {
    switch (type & ~DWORD(SERVICE_INTERACTIVE_PROCESS)) {
        case SERVICE_KERNEL_DRIVER:
            return "KERNEL_DRIVER";
        case SERVICE_FILE_SYSTEM_DRIVER:
            return "FILE_SYSTEM_DRIVER";
        case SERVICE_WIN32_OWN_PROCESS:
            return "WIN32_OWN_PROCESS";
        case SERVICE_WIN32_SHARE_PROCESS:
            return "WIN32_SHARE_PROCESS";
        default:
            return "";
    }
}

const char* stateName(DWORD state) {
    static const char* const names[] = {
        "",        "STOPPED",          "START_PENDING", "STOP_PENDING",
        "RUNNING", "CONTINUE_PENDING", "PAUSE_PENDING", "PAUSED"};
    return state < sizeof(names) / sizeof(names[0]) ? names[state] : "";
}

const char* errorText(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
            return "The system cannot find the file specified.";
        case ERROR_ACCESS_DENIED:
            return "Access is denied.";
        case ERROR_INVALID_NAME:
            return "The filename, directory name, or volume label syntax is incorrect.";
        case ERROR_INVALID_PARAMETER:
            return "The parameter is incorrect.";
        case ERROR_INVALID_SERVICE_CONTROL:
            return "The requested control is not valid for this service.";
        case ERROR_SERVICE_REQUEST_TIMEOUT:
            return "The service did not respond to the start or control request in a timely "
                   "fashion.";
        case ERROR_SERVICE_ALREADY_RUNNING:
            return "An instance of the service is already running.";
        case ERROR_SERVICE_DISABLED:
            return "The service cannot be started, either because it is disabled or because "
                   "it has no enabled devices associated with it.";
        case ERROR_SERVICE_DOES_NOT_EXIST:
            return "The specified service does not exist as an installed service.";
        case ERROR_SERVICE_CANNOT_ACCEPT_CTRL:
            return "The service cannot accept control messages at this time.";
        case ERROR_SERVICE_NOT_ACTIVE:
            return "The service has not been started.";
        case ERROR_SERVICE_SPECIFIC_ERROR:
            return "The service has returned a service-specific error code.";
        case ERROR_PROCESS_ABORTED:
            return "The process terminated unexpectedly.";
        case ERROR_SERVICE_MARKED_FOR_DELETE:
            return "The specified service has been marked for deletion.";
        case ERROR_SERVICE_EXISTS:
            return "The specified service already exists.";
        case ERROR_DUPLICATE_SERVICE_NAME:
            return "The name is already in use as either a service name or a service display "
                   "name.";
        default:
            return "";
    }
}

}  // namespace

std::string formatStatus(const std::string& name, const SERVICE_STATUS& status) {
    char block[1024];
    DWORD accepted = status.dwControlsAccepted;
    std::snprintf(block, sizeof(block),
                  "SERVICE_NAME: %s\n"
                  "        TYPE               : %x  %s\n"
                  "        STATE              : %u  %s\n"
                  "                                (%s, %s, %s)\n"
                  "        WIN32_EXIT_CODE    : %u  (0x%x)\n"
                  "        SERVICE_EXIT_CODE  : %u  (0x%x)\n"
                  "        CHECKPOINT         : 0x%x\n"
                  "        WAIT_HINT          : 0x%x\n",
                  name.c_str(), status.dwServiceType, typeName(status.dwServiceType),
                  status.dwCurrentState, stateName(status.dwCurrentState),
                  (accepted & SERVICE_ACCEPT_STOP) ? "STOPPABLE" : "NOT_STOPPABLE",
                  (accepted & SERVICE_ACCEPT_PAUSE_CONTINUE) ? "PAUSABLE" : "NOT_PAUSABLE",
                  (accepted & SERVICE_ACCEPT_SHUTDOWN) ? "ACCEPTS_SHUTDOWN" : "IGNORES_SHUTDOWN",
                  status.dwWin32ExitCode, status.dwWin32ExitCode, status.dwServiceSpecificExitCode,
                  status.dwServiceSpecificExitCode, status.dwCheckPoint, status.dwWaitHint);
    return block;
}

std::string formatFailure(const char* function, DWORD error) {
    char text[512];
    std::snprintf(text, sizeof(text), "%s FAILED %u:\n\n%s\n", function, error, errorText(error));
    return text;
}

}  // namespace scctl
