// Enlistor's only channel: whole lines on standard output. Text is written as it is, never
// taken as a format, since it carries service names and paths from the command line.
// Called from the program's one thread.
#ifndef BREVANT_INSTALLER_CONSOLE_OUTPUT_H
#define BREVANT_INSTALLER_CONSOLE_OUTPUT_H

#include <cstdio>
#include <string_view>

namespace brevant::installer {

inline void printLine(std::string_view text = {}) {
    if (!text.empty()) {  // an empty view may carry no buffer at all
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    std::fputc('\n', stdout);
}

}  // namespace brevant::installer

#endif  // BREVANT_INSTALLER_CONSOLE_OUTPUT_H
