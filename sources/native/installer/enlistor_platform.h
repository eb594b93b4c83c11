// The differences between the Windows and the Linux build of Enlistor, and nowhere else:
// the default file names beside the program and what makes a command-line value a full
// path. Constants only; any thread may read them.
#ifndef BREVANT_INSTALLER_ENLISTOR_PLATFORM_H
#define BREVANT_INSTALLER_ENLISTOR_PLATFORM_H

#include <string_view>

#include "native/common/basics/path_separator.h"

namespace brevant::installer {

// The program looks itself up under this name on both platforms (the stand-in answers to
// it on Linux), and the messages name it so.
constexpr char kModuleName[] = "Enlistor.exe";
constexpr char kProgramName[] = "Enlistor";

#ifdef _WIN32
constexpr char kServiceProgram[] = "Brevant.exe";
constexpr char kStartCommand[] = "StartBrevant.bat";
constexpr char kStopCommand[] = "StopBrevant.bat";

// A drive letter and ":"; a value beginning with "\\" (a share) is still relative.
constexpr bool isFullPath(std::string_view value) {
    return value.size() > 1 && value[1] == ':';
}
#else
constexpr char kServiceProgram[] = "Brevant";
constexpr char kStartCommand[] = "StartBrevant.sh";
constexpr char kStopCommand[] = "StopBrevant.sh";

constexpr bool isFullPath(std::string_view value) {
    return !value.empty() && value[0] == '/';
}
#endif

}  // namespace brevant::installer

#endif  // BREVANT_INSTALLER_ENLISTOR_PLATFORM_H
