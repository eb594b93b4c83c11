// Walking the lines of an option or property file.
#include "native/isapi/config/config_lines.h"

#include <string>

#include "native/isapi/config/config_file.h"
#include "native/isapi/log/native_log.h"

namespace brevant::isapi {

namespace {

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

}  // namespace

int collectLines(std::string_view text, const char* fileName, int limit, const char* limitMessage,
                 const std::function<void(int slot, std::string_view line)>& store) {
    int count = 0;
    size_t position = 0;
    while (position < text.size()) {
        if (isLineEnd(text[position])) {
            ++position;
            continue;
        }
        size_t end = position;
        while (end < text.size() && !isLineEnd(text[end])) {
            ++end;
        }
        const std::string_view line = text.substr(position, end - position);
        position = end;
        if (line.front() == '#') {
            continue;
        }
        if (line.size() > kMaxLineLength) {
            logEntryTooLong(fileName, line);
            continue;
        }
        store(count, line);
        if (++count == limit) {
            logMessage(limitMessage, true);
            break;
        }
    }
    return count;
}

}  // namespace brevant::isapi
