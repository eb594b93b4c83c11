// Pieces shared by the implementation files of the Win32 stand-in. Not part of its API.
#ifndef STANDIN_WIN32_INTERNAL_H
#define STANDIN_WIN32_INTERNAL_H

#include <windows.h>

#include <new>

namespace standin {

// True when a test armed a failure for `function` (see standin_test_hooks.h); *error then
// holds the code to report. Cheap when nothing is armed: one relaxed atomic load.
bool injectedFailure(const char* function, DWORD* error);

// The Win32 error code that Windows reports for the same condition as errno `err`.
DWORD win32ErrorFromErrno(int err);

// Sets the calling thread's last error from errno and returns the Win32 code.
DWORD setLastErrorFromErrno();

// The WSA error code that WinSock reports for the same condition as errno `err`.
int wsaErrorFromErrno(int err);

// Runs the body of an API function that reports failures through GetLastError, turning any
// exception into `failure` (memory exhaustion as ERROR_NOT_ENOUGH_MEMORY, anything else as
// ERROR_GEN_FAILURE), so that none crosses the C boundary.
template <typename Result, typename Body>
Result guarded(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        SetLastError(ERROR_GEN_FAILURE);
    }
    return failure;
}

}  // namespace standin

// The common entry of functions that report failures through GetLastError: honours an
// armed test failure by setting the error and returning `failureValue`.
#define STANDIN_INJECTION_POINT(name, failureValue)       \
    do {                                                  \
        DWORD injected_ = 0;                              \
        if (standin::injectedFailure(name, &injected_)) { \
            SetLastError(injected_);                      \
            return failureValue;                          \
        }                                                 \
    } while (0)

#endif  // STANDIN_WIN32_INTERNAL_H
