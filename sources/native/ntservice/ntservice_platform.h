// The one difference between the Windows and the Linux build of Brevant: how wide a
// command's exit code is. Stateless.
#ifndef BREVANT_NTSERVICE_PLATFORM_H
#define BREVANT_NTSERVICE_PLATFORM_H

#include <stdint.h>

namespace brevant::ntservice {

#ifdef _WIN32
// A process's exit code has 32 bits; the stop command's -4 arrives as -4.
inline int CommandExitCode(intptr_t spawnResult) {
    return static_cast<int>(spawnResult);
}
#else
// A process's exit status has 8 bits, read as signed: the stop command's -4 arrives as
// 252. The -1 of a command that could not be run stays -1.
inline int CommandExitCode(intptr_t spawnResult) {
    return static_cast<signed char>(static_cast<unsigned char>(spawnResult));
}
#endif

}  // namespace brevant::ntservice

#endif  // BREVANT_NTSERVICE_PLATFORM_H
