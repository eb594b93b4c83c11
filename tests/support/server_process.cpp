#include "server_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <thread>

#include "test_paths.h"

namespace testsupport {

namespace {

// What follows `prefix` on the index-th line of `text` that starts with it.
std::optional<std::string> lineAfter(const std::string& text, const std::string& prefix,
                                     size_t index) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(prefix, 0) == 0 && index-- == 0) {
            return line.substr(prefix.size());
        }
    }
    return std::nullopt;
}

}  // namespace

ServerProcess::~ServerProcess() {
    if (running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool ServerProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                          const std::map<std::string, std::string>& environment,
                          const std::string& logFile, const std::string& readyPrefix,
                          std::chrono::milliseconds timeout) {
    logFile_ = logFile;
    writeFile(logFile, "");  // before the child starts: no ready line of an earlier run counts
    pid_ = fork();
    if (pid_ < 0) {
        return false;
    }
    if (pid_ == 0) {
        int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(log, 1);
        dup2(log, 2);
        for (const auto& [name, value] : environment) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        // The test's own signal mask must not leak into the server.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (lineAfter(output(), readyPrefix, 0)) {
            return true;
        }
        if (!running()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool ServerProcess::startIsapihost(const std::vector<std::string>& arguments,
                                   const std::string& folder,
                                   std::map<std::string, std::string> environment,
                                   std::chrono::milliseconds timeout) {
    environment.emplace("STANDIN_REGISTRY", folder + "/registry.reg");
    environment.emplace("STANDIN_DEBUG_OUTPUT", folder + "/debug.txt");
    return start(buildOutputFolder() + "/bin/isapihost", arguments, environment,
                 folder + "/isapihost.log", "isapihost: listening on", timeout);
}

int ServerProcess::port(size_t index) const {
    auto rest = lineAfter(output(), "isapihost: listening on 127.0.0.1:", index);
    return rest ? std::atoi(rest->c_str()) : -1;
}

bool ServerProcess::running() const {
    if (pid_ <= 0) {
        return false;
    }
    int status = 0;
    pid_t result = waitpid(pid_, &status, WNOHANG);
    if (result == pid_) {
        const_cast<ServerProcess*>(this)->pid_ = -1;
        return false;
    }
    return result == 0;
}

int ServerProcess::stop(std::chrono::milliseconds timeout, int signal) {
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, signal);
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        pid_t result = waitpid(pid_, &status, WNOHANG);
        if (result == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -1;
}

std::string ServerProcess::output() const {
    return readFile(logFile_);
}

std::string buildOutputFolder() {
    const char* out = std::getenv("BREVANT_OUT");
    if (out != nullptr && out[0] != '\0') {
        return out;
    }
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, length > 0 ? static_cast<size_t>(length) : 0);
    return path.substr(0, path.find_last_of('/')) + "/../../out";
}

}  // namespace testsupport
