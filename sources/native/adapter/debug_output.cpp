#include "native/adapter/debug_output.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace brevant::adapter {

void debugOut(const char* text) {
    OutputDebugStringA(text);
}

void debugOutf(const char* format, ...) {
    char message[kDiagnosticSize];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    OutputDebugStringA(message);
}

}  // namespace brevant::adapter
