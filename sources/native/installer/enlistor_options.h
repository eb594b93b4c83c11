// Enlistor's settings: the defaults beside the program file, the command-line options over
// them, and the check that the three files they name exist. The settings are process-wide,
// filled once by main's one thread before anything reads them.
#ifndef BREVANT_INSTALLER_ENLISTOR_OPTIONS_H
#define BREVANT_INSTALLER_ENLISTOR_OPTIONS_H

#include <string>

namespace brevant::installer {

struct EnlistorSettings {
    std::string service_name;
    std::string install_dir;  // the program's folder, ending with the path separator
    std::string service_exe;
    std::string start_cmd;
    std::string stop_cmd;
};

// The process-wide settings.
EnlistorSettings& settings();

// Prints the usage text.
void DisplayHelp();

// The defaults: the service name and the three files in the program's folder. False, after
// its message, when the program cannot find its own file.
bool InitOptions();

// The options over the defaults. REQUIRES: InitOptions succeeded. False, after its
// message, on an option without its value or an unknown option.
bool ReadOptions(int argc, char** argv);

// True when the service's program and both command files exist; otherwise prints which
// one is missing, and where, and answers false.
bool VerifyOptions();

// True when `path` names a file that can be opened.
bool FileExists(const std::string& path);

}  // namespace brevant::installer

#endif  // BREVANT_INSTALLER_ENLISTOR_OPTIONS_H
