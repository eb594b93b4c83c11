#include "native/isapi/jvm/vm_log.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "native/isapi/log/native_log.h"

namespace brevant::isapi::jvmhost {

void logLine(const std::string& text) {
    logMessage(text, true);
}

std::string formatText(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

}  // namespace brevant::isapi::jvmhost
