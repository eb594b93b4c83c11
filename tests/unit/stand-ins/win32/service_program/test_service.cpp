// The service of services_test.cpp: `test_service RECORD-FILE [MODE]` appends a line to
// RECORD-FILE for main's and ServiceMain's arguments, each control, a failed dispatcher
// and main's return. MODE exit-at-once skips the dispatcher; die-when-running ends the
// process once it reports running.
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace {

const char* recordFile = "/dev/null";
const char* mode = "";
SERVICE_STATUS_HANDLE handle = nullptr;
SERVICE_STATUS status = {};

void record(const std::string& line) {
    FILE* file = fopen(recordFile, "a");
    if (file != nullptr) {
        fprintf(file, "%s\n", line.c_str());
        fclose(file);
    }
}

std::string listOf(int count, char** values) {
    std::string line = std::to_string(count) + ":";
    for (int i = 0; i < count; ++i) {
        line += (i == 0 ? " " : "|") + std::string(values[i] != nullptr ? values[i] : "(null)");
    }
    return line;
}

VOID WINAPI handler(DWORD control) {
    record("control " + std::to_string(control));
    if (control == SERVICE_CONTROL_STOP) {
        status.dwCurrentState = SERVICE_STOP_PENDING;
        SetServiceStatus(handle, &status);
        status.dwCurrentState = SERVICE_STOPPED;
    }
    SetServiceStatus(handle, &status);
}

VOID WINAPI serviceMain(DWORD argc, char** argv) {
    record("service " + listOf(int(argc), argv));
    handle = RegisterServiceCtrlHandlerA(argv[0], handler);
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = SERVICE_RUNNING;
    status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    SetServiceStatus(handle, &status);
    if (strcmp(mode, "die-when-running") == 0) {
        _exit(3);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        recordFile = argv[1];
    }
    if (argc > 2) {
        mode = argv[2];
    }
    record("argv " + listOf(argc, argv));
    if (strcmp(mode, "exit-at-once") != 0) {
        static char name[] = "TestService";
        SERVICE_TABLE_ENTRYA table[] = {{name, serviceMain}, {nullptr, nullptr}};
        if (!StartServiceCtrlDispatcherA(table)) {
            record("dispatcher " + std::to_string(GetLastError()));
        }
    }
    record("main returns");
    return 0;
}
