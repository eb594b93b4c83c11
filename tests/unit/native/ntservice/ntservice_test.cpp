// Brevant's logic on the Win32 stand-in: what each step writes to the debugger output, byte
// for byte, and what it reports. tests/integration/ntservice_test.cpp drives the service
// control manager's side and main for real.
#include <standin_test_hooks.h>
#include <windows.h>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>

#include "native/ntservice/BrevantNTService.h"
#include "native/ntservice/BrevantNTService_internal.h"
#include "debug_output_capture.h"
#include "test_paths.h"

namespace {

// The stop client's exit codes: the message each gives (none: nullptr) and whether the
// server counts as stopped.
const std::tuple<int, const char*, bool> kStopOutcomes[] = {
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
};

// A scratch registry, a fresh service state, and a folder whose name holds a blank and
// what would be a format.
class Brevant : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("STANDIN_REGISTRY", dir_.file("registry.reg").c_str(), 1);
        mkdir(folder_.c_str(), 0755);
        service_name = "Brevant";
        serviceStatus = SERVICE_STATUS{};
        serviceStatusHandle = nullptr;
    }
    void TearDown() override { StandinClearFailures(); }

    // Stores `bytes` as the value `name` of the service's Parameters key.
    void setParameter(const char* name, const std::string& bytes, DWORD type = REG_SZ) {
        std::string path = "SYSTEM\\CurrentControlSet\\Services\\" + service_name + "\\Parameters";
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 DWORD(bytes.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    // A script in the folder: appends "ran <argument count>" to the record, exits `exitCode`.
    std::string script(const std::string& name, int exitCode) {
        std::string path = folder_ + "/" + name;
        testsupport::writeFile(path, "#!/bin/sh\necho \"ran $#\" >> '" + record_ + "'\nexit " +
                                         std::to_string(exitCode) + "\n");
        chmod(path.c_str(), 0755);
        return path;
    }
    // The record, waited for: the start command runs unwaited.
    std::string record(bool wait = false) const {
        for (int i = 0; wait && i < 1000 && testsupport::readFile(record_).empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return testsupport::readFile(record_);
    }
    static std::string spawning(const std::string& command, bool spawned = true) {
        return "[BREVANT] Spawning " + command + "... \n" +
               (spawned ? "[BREVANT] Spawned " + command + " \n" : "");
    }

    testsupport::ScratchDir dir_{"ntservice"};
    const std::string folder_ = dir_.file("Brevant %s ISAPI"), record_ = dir_.file("record");
    testsupport::DebugOutputCapture output_;
};

}  // namespace

TEST(StopOutcome, EachExitCodeOfTheStopClientHasItsMessageAndOutcome) {
    for (const auto& [exitCode, message, stopped] : kStopOutcomes) {
        EXPECT_EQ(StopOutcomeFor(exitCode).stopped, stopped) << exitCode;
        EXPECT_STREQ(StopOutcomeFor(exitCode).message, message) << exitCode;
    }
}

TEST(ServiceDebugOut, FormatsOneValueAndDropsLongFormats) {
    testsupport::DebugOutputCapture output;
    ServiceDebugOut("[BREVANT] SetServiceStatus error %ld \n", DWORD(-4));
    ServiceDebugOut("[BREVANT] Returning from main \n", 7);
    ServiceDebugOut(std::string(999, 'x').c_str(), 0);
    ServiceDebugOut(std::string(1000, 'y').c_str(), 0);
    EXPECT_EQ(output.text(),
              "[BREVANT] SetServiceStatus error -4 \n[BREVANT] Returning from main \n" +
                  std::string(999, 'x'));
}

TEST_F(Brevant, AnUnreadableCommandGivesTheRegistrysErrorCode) {
    EXPECT_FALSE(StartBrevant());  // no Parameters key
    EXPECT_EQ(serviceStatus.dwWin32ExitCode, DWORD(ERROR_FILE_NOT_FOUND));
    setParameter("Start", "/bin/true");
    EXPECT_FALSE(StopBrevant());
    EXPECT_EQ(serviceStatus.dwWin32ExitCode, DWORD(ERROR_FILE_NOT_FOUND));
    StandinFailNextCalls("RegQueryValueExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(StartBrevant());
    EXPECT_EQ(serviceStatus.dwWin32ExitCode, DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(serviceStatus.dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(output_.text(),
              "[BREVANT] Starting Brevant... \n[BREVANT] Failed to open Parameters registry key \n"
              "[BREVANT] Stopping Brevant... \n"
              "[BREVANT] Failed to get ParametersStop registry value \n"
              "[BREVANT] Starting Brevant... \n"
              "[BREVANT] Failed to get ParametersStart registry value \n");
}

TEST_F(Brevant, TheStartCommandRunsUnwaitedAsOneFileNameOrGivesMinus10) {
    service_name = "Bre%s%n%dvant";  // data, never a format
    const std::tuple<std::string, DWORD, bool> cases[] = {
        // the command, stored without a terminating zero as this type; whether it starts
        {script("StartBrevant.sh", 0), REG_BINARY, true},
        {script("go.sh", 0) + " -x", REG_SZ, false},
        {folder_ + "/%s%n.sh", REG_EXPAND_SZ, false},
    };
    for (const auto& [command, type, started] : cases) {
        serviceStatus = SERVICE_STATUS{};
        setParameter("Start", command, type);
        testsupport::DebugOutputCapture output;
        EXPECT_EQ(StartBrevant(), started) << command;
        EXPECT_EQ(serviceStatus.dwWin32ExitCode, started ? 0 : DWORD(ERROR_SERVICE_SPECIFIC_ERROR));
        EXPECT_EQ(serviceStatus.dwServiceSpecificExitCode, started ? 0 : DWORD(-10));
        EXPECT_EQ(output.text(), "[BREVANT] Starting Bre%s%n%dvant... \n" +
                                     spawning(command, started) +
                                     (started ? "[BREVANT] Started Bre%s%n%dvant \n"
                                              : "[BREVANT] Failed to spawn service command \n"));
    }
    EXPECT_EQ(record(true), "ran 0\n") << "the blank in its path is quoted";
}

TEST_F(Brevant, TheHandlerRunsTheStopCommandForStopAndShutdownAndReportsEachState) {
    struct Case {
        DWORD control;
        int stopExit;                  // how the stop script exits, 8 bits; -1: there is no script
        DWORD state, win32, specific;  // afterwards
        std::string message;
    };
    const DWORD running = SERVICE_RUNNING, stopped = SERVICE_STOPPED,
                pending = SERVICE_STOP_PENDING, failed = ERROR_SERVICE_SPECIFIC_ERROR;
    const Case cases[] = {
        {SERVICE_CONTROL_STOP, 252, running, failed, DWORD(-4), std::get<1>(kStopOutcomes[4])},
        // Only the Win32 exit code starts again from 0.
        {SERVICE_CONTROL_SHUTDOWN, 253, stopped, 0, DWORD(-4),
         std::get<1>(kStopOutcomes[3]) + std::string("[BREVANT] Stopped Brevant \n")},
        {SERVICE_CONTROL_STOP, -1, running, failed, DWORD(-1), std::get<1>(kStopOutcomes[1])},
        {SERVICE_CONTROL_STOP, 0, stopped, 0, DWORD(-1), "[BREVANT] Stopped Brevant \n"},
        {SERVICE_CONTROL_PAUSE, 0, running, 0, DWORD(-1), ""},
        {SERVICE_CONTROL_CONTINUE, 0, running, 0, DWORD(-1), ""},
        {SERVICE_CONTROL_INTERROGATE, 0, pending, 0, DWORD(-1), ""},
        {200, 0, pending, 0, DWORD(-1), "[BREVANT] Unrecognized event 200 \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        bool stops = c.control == SERVICE_CONTROL_STOP || c.control == SERVICE_CONTROL_SHUTDOWN;
        std::string command = c.stopExit < 0 ? folder_ + "/None.sh" : script("Stop.sh", c.stopExit);
        setParameter("Stop", command + '\0');
        testsupport::writeFile(record_, "");
        serviceStatus.dwCurrentState = SERVICE_STOP_PENDING;
        serviceStatus.dwCheckPoint = 3;
        testsupport::DebugOutputCapture output;
        BrevantServiceCtrlHandler(c.control);
        EXPECT_EQ(serviceStatus.dwCurrentState, c.state);
        EXPECT_EQ(serviceStatus.dwWin32ExitCode, c.win32);
        EXPECT_EQ(serviceStatus.dwServiceSpecificExitCode, c.specific);
        EXPECT_EQ(serviceStatus.dwCheckPoint, stops ? 0u : 3u);
        EXPECT_EQ(record(), stops && c.stopExit >= 0 ? "ran 0\n" : "");  // waited for, no arguments
        // Without a registered handler every report fails, and says so.
        std::string notReported = "[BREVANT] SetServiceStatus error 6 \n";
        std::string stopping = notReported + "[BREVANT] Stopping Brevant... \n" + spawning(command);
        EXPECT_EQ(output.text(), "[BREVANT] Entering BrevantServiceCtrlHandler... \n" +
                                     (stops ? stopping : "") + c.message + notReported +
                                     "[BREVANT] Returning from BrevantServiceCtrlHandler \n");
    }
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
    std::string failed =
        "[BREVANT] Entering BrevantServiceMain... \n"
        "[BREVANT] BrevantServiceMain failed to get service's name \n";
    EXPECT_EQ(output_.text(), failed + failed +
                                  "[BREVANT] Entering BrevantServiceMain... \n"
                                  "[BREVANT] RegisterServiceCtrlHandler failed 1083 \n");
}
