// Runs a server program of the build (isapihost, an application-server instance) for a
// test: starts it, waits for its ready line, stops it with SIGTERM. Linux only.
#ifndef TESTS_SUPPORT_SERVER_PROCESS_H
#define TESTS_SUPPORT_SERVER_PROCESS_H

#include <sys/types.h>

#include <csignal>
#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

class ServerProcess {
  public:
    ServerProcess() = default;
    ~ServerProcess();  // kills the process if it still runs
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Starts `program` with `arguments` and extra environment variables; its standard
    // output and error go to `logFile`. Waits until the output holds a line starting with
    // `readyPrefix` and returns true, or false when the process ends or `timeout` passes.
    bool start(const std::string& program, const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment, const std::string& logFile,
               const std::string& readyPrefix,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // The build's isapihost with `arguments`; its registry, debugger output and log are
    // files of `folder`, `environment` adds variables.
    bool startIsapihost(const std::vector<std::string>& arguments, const std::string& folder,
                        std::map<std::string, std::string> environment = {},
                        std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // The port of the n-th "listening on 127.0.0.1:PORT" line (isapihost's ready lines).
    int port(size_t index = 0) const;

    // `signal` (SIGTERM, or SIGKILL for a crash), then waits for the exit; returns the exit
    // status (128+signal when killed), -1 when it did not end within `timeout` (it is then
    // killed).
    int stop(std::chrono::milliseconds timeout = std::chrono::seconds(20), int signal = SIGTERM);

    bool running() const;
    pid_t pid() const { return pid_; }  // -1 when not running
    std::string output() const;         // the log so far

  private:
    pid_t pid_ = -1;
    std::string logFile_;
};

// The folder of the build's outputs (build/out), from the BREVANT_OUT environment
// variable that ctest sets, or next to the test program.
std::string buildOutputFolder();

}  // namespace testsupport

#endif  // TESTS_SUPPORT_SERVER_PROCESS_H
