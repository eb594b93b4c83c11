// The NT service Brevant under the service control manager stand-in, for real: `scctl`
// creates, starts, stops and queries it; Brevant runs small start and stop scripts, or the
// application-server instance through StartBrevant.sh / StopBrevant.sh; the states and
// exit codes are read from `scctl query` as an administrator reads them from `sc query`.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "chain_checks.h"
#include "server_process.h"
#include "test_paths.h"

namespace {

struct Finished {
    int status = -1;  // the exit status
    std::string out;
    std::string err;
};

// Runs a program of the build to its end, its output caught.
Finished run(const std::vector<std::string>& arguments, const std::string& scratch) {
    std::string command;
    for (const std::string& argument : arguments) {
        std::string quoted = "'";
        for (char c : argument) {
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        command += quoted + "' ";
    }
    int status = std::system(
        (command + "</dev/null >" + scratch + "/run.out 2>" + scratch + "/run.err").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            testsupport::readFile(scratch + "/run.out"),
            testsupport::readFile(scratch + "/run.err")};
}

// The lines of `scctl query` that tell the state and the exit codes.
std::string stateLines(DWORD state, const char* stateName, DWORD win32, DWORD specific) {
    char text[512];
    snprintf(text, sizeof(text),
             "        STATE              : %u  %s\n"
             "%s"
             "        WIN32_EXIT_CODE    : %u  (0x%x)\n"
             "        SERVICE_EXIT_CODE  : %u  (0x%x)\n",
             state, stateName,
             state == 4 ? "                                (STOPPABLE, NOT_PAUSABLE, "
                          "ACCEPTS_SHUTDOWN)\n"
                        : "                                (NOT_STOPPABLE, NOT_PAUSABLE, "
                          "IGNORES_SHUTDOWN)\n",
             win32, win32, specific, specific);
    return text;
}

std::string running(DWORD win32 = 0, DWORD specific = 0) {
    return stateLines(4, "RUNNING", win32, specific);
}
std::string stopped(DWORD win32 = 0, DWORD specific = 0) {
    return stateLines(1, "STOPPED", win32, specific);
}

// A scratch registry and debugger output, an install folder with a blank in its name
// holding Brevant (a link to the build's) and the test's commands.
class BrevantService : public ::testing::Test {
  protected:
    void SetUp() override {
        out_ = testsupport::buildOutputFolder();
        bin_ = dir_.path() + "/Brevant ISAPI/bin";
        std::filesystem::create_directories(bin_);
        std::filesystem::create_symlink(out_ + "/bin/Brevant", bin_ + "/Brevant");
        setenv("STANDIN_REGISTRY", dir_.file("registry.reg").c_str(), 1);
        setenv("STANDIN_DEBUG_OUTPUT", dir_.file("debug.txt").c_str(), 1);
    }

    // The start commands stay alive as servers do; they wrote their process ids.
    void TearDown() override {
        std::system(("kill $(cat '" + dir_.file("pids") + "' 2>/dev/null) 2>/dev/null").c_str());
    }

    Finished scctl(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), out_ + "/bin/scctl");
        return run(arguments, dir_.path());
    }

    // Creates the service with Brevant's path quoted, as Windows needs it with a blank.
    void createService(const std::string& name) {
        Finished created = scctl({"create", name, "\"" + bin_ + "/Brevant\""});
        ASSERT_EQ(created.status, 0) << created.err;
        EXPECT_EQ(created.out, "CreateService SUCCESS\n");
    }

    void setCommand(const std::string& service, const char* value, const std::string& command) {
        std::string path = "SYSTEM\\CurrentControlSet\\Services\\" + service + "\\Parameters";
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                                 KEY_WRITE, nullptr, &key, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, value, 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(command.c_str()),
                                                DWORD(command.size() + 1)));
        RegCloseKey(key);
    }

    std::string script(const std::string& name, const std::string& body) {
        std::string path = bin_ + "/" + name;
        testsupport::writeFile(path, "#!/bin/sh\n" + body);
        chmod(path.c_str(), 0755);
        return path;
    }

    // The service created with a start script that records it ran and stays alive as a
    // server does, and a stop script that records it ran; then started.
    void startService() {
        createService("Brevant");
        const std::string record = "\" >> '" + dir_.file("record") + "'\n";
        setCommand("Brevant", "Start",
                   script("StartBrevant.sh", "echo \"started $#" + record + "echo $$ >> '" +
                                                 dir_.file("pids") + "'\nexec sleep 600\n"));
        setCommand("Brevant", "Stop", script("StopBrevant.sh", "echo \"stopped $#" + record));
        Finished started = scctl({"start", "Brevant"});
        ASSERT_EQ(started.status, 0) << started.out << started.err;
        ASSERT_NE(started.out.find(running()), std::string::npos) << started.out;
    }

    std::string record() const { return testsupport::readFile(dir_.file("record")); }
    std::string debugOutput() const { return testsupport::readFile(dir_.file("debug.txt")); }

    testsupport::ScratchDir dir_{"ntservice"};
    std::string out_;
    std::string bin_;
};

}  // namespace

// The stop command's exit codes and their messages are Brevant's unit tests' table; here
// scctl shows a real stop and a real restart, with the states the manager reports.
TEST_F(BrevantService, StopsAndStartsAgainUnderTheManager) {
    startService();
    EXPECT_EQ(record(), "started 0\n") << "one file name, no arguments";
    Finished stop = scctl({"stop", "Brevant"});
    EXPECT_EQ(stop.status, 0);
    EXPECT_NE(stop.out.find(stopped()), std::string::npos) << stop.out;
    EXPECT_EQ(record(), "started 0\nstopped 0\n");
    EXPECT_NE(debugOutput().find("[BREVANT] Stopped Brevant \n"), std::string::npos);
    EXPECT_NE(scctl({"start", "Brevant"}).out.find(running()), std::string::npos);
}

TEST_F(BrevantService, AServiceThatCannotStartIsStoppedAtOnceWithItsExitCodes) {
    createService("Brevant");
    setCommand("Brevant", "Start", bin_ + "/NoSuchStart.sh");
    Finished start = scctl({"start", "Brevant"});
    EXPECT_EQ(start.status, 1);
    EXPECT_NE(start.out.find(stopped(1066, 4294967286u)), std::string::npos) << start.out;  // -10
}

TEST_F(BrevantService, StartedFromAPromptItWritesTheDispatcherError) {
    Finished prompt = run({bin_ + "/Brevant"}, dir_.path());
    EXPECT_EQ(prompt.status, 0);
    EXPECT_EQ(prompt.out + prompt.err, "") << "no console output";
    EXPECT_EQ(debugOutput(),
              "[BREVANT] Entering main... \n"
              "[BREVANT] StartServiceCtrlDispatcher error = 1063 \n"
              "[BREVANT] Returning from main \n");
}

TEST_F(BrevantService, ScctlReportsFailedCallsAsScDoes) {
    Finished missing = scctl({"query", "Nope"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err,
              "OpenService FAILED 1060:\n\n"
              "The specified service does not exist as an installed service.\n");
    createService("Brevant");
    Finished twice = scctl({"create", "Brevant", bin_ + "/Brevant"});
    EXPECT_EQ(twice.status, 2);
    EXPECT_EQ(twice.err, "CreateService FAILED 1073:\n\nThe specified service already exists.\n");
    Finished notActive = scctl({"stop", "Brevant"});
    EXPECT_EQ(notActive.status, 2);
    EXPECT_NE(notActive.err.find("ControlService FAILED 1062:"), std::string::npos);
    EXPECT_EQ(scctl({"delete", "Brevant"}).out, "DeleteService SUCCESS\n");
    EXPECT_EQ(scctl({"query", "Brevant"}).status, 2);
    EXPECT_EQ(scctl({"frobnicate", "Brevant"}).status, 2);
}

// As an administrator sets it up: Enlistor creates the service with the Java side's
// StartBrevant.sh and StopBrevant.sh beside it, the service runs the application-server
// instance, and the stop goes through the instance's admin port.
TEST_F(BrevantService, RunsTheApplicationServerInstance) {
    int port = chain::freePort(), adminPort = chain::freePort();
    // The service gets the environment of whoever starts it (see docs/scctl.md).
    setenv("BREVANT_PORT", std::to_string(port).c_str(), 1);
    setenv("BREVANT_ADMIN_PORT", std::to_string(adminPort).c_str(), 1);
    setenv("BREVANT_ADMIN_PASSWORD", "right", 1);
    std::string wrongStop = script(
        "WrongStop.sh", "BREVANT_ADMIN_PASSWORD=wrong exec '" + out_ + "/bin/StopBrevant.sh'\n");
    Finished enlisted = run({out_ + "/bin/Enlistor", "-stop", wrongStop}, dir_.path());
    ASSERT_EQ(enlisted.status, 0) << enlisted.out << enlisted.err;

    ASSERT_EQ(scctl({"start", "Brevant"}).status, 0);
    ASSERT_TRUE(chain::eventually([&] {
        return chain::accepts(port) && chain::accepts(adminPort);
    })) << "the instance did not come up";
    EXPECT_EQ(scctl({"stop", "Brevant"}).status, 1);
    Finished query = scctl({"query", "Brevant"});
    EXPECT_EQ(query.out.substr(0, query.out.find("        CHECKPOINT")),
              "SERVICE_NAME: Brevant\n"
              "        TYPE               : 10  WIN32_OWN_PROCESS\n" +
                  running(1066, 4294967292u));
    EXPECT_TRUE(chain::accepts(port)) << "the instance still serves";

    setCommand("Brevant", "Stop", out_ + "/bin/StopBrevant.sh");
    Finished stop = scctl({"stop", "Brevant"});
    EXPECT_EQ(stop.status, 0) << stop.out;
    EXPECT_NE(stop.out.find(stopped(0, 4294967292u)), std::string::npos) << stop.out;
    EXPECT_TRUE(chain::eventually([&] { return !chain::accepts(port); })) << "the instance ended";
}
