// Brevant's logic on the Win32 stand-in: the stop command's exit codes, the
// reading and running of the start and stop commands, the control handler's states and
// what everything writes to the debugger output, byte for byte. The service control
// manager's side is driven for real in tests/integration/ntservice_test.cpp.
#include <standin_test_hooks.h>
#include <windows.h>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "BrevantNTService.h"
#include "debug_output_capture.h"
#include "test_paths.h"

int BrevantNTServiceMain();  // Brevant's main, renamed for the tests

namespace {

const DWORD kMinus4 = DWORD(-4);
const DWORD kMinus10 = DWORD(-10);

class Brevant : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("STANDIN_REGISTRY");
        oldRegistry_ = old != nullptr ? old : "";
        setenv("STANDIN_REGISTRY", dir_.file("registry.reg").c_str(), 1);
        service_name = "Brevant";
        serviceStatus = SERVICE_STATUS{};
        serviceStatusHandle = nullptr;
    }
    void TearDown() override {
        StandinClearFailures();
        setenv("STANDIN_REGISTRY", oldRegistry_.c_str(), 1);
    }

    // Sets a value of the Parameters key of `service`.
    void setParameter(const char* name, const std::string& bytes, DWORD type = REG_SZ,
                      const std::string& service = "Brevant") {
        std::string path = "SYSTEM\\CurrentControlSet\\Services\\" + service + "\\Parameters";
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 DWORD(bytes.size())));
        RegCloseKey(key);
    }
    void setCommand(const char* name, const std::string& command) {
        setParameter(name, std::string(command.c_str(), command.size() + 1));
    }

    // A script that appends its argument count to `record` and exits with `exitCode`.
    std::string script(const std::string& path, int exitCode) {
        testsupport::writeFile(path, "#!/bin/sh\necho \"ran $#\" >> '" + recordFile() + "'\nexit " +
                                         std::to_string(exitCode) + "\n");
        chmod(path.c_str(), 0755);
        return path;
    }
    std::string recordFile() const { return dir_.file("record.txt"); }
    // What the start script recorded: it is not waited for.
    std::string startRecord() const {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (testsupport::readFile(recordFile()).empty() &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return testsupport::readFile(recordFile());
    }

    testsupport::ScratchDir dir_{"ntservice"};
    testsupport::DebugOutputCapture output_;

  private:
    std::string oldRegistry_;
};

}  // namespace

TEST(StopOutcome, TheStopCommandsExitCodesAsThePartsTableHasThem) {
    struct Case {
        int exitCode;
        const char* message;
        bool stopped;
    };
    const Case cases[] = {
        {0, nullptr, true},
        {-1, "[BREVANT] Failed to get local host \n", false},
        {-2, "[BREVANT] Failed to get port number \n", false},
        {-3, "[BREVANT] Didn't receive a response from Brevant \n", true},
        {-4, "[BREVANT] Invalid admin username and password \n", false},
        {-5, "[BREVANT] Failed to connect to Brevant \n", false},
        {-6, "[BREVANT] Received unexpected response code \n", false},
        {-7, "[BREVANT] Received an i/o exception \n", true},
        {-8, "[BREVANT] Can't stop Brevant with -help option \n", false},
        {-9, "[BREVANT] Bad options were passed to StopBrevant \n", false},
        {-10, nullptr, true},
        {1, nullptr, true},
        {127, nullptr, true},
    };
    for (const Case& c : cases) {
        StopOutcome outcome = StopOutcomeFor(c.exitCode);
        EXPECT_EQ(outcome.stopped, c.stopped) << c.exitCode;
        EXPECT_STREQ(outcome.message, c.message) << c.exitCode;
    }
}

TEST(ServiceDebugOut, FormatsOneValueAndDropsLongFormats) {
    testsupport::DebugOutputCapture output;
    ServiceDebugOut("[BREVANT] StartServiceCtrlDispatcher error = %d \n", 1063);
    ServiceDebugOut("[BREVANT] SetServiceStatus error %ld \n", kMinus4);
    ServiceDebugOut("[BREVANT] Returning from main \n", 7);
    std::string longest(999, 'x');
    ServiceDebugOut(longest.c_str(), 0);
    ServiceDebugOut(std::string(1000, 'y').c_str(), 0);
    EXPECT_EQ(output.text(),
              "[BREVANT] StartServiceCtrlDispatcher error = 1063 \n"
              "[BREVANT] SetServiceStatus error -4 \n"
              "[BREVANT] Returning from main \n" +
                  longest);
}

TEST_F(Brevant, AMissingParametersKeyGivesTheRegistrysErrorCode) {
    EXPECT_FALSE(StartBrevant());
    EXPECT_EQ(serviceStatus.dwWin32ExitCode, DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(serviceStatus.dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(output_.text(),
              "[BREVANT] Starting Brevant... \n"
              "[BREVANT] Failed to open Parameters registry key \n");
}

TEST_F(Brevant, AMissingOrUnreadableValueGivesTheRegistrysErrorCode) {
    setCommand("Stop", "/bin/true");
    EXPECT_FALSE(StartBrevant());
    EXPECT_EQ(serviceStatus.dwWin32ExitCode, DWORD(ERROR_FILE_NOT_FOUND));

    setCommand("Start", "/bin/true");
    StandinFailNextCalls("RegQueryValueExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(StartBrevant());
    EXPECT_EQ(serviceStatus.dwWin32ExitCode, DWORD(ERROR_ACCESS_DENIED));

    EXPECT_EQ(output_.text(),
              "[BREVANT] Starting Brevant... \n"
              "[BREVANT] Failed to get ParametersStart registry value \n"
              "[BREVANT] Starting Brevant... \n"
              "[BREVANT] Failed to get ParametersStart registry value \n");
}

TEST_F(Brevant, AStartCommandThatCannotBeStartedGivesMinus10) {
    const std::string missing = dir_.file("StartBrevant.sh");
    const std::string withArguments = script(dir_.file("go.sh"), 0) + " -x";
    for (const std::string& command : {missing, withArguments}) {
        serviceStatus = SERVICE_STATUS{};
        setCommand("Start", command);
        testsupport::DebugOutputCapture output;
        EXPECT_FALSE(StartBrevant()) << command;
        EXPECT_EQ(serviceStatus.dwWin32ExitCode, DWORD(ERROR_SERVICE_SPECIFIC_ERROR));
        EXPECT_EQ(serviceStatus.dwServiceSpecificExitCode, kMinus10);
        EXPECT_EQ(output.text(),
                  "[BREVANT] Starting Brevant... \n"
                  "[BREVANT] Spawning " +
                      command +
                      "... \n"
                      "[BREVANT] Failed to spawn service command \n");
    }
}

TEST_F(Brevant, TheStartCommandRunsAsOneFileNameWithoutArguments) {
    std::string folder = dir_.file("Brevant ISAPI");
    mkdir(folder.c_str(), 0755);
    std::string command = script(folder + "/StartBrevant.sh", 0);
    setCommand("Start", command);
    EXPECT_TRUE(StartBrevant());
    EXPECT_EQ(startRecord(), "ran 0\n") << "the blank in its path is quoted";
    EXPECT_EQ(serviceStatus.dwWin32ExitCode, 0u);
    EXPECT_EQ(serviceStatus.dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(output_.text(),
              "[BREVANT] Starting Brevant... \n"
              "[BREVANT] Spawning " +
                  command +
                  "... \n"
                  "[BREVANT] Spawned " +
                  command +
                  " \n"
                  "[BREVANT] Started Brevant \n");
}

TEST_F(Brevant, ACommandIsReadWhateverItsTypeAndTerminator) {
    std::string command = script(dir_.file("StartBrevant.sh"), 0);
    for (DWORD type : {DWORD(REG_SZ), DWORD(REG_BINARY), DWORD(REG_EXPAND_SZ)}) {
        testsupport::writeFile(recordFile(), "");
        setParameter("Start", command, type);  // no terminating zero
        EXPECT_TRUE(StartBrevant()) << type;
        EXPECT_EQ(startRecord(), "ran 0\n") << type;
    }
}

TEST_F(Brevant, DataIsNeverTakenAsAFormat) {
    service_name = "Bre%s%n%dvant";
    std::string command = dir_.file("%s%n.sh");
    setParameter("Start", command + '\0', REG_SZ, "Bre%s%n%dvant");
    EXPECT_FALSE(StartBrevant());
    EXPECT_EQ(output_.text(),
              "[BREVANT] Starting Bre%s%n%dvant... \n"
              "[BREVANT] Spawning " +
                  command +
                  "... \n"
                  "[BREVANT] Failed to spawn service command \n");
}

TEST_F(Brevant, TheStopCommandsExitCodeDecides) {
    struct Case {
        int status;  // as the script exits: 8 bits, read as signed
        bool stopped;
        const char* message;
    };
    const Case cases[] = {
        {0, true, ""},
        {252, false, "[BREVANT] Invalid admin username and password \n"},
        {253, true, "[BREVANT] Didn't receive a response from Brevant \n"},
        {249, true, "[BREVANT] Received an i/o exception \n"},
        {255, false, "[BREVANT] Failed to get local host \n"},
        {254, false, "[BREVANT] Failed to get port number \n"},
        {247, false, "[BREVANT] Bad options were passed to StopBrevant \n"},
        {1, true, ""},
    };
    std::string folder = dir_.file("Brevant ISAPI");
    mkdir(folder.c_str(), 0755);
    for (const Case& c : cases) {
        std::string command = script(folder + "/StopBrevant.sh", c.status);
        setCommand("Stop", command);
        serviceStatus = SERVICE_STATUS{};
        testsupport::writeFile(recordFile(), "");
        testsupport::DebugOutputCapture output;
        EXPECT_EQ(StopBrevant(), c.stopped) << c.status;
        EXPECT_EQ(testsupport::readFile(recordFile()), "ran 0\n") << "waited for, no arguments";
        int exitCode = int(static_cast<signed char>(c.status));
        EXPECT_EQ(serviceStatus.dwWin32ExitCode, c.stopped ? 0u : DWORD(1066)) << c.status;
        EXPECT_EQ(serviceStatus.dwServiceSpecificExitCode, c.stopped ? 0u : DWORD(exitCode))
            << c.status;
        std::string end = c.stopped ? "[BREVANT] Stopped Brevant \n" : "";
        EXPECT_EQ(output.text(),
                  "[BREVANT] Stopping Brevant... \n"
                  "[BREVANT] Spawning " +
                      command +
                      "... \n"
                      "[BREVANT] Spawned " +
                      command + " \n" + c.message + end)
            << c.status;
    }
}

TEST_F(Brevant, AStopCommandThatCannotRunIsMinus1) {
    std::string command = dir_.file("StopBrevant.sh");
    setCommand("Stop", command);
    EXPECT_FALSE(StopBrevant());
    EXPECT_EQ(serviceStatus.dwWin32ExitCode, DWORD(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(serviceStatus.dwServiceSpecificExitCode, DWORD(-1));
    EXPECT_EQ(output_.text(),
              "[BREVANT] Stopping Brevant... \n"
              "[BREVANT] Spawning " +
                  command +
                  "... \n"
                  "[BREVANT] Spawned " +
                  command +
                  " \n"
                  "[BREVANT] Failed to get local host \n");
}

TEST_F(Brevant, AMissingStopValueGivesTheRegistrysErrorCode) {
    setCommand("Start", "/bin/true");
    EXPECT_FALSE(StopBrevant());
    EXPECT_EQ(serviceStatus.dwWin32ExitCode, DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(output_.text(),
              "[BREVANT] Stopping Brevant... \n"
              "[BREVANT] Failed to get ParametersStop registry value \n");
}

TEST_F(Brevant, TheHandlerStopsOrGoesBackToRunning) {
    setCommand("Stop", script(dir_.file("StopBrevant.sh"), 252));
    serviceStatus.dwCurrentState = SERVICE_RUNNING;
    serviceStatus.dwCheckPoint = 3;
    BrevantServiceCtrlHandler(SERVICE_CONTROL_STOP);
    EXPECT_EQ(serviceStatus.dwCurrentState, DWORD(SERVICE_RUNNING));
    EXPECT_EQ(serviceStatus.dwWin32ExitCode, DWORD(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(serviceStatus.dwServiceSpecificExitCode, kMinus4);
    EXPECT_EQ(serviceStatus.dwCheckPoint, 0u);

    // Only the Win32 exit code starts again from 0.
    setCommand("Stop", script(dir_.file("StopBrevant.sh"), 0));
    BrevantServiceCtrlHandler(SERVICE_CONTROL_SHUTDOWN);
    EXPECT_EQ(serviceStatus.dwCurrentState, DWORD(SERVICE_STOPPED));
    EXPECT_EQ(serviceStatus.dwWin32ExitCode, 0u);
    EXPECT_EQ(serviceStatus.dwServiceSpecificExitCode, kMinus4);

    // Without a registered handler every report fails, and says so.
    std::string text = output_.text();
    EXPECT_EQ(text.substr(0, text.find("[BREVANT] Stopping")),
              "[BREVANT] Entering BrevantServiceCtrlHandler... \n"
              "[BREVANT] SetServiceStatus error 6 \n");
    EXPECT_EQ(text.substr(text.rfind("Spawned")),
              "Spawned " + dir_.file("StopBrevant.sh") +
                  " \n"
                  "[BREVANT] Stopped Brevant \n"
                  "[BREVANT] SetServiceStatus error 6 \n"
                  "[BREVANT] Returning from BrevantServiceCtrlHandler \n");
}

TEST_F(Brevant, TheOtherControlsLeaveTheServerAlone) {
    struct Case {
        DWORD control;
        DWORD stateAfter;
        const char* message;
    };
    const Case cases[] = {
        {SERVICE_CONTROL_PAUSE, SERVICE_RUNNING, ""},
        {SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING, ""},
        {SERVICE_CONTROL_INTERROGATE, SERVICE_STOP_PENDING, ""},
        {200, SERVICE_STOP_PENDING, "[BREVANT] Unrecognized event 200 \n"},
    };
    for (const Case& c : cases) {
        serviceStatus.dwCurrentState = SERVICE_STOP_PENDING;
        testsupport::DebugOutputCapture output;
        BrevantServiceCtrlHandler(c.control);
        EXPECT_EQ(serviceStatus.dwCurrentState, c.stateAfter) << c.control;
        EXPECT_EQ(output.text(), std::string("[BREVANT] Entering BrevantServiceCtrlHandler... \n") +
                                     c.message +
                                     "[BREVANT] SetServiceStatus error 6 \n"
                                     "[BREVANT] Returning from BrevantServiceCtrlHandler \n")
            << c.control;
    }
    EXPECT_EQ(testsupport::readFile(recordFile()), "") << "no command ran";
}

TEST_F(Brevant, ServiceMainNeedsItsNameAndARegisteredHandler) {
    char* noName[] = {nullptr};
    BrevantServiceMain(0, noName);
    BrevantServiceMain(1, noName);
    EXPECT_EQ(serviceStatus.dwCurrentState, 0u) << "nothing reported";

    static char name[] = "Other";
    char* argv[] = {name, nullptr};
    BrevantServiceMain(1, argv);
    EXPECT_EQ(service_name, "Other");
    EXPECT_EQ(serviceStatus.dwServiceType, DWORD(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(serviceStatus.dwCurrentState, DWORD(SERVICE_START_PENDING));
    EXPECT_EQ(serviceStatus.dwControlsAccepted,
              DWORD(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN));
    std::string failed =
        "[BREVANT] Entering BrevantServiceMain... \n"
        "[BREVANT] BrevantServiceMain failed to get service's name \n";
    EXPECT_EQ(output_.text(), failed + failed +
                                  "[BREVANT] Entering BrevantServiceMain... \n"
                                  "[BREVANT] RegisterServiceCtrlHandler failed 1083 \n");
}

TEST_F(Brevant, MainStartedFromAPromptWritesTheDispatcherError) {
    unsetenv("STANDIN_SCM_CONTROL");
    EXPECT_EQ(BrevantNTServiceMain(), 0);
    EXPECT_EQ(output_.text(),
              "[BREVANT] Entering main... \n"
              "[BREVANT] StartServiceCtrlDispatcher error = 1063 \n"
              "[BREVANT] Returning from main \n");
}
