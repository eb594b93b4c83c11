#include "stand-ins/win32/src/processes/command_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace standin::processes {

namespace {

bool isSeparator(char c) {
    return c == ' ' || c == '\t';
}

bool isExecutableFile(const std::string& path) {
    struct stat status {};
    return !path.empty() && stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string joinArguments(const char* const* arguments) {
    std::string line;
    for (const char* const* argument = arguments; *argument != nullptr; ++argument) {
        if (argument != arguments) {
            line += ' ';
        }
        line += *argument;
    }
    return line;
}

std::vector<std::string> splitCommandLine(std::string_view line) {
    std::vector<std::string> arguments;
    size_t at = 0;
    // The program name knows no backslash rules.
    std::string program;
    if (at < line.size() && line[at] == '"') {
        size_t close = line.find('"', at + 1);
        program = std::string(line.substr(
            at + 1, close == std::string_view::npos ? std::string_view::npos : close - at - 1));
        at = close == std::string_view::npos ? line.size() : close + 1;
    }
    while (at < line.size() && !isSeparator(line[at])) {
        program += line[at++];
    }
    arguments.push_back(std::move(program));

    for (;;) {
        while (at < line.size() && isSeparator(line[at])) {
            ++at;
        }
        if (at >= line.size()) {
            break;
        }
        std::string argument;
        bool quoted = false;
        while (at < line.size() && (quoted || !isSeparator(line[at]))) {
            size_t backslashes = 0;
            while (at < line.size() && line[at] == '\\') {
                ++backslashes;
                ++at;
            }
            if (at < line.size() && line[at] == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    argument += '"';
                    ++at;
                } else if (quoted && at + 1 < line.size() && line[at + 1] == '"') {
                    argument += '"';
                    at += 2;
                } else {
                    quoted = !quoted;
                    ++at;
                }
            } else {
                argument.append(backslashes, '\\');
                if (at < line.size() && (quoted || !isSeparator(line[at]))) {
                    argument += line[at++];
                }
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

std::string expandEnvironmentStrings(std::string_view text) {
    std::string expanded;
    size_t at = 0;
    while (at < text.size()) {
        size_t open = text.find('%', at);
        size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
        if (close == std::string_view::npos) {
            expanded.append(text.substr(at));
            break;
        }
        expanded.append(text.substr(at, open - at));
        std::string name(text.substr(open + 1, close - open - 1));
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value != nullptr) {
            expanded += value;
            at = close + 1;
        } else {
            // Kept as it is; its closing percent sign may open the next name.
            expanded.append(text.substr(open, close - open));
            at = close;
        }
    }
    return expanded;
}

DWORD findImageProgram(std::string_view imagePath, std::string* program) {
    while (!imagePath.empty() && isSeparator(imagePath.front())) {
        imagePath.remove_prefix(1);
    }
    if (!imagePath.empty() && imagePath.front() == '"') {
        size_t close = imagePath.find('"', 1);
        std::string quoted(imagePath.substr(
            1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        if (!isExecutableFile(quoted)) {
            return ERROR_FILE_NOT_FOUND;
        }
        *program = std::move(quoted);
        return ERROR_SUCCESS;
    }
    size_t end = 0;
    for (;;) {
        end = imagePath.find_first_of(" \t", end);
        std::string candidate(imagePath.substr(0, end));
        if (isExecutableFile(candidate)) {
            *program = std::move(candidate);
            return ERROR_SUCCESS;
        }
        if (end == std::string_view::npos) {
            return ERROR_FILE_NOT_FOUND;
        }
        ++end;
    }
}

}  // namespace standin::processes
