// Windows command lines on Linux: how a Windows program sees its arguments, and how the
// service control manager reads an ImagePath. Windows hands a child one command line, not
// an argument vector; the C runtime of the child splits it. The stand-in joins and splits
// the same way, so that an argument with a blank that the caller forgot to quote comes out
// split here as it does there.
//
// Stateless; any thread may call.
#ifndef STANDIN_WIN32_PROCESSES_COMMAND_LINE_H
#define STANDIN_WIN32_PROCESSES_COMMAND_LINE_H

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace standin::processes {

// The arguments joined with single blanks, unquoted, as _spawnv builds a command line.
std::string joinArguments(const char* const* arguments);

// The argument vector the C runtime makes of a command line: the program name up to the
// first blank or, when it begins with a quote, up to the next quote; then arguments
// separated by blanks and tabs, where quotes group, 2n backslashes before a quote give n
// and 2n+1 give n and a literal quote, and "" inside quotes is a literal quote.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// %NAME% replaced by the environment variable NAME where it is set, as
// ExpandEnvironmentStrings does for a REG_EXPAND_SZ value; anything else is kept.
std::string expandEnvironmentStrings(std::string_view text);

// The program file that the service control manager runs for an ImagePath (already
// expanded), as CreateProcess finds it in a command line without an application name: a
// quoted path is taken up to its closing quote; an unquoted one is tried at each blank in
// turn, shortest first, and the first prefix naming an executable file wins (so an
// unquoted "/opt/Brevant ISAPI/bin/Brevant" runs "/opt/Brevant" when that exists, as
// Windows runs C:\Program.exe). ERROR_FILE_NOT_FOUND when nothing can be run.
DWORD findImageProgram(std::string_view imagePath, std::string* program);

}  // namespace standin::processes

#endif  // STANDIN_WIN32_PROCESSES_COMMAND_LINE_H
