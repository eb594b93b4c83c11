// Enlistor: creates the service that runs Brevant and records its start and stop commands.
// It only creates; a service name already in use is left alone.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "native/installer/console_output.h"
#include "native/installer/enlistor_options.h"
#include "native/common/basics/owned_handles.h"
#include "native/installer/registry_entries.h"

namespace brevant::installer {

namespace {

// The service control manager tries the blank-separated beginnings of an unquoted path
// first, so "C:\Program Files\x.exe" would run a planted C:\Program.exe.
std::string quotedWhenBlank(const std::string& path) {
    if (path.find(' ') == std::string::npos) {
        return path;
    }
    return "\"" + path + "\"";
}

void printFailure(std::string_view text, DWORD error) {
    printLine(std::string(text) + std::to_string(error));
}

// The service exists already, or its name cannot be checked: either way it is not touched.
bool serviceNameTaken(SC_HANDLE manager, const std::string& name) {
    ServiceHandle service(OpenServiceA(manager, name.c_str(), READ_CONTROL));
    return service || GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
}

bool createService(SC_HANDLE manager) {
    const EnlistorSettings& s = settings();
    const std::string programPath = quotedWhenBlank(s.service_exe);
    ServiceHandle service(
        CreateServiceA(manager, s.service_name.c_str(), s.service_name.c_str(), SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                       programPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service) {
        DWORD error = GetLastError();  // before the message's allocations
        printFailure("Failed to create the service(" + s.service_name + "), error = ", error);
        return false;
    }
    return true;
}

}  // namespace

}  // namespace brevant::installer

int main(int argc, char** argv) {
    using namespace brevant::installer;
    if (argc == 2 && (std::string_view(argv[1]) == "-h" || std::string_view(argv[1]) == "-?")) {
        DisplayHelp();
        return EXIT_SUCCESS;
    }
    if (!InitOptions() || !ReadOptions(argc, argv) || !VerifyOptions()) {
        return EXIT_FAILURE;
    }
    brevant::ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        printFailure("Failed to open Service Control Manager, error = ", GetLastError());
        return EXIT_FAILURE;
    }
    const EnlistorSettings& s = settings();
    if (serviceNameTaken(manager.get(), s.service_name)) {
        printLine("The service(" + s.service_name + ") already exists!!!");
        return EXIT_FAILURE;
    }
    if (!createService(manager.get()) || !CreateRegistryEntries()) {
        return EXIT_FAILURE;
    }
    printLine("Successfully created the service(" + s.service_name + ") with the values: ");
    printLine("    name  = " + s.service_name);
    printLine("    exe   = " + s.service_exe);
    printLine("    start = " + s.start_cmd);
    printLine("    stop  = " + s.stop_cmd);
    return EXIT_SUCCESS;
}
