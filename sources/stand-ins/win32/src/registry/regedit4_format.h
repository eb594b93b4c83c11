// Conversion between the registry tree and REGEDIT4 text, the format of the file named by
// STANDIN_REGISTRY. Stateless; any thread may call, each on a tree of its own.
//
// The writer puts every key in a section of its own, in enumeration order, so that empty
// keys survive, and chooses for each value the form that gives back its bytes exactly:
// "quoted" only for a string of printable characters with one terminating zero, dword:
// only for 4 bytes, hex(N): for everything else. The reader also accepts what people
// write by hand: CR LF line ends, blank lines, ';' comments, blanks around '=', values
// continued on the next line after a trailing backslash.
#ifndef STANDIN_WIN32_REGISTRY_REGEDIT4_FORMAT_H
#define STANDIN_WIN32_REGISTRY_REGEDIT4_FORMAT_H

#include <string>
#include <string_view>

#include "stand-ins/win32/src/registry/registry_tree.h"

namespace standin::registry {

std::string formatRegedit4(const RegistryKey& root);

// A line that cannot be understood is skipped, so a damaged file loses only that line.
// Sections of other roots than HKEY_LOCAL_MACHINE, and deletions ([-key], "name"=-), are
// skipped as well.
RegistryKey parseRegedit4(std::string_view text);

}  // namespace standin::registry

#endif  // STANDIN_WIN32_REGISTRY_REGEDIT4_FORMAT_H
