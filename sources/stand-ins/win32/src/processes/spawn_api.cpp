// The C runtime's spawn functions (process.h): _spawnl, _spawnv and _cwait.
#include <process.h>

#include <cerrno>
#include <cstdarg>
#include <string>
#include <vector>

#include "stand-ins/win32/src/processes/child_process.h"
#include "stand-ins/win32/src/processes/command_line.h"

namespace {

using standin::processes::ChildOptions;

}  // namespace

extern "C" {

intptr_t _spawnv(int mode, const char* fileName, const char* const* arguments) {
    if (fileName == nullptr || arguments == nullptr || arguments[0] == nullptr ||
        (mode != _P_WAIT && mode != _P_NOWAIT)) {
        errno = EINVAL;
        return -1;
    }
    try {
        // What the child sees of its arguments is what its C runtime makes of one command
        // line, as on Windows.
        std::vector<std::string> childArguments =
            standin::processes::splitCommandLine(standin::processes::joinArguments(arguments));
        pid_t child = 0;
        int error =
            standin::processes::startChild(fileName, childArguments, ChildOptions{}, &child);
        if (error != 0) {
            errno = error;
            return -1;
        }
        if (mode == _P_NOWAIT) {
            return intptr_t(child);
        }
        return standin::processes::waitForChild(child);
    } catch (...) {
        errno = ENOMEM;
        return -1;
    }
}

intptr_t _spawnl(int mode, const char* fileName, const char* argument0, ...) {
    // The list is read whole before anything can fail, so va_end is always reached.
    constexpr size_t kMaximumArguments = 1024;
    const char* arguments[kMaximumArguments + 1];
    size_t count = 0;
    arguments[count++] = argument0;
    bool tooMany = false;
    if (argument0 != nullptr) {
        va_list rest;
        va_start(rest, argument0);
        for (const char* next = va_arg(rest, const char*); next != nullptr;
             next = va_arg(rest, const char*)) {
            if (count == kMaximumArguments) {
                tooMany = true;
                break;
            }
            arguments[count++] = next;
        }
        va_end(rest);
    }
    if (tooMany) {
        errno = E2BIG;
        return -1;
    }
    arguments[count] = nullptr;
    return _spawnv(mode, fileName, arguments);
}

intptr_t _cwait(int* termStat, intptr_t processHandle, int /*action*/) {
    int code = standin::processes::waitForChild(pid_t(processHandle));
    if (code < 0) {
        errno = ECHILD;
        return -1;
    }
    if (termStat != nullptr) {
        *termStat = code;
    }
    return processHandle;
}

}  // extern "C"
