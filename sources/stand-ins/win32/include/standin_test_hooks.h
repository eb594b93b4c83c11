// Failure injection for tests of code that runs on the Win32 stand-in. Only tests include
// this header; product code never does.
//
// StandinFailNextCalls("ReadFile", 2, ERROR_DISK_FULL) makes the next two calls of ReadFile,
// from any thread, fail with that error: functions that report errors through
// GetLastError set it and return their failure value; registry functions return it.
// Names are the stand-in's function names, matched exactly.
#ifndef STANDIN_WIN32_TEST_HOOKS_H
#define STANDIN_WIN32_TEST_HOOKS_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

STANDIN_API void StandinFailNextCalls(const char* functionName, int count, DWORD errorCode);
STANDIN_API void StandinClearFailures(void);

#ifdef __cplusplus
}
#endif

#endif  // STANDIN_WIN32_TEST_HOOKS_H
