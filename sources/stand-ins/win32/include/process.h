// The C runtime's spawn functions (process.h of msvcrt / ucrt) for the Linux build.
//
// As on Windows: `_spawnl` / `_spawnv` run the program file named by `fileName` itself (no
// search of PATH, arguments not quoted): the arguments are joined with blanks into one
// command line, which the child splits again by the rules of the Windows C runtime, so an
// argument holding a blank must be quoted by the caller here as there. Programs are started
// with posix_spawn: a file that cannot be run makes the call fail with -1 and errno set, it
// never shows up as a child exiting with 127.
//
// - _P_WAIT waits for the child and returns its exit code: 0-255 on Linux, the status the
//   child passed to exit (128 + the signal number for a child ended by a signal).
// - _P_NOWAIT returns a handle of the child (its process id) for _cwait; the child is not
//   waited for otherwise.
// Other modes fail with EINVAL.
//
// Thread safety: may be called from any thread.
#ifndef STANDIN_WIN32_PROCESS_H
#define STANDIN_WIN32_PROCESS_H

#include <stdint.h>

#include <windows.h>

#define _P_WAIT 0
#define _P_NOWAIT 1
#define _OLD_P_OVERLAY 2
#define _P_NOWAITO 3
#define _P_DETACH 4
#define _P_OVERLAY 2
#define _WAIT_CHILD 0

#ifdef __cplusplus
extern "C" {
#endif

// The argument list ends with a null pointer.
STANDIN_API intptr_t _spawnl(int mode, const char* fileName, const char* argument0, ...);
STANDIN_API intptr_t _spawnv(int mode, const char* fileName, const char* const* arguments);
// Waits for a child started with _P_NOWAIT; its exit code goes to *termStat.
STANDIN_API intptr_t _cwait(int* termStat, intptr_t processHandle, int action);

#ifdef __cplusplus
}
#endif

#endif  // STANDIN_WIN32_PROCESS_H
