// Starting a program file as a child process, over posix_spawn: a program that cannot be
// run is an error of the call (glibc reports a failed exec to the parent), never a child
// that exits with 127. Used by the C runtime's spawn functions and by the service control
// manager.
//
// Stateless; any thread may call. Descriptors the caller wants kept from children must be
// close-on-exec, as the stand-in's own are.
#ifndef STANDIN_WIN32_PROCESSES_CHILD_PROCESS_H
#define STANDIN_WIN32_PROCESSES_CHILD_PROCESS_H

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace standin::processes {

struct ChildOptions {
    // Set in the child's environment, over what it inherits.
    std::vector<std::pair<std::string, std::string>> environment;
    // Handed to the child as descriptor `passedFdNumber` when >= 0.
    int passedFd = -1;
    int passedFdNumber = 3;
    // Closes every other descriptor above standard error in the child, as a service gets
    // no handles from whoever asked for it to be started.
    bool closeOthers = false;
    // Standard input, output and error from /dev/null, as a service has no console.
    bool detachedStdio = false;
    // The child's working folder; the caller's when empty.
    std::string workingDirectory;
};

// Starts `program` with `arguments` as its argument vector. Returns 0 and the child's
// process id, or the errno that kept the program from running.
int startChild(const std::string& program, const std::vector<std::string>& arguments,
               const ChildOptions& options, pid_t* child);

// Waits for the child and returns its exit code: the status it passed to exit, or 128 +
// the signal that ended it. -1 with errno set when there is no such child.
int waitForChild(pid_t child);

}  // namespace standin::processes

#endif  // STANDIN_WIN32_PROCESSES_CHILD_PROCESS_H
