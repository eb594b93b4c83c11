// Defaults, command-line options and their verification.
#include "native/installer/enlistor_options.h"

#include <windows.h>

#include <string_view>

#include "native/installer/console_output.h"
#include "native/installer/enlistor_platform.h"
#include "native/common/basics/owned_handles.h"

namespace brevant::installer {

namespace {

constexpr char kShowUsage[] = "Enter the option -h to display usage text.";

// A value of -s, -start or -stop: a full path as given, anything else below the
// program's folder.
std::string commandPath(const char* value) {
    if (isFullPath(value)) {
        return value;
    }
    return settings().install_dir + value;
}

struct Option {
    const char* name;
    const char* missingValue;  // the message when the option ends the command line
    std::string EnlistorSettings::*setting;
    bool isPath;
};

// In the order they are compared.
constexpr Option kOptions[] = {
    {"-n", "The -n option is missing the value <name>.", &EnlistorSettings::service_name, false},
    {"-start", "The -start option is missing the value <command>.", &EnlistorSettings::start_cmd,
     true},
    {"-stop", "The -stop option is missing the value <command>.", &EnlistorSettings::stop_cmd,
     true},
    {"-s", "The -s option is missing the value <command>.", &EnlistorSettings::service_exe, true},
};

const Option* findOption(std::string_view name) {
    for (const Option& option : kOptions) {
        if (name == option.name) {
            return &option;
        }
    }
    return nullptr;
}

void printError(std::string_view first, std::string_view second) {
    printLine();
    printLine(first);
    printLine(second);
}

}  // namespace

EnlistorSettings& settings() {
    static EnlistorSettings instance;
    return instance;
}

void DisplayHelp() {
    const std::string program = kProgramName;
    const std::string exe = kServiceProgram;
    printLine();
    printLine("Usage: " + program + " [options]");
    printLine();
    printLine("Options:");
    printLine();
    printLine("    -h                displays usage text");
    printLine("    -?                displays usage text");
    printLine("    -n     <name>     service's name          (default=Brevant)");
    printLine("    -s     <command>  service's executable    (default=" + exe + ")");
    printLine("    -start <command>  service's start command (default=" +
              std::string(kStartCommand) + ")");
    printLine("    -stop  <command>  service's stop command  (default=" +
              std::string(kStopCommand) + ")");
    printLine();
    printLine("Notes:");
    printLine("    If the service's executable, start and stop commands are not located in the");
    printLine("    same directory as " + program + " then you must specify the complete");
    printLine("    path to where they are located.");
}

bool InitOptions() {
    EnlistorSettings& s = settings();
    s.service_name = "Brevant";
    HMODULE module = GetModuleHandleA(kModuleName);
    if (module == nullptr) {
        DWORD error = GetLastError();
        printLine();
        printLine("Failed to get handle to " + std::string(kModuleName) +
                  ", error = " + std::to_string(error) + ".");
        return false;
    }
    char fileName[512];
    DWORD length = GetModuleFileNameA(module, fileName, sizeof fileName);
    // A name that filled the buffer may be cut short; its folder would be wrong.
    if (length == 0 || length >= sizeof fileName) {
        DWORD error = length == 0 ? GetLastError() : DWORD(ERROR_INSUFFICIENT_BUFFER);
        printLine();
        printLine("Failed to get path to " + std::string(kModuleName) +
                  ", error = " + std::to_string(error) + ".");
        return false;
    }
    std::string_view path(fileName, length);
    size_t separator = path.rfind(kPathSeparator);
    s.install_dir = separator == std::string_view::npos
                        ? std::string()
                        : std::string(path.substr(0, separator + 1));
    s.service_exe = s.install_dir + kServiceProgram;
    s.start_cmd = s.install_dir + kStartCommand;
    s.stop_cmd = s.install_dir + kStopCommand;
    return true;
}

bool ReadOptions(int argc, char** argv) {
    for (int i = 1; i < argc; i += 2) {
        const Option* option = findOption(argv[i]);
        if (option == nullptr) {
            printError("Received an illegal option: " + std::string(argv[i]), kShowUsage);
            return false;
        }
        if (i + 1 >= argc) {
            printError(option->missingValue, kShowUsage);
            return false;
        }
        const char* value = argv[i + 1];
        settings().*(option->setting) = option->isPath ? commandPath(value) : value;
    }
    return true;
}

bool VerifyOptions() {
    const EnlistorSettings& s = settings();
    const struct {
        const std::string& path;
        const char* missing;
    } files[] = {
        {s.service_exe, "Couldn't find the service's .exe file in location:"},
        {s.start_cmd, "Couldn't find the service's start command file in location:"},
        {s.stop_cmd, "Couldn't find the service's stop command file in location:"},
    };
    for (const auto& file : files) {
        if (!FileExists(file.path)) {
            printLine();
            printLine(file.missing);
            printLine();
            printLine("    " + file.path);
            return false;
        }
    }
    return true;
}

bool FileExists(const std::string& path) {
    FileHandle file(
        CreateFileA(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

}  // namespace brevant::installer
