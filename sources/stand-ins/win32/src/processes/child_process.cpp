#include "stand-ins/win32/src/processes/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace standin::processes {

namespace {

// The caller's environment with `overrides` put in place of variables of the same names.
std::vector<std::string> childEnvironment(
    const std::vector<std::pair<std::string, std::string>>& overrides) {
    std::vector<std::string> result;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        bool replaced = false;
        for (const auto& [name, value] : overrides) {
            if (std::strncmp(*entry, name.c_str(), name.size()) == 0 &&
                (*entry)[name.size()] == '=') {
                replaced = true;
            }
        }
        if (!replaced) {
            result.emplace_back(*entry);
        }
    }
    for (const auto& [name, value] : overrides) {
        result.push_back(name + "=" + value);
    }
    return result;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

class FileActions {
  public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_;
};

}  // namespace

int startChild(const std::string& program, const std::vector<std::string>& arguments,
               const ChildOptions& options, pid_t* child) {
    std::vector<std::string> argumentCopy = arguments;
    std::vector<char*> argv = pointersTo(argumentCopy);
    std::vector<std::string> environment = childEnvironment(options.environment);
    std::vector<char*> envp = pointersTo(environment);

    FileActions actions;
    int error = 0;
    if (options.detachedStdio) {
        for (int fd = 0; fd <= 2 && error == 0; ++fd) {
            error = posix_spawn_file_actions_addopen(actions.get(), fd, "/dev/null",
                                                     fd == 0 ? O_RDONLY : O_WRONLY, 0);
        }
    }
    if (error == 0 && options.passedFd >= 0) {
        // dup2 to another number leaves the copy without close-on-exec.
        if (options.passedFd == options.passedFdNumber) {
            return EINVAL;
        }
        error = posix_spawn_file_actions_adddup2(actions.get(), options.passedFd,
                                                 options.passedFdNumber);
    }
    if (error == 0 && options.closeOthers) {
        int keep = options.passedFd >= 0 ? options.passedFdNumber : 2;
        for (int fd = 3; fd < keep && error == 0; ++fd) {
            error = posix_spawn_file_actions_addclose(actions.get(), fd);
        }
        if (error == 0) {
            error = posix_spawn_file_actions_addclosefrom_np(actions.get(), keep + 1);
        }
    }
    if (error == 0 && !options.workingDirectory.empty()) {
        error =
            posix_spawn_file_actions_addchdir_np(actions.get(), options.workingDirectory.c_str());
    }
    if (error != 0) {
        return error;
    }
    return posix_spawn(child, program.c_str(), actions.get(), nullptr, argv.data(), envp.data());
}

int waitForChild(pid_t child) {
    int status = 0;
    pid_t ended;
    do {
        ended = waitpid(child, &status, 0);
    } while (ended < 0 && errno == EINTR);
    if (ended < 0) {
        return -1;
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return 128 + WTERMSIG(status);
}

}  // namespace standin::processes
