// The Parameters key of the created service.
#include "native/installer/registry_entries.h"

#include <windows.h>

#include <string>

#include "native/installer/console_output.h"
#include "native/installer/enlistor_options.h"
#include "native/common/basics/owned_handles.h"

namespace brevant::installer {

namespace {

// A REG_SZ value with its terminating zero, as the service reads it.
bool setText(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD(text.size() + 1)) == ERROR_SUCCESS;
}

}  // namespace

bool CreateRegistryEntries() {
    const EnlistorSettings& s = settings();
    const std::string path =
        "SYSTEM\\CurrentControlSet\\Services\\" + s.service_name + "\\Parameters";
    RegistryKeyHandle key;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, key.receive(), &disposition) != ERROR_SUCCESS) {
        printLine();
        printLine("Failed to create Parameters registry key.");
        return false;
    }
    if (!setText(key.get(), "Start", s.start_cmd)) {
        printLine();
        printLine("Failed to set ParametersStart registry value.");
        return false;
    }
    if (!setText(key.get(), "Stop", s.stop_cmd)) {
        printLine();
        printLine("Failed to set ParametersStop registry value.");
        return false;
    }
    return true;
}

}  // namespace brevant::installer
