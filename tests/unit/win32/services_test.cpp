// The service control stand-in: service records in the registry, the manager's calls and
// the dispatcher of a real service process (service_program/test_service.cpp) started by
// StartServiceA.
#include <windows.h>

#include <gtest/gtest.h>
#include <limits.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "test_paths.h"

namespace {

std::string testServiceProgram() {
    char self[PATH_MAX] = {};
    ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    std::string path(self, length > 0 ? size_t(length) : 0);
    return path.substr(0, path.rfind('/')) + "/test_service";
}

std::string readStringValue(HKEY key, const char* name, DWORD* type) {
    char data[1024] = {};
    DWORD size = sizeof(data);
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<LPBYTE>(data), &size))
        << name;
    return std::string(data, size);
}

DWORD readDwordValue(HKEY key, const char* name) {
    DWORD value = 0xdeadbeef;
    DWORD type = 0;
    DWORD size = sizeof(value);
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size))
        << name;
    EXPECT_EQ(type, DWORD(REG_DWORD)) << name;
    return value;
}

class Services : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("STANDIN_REGISTRY");
        oldRegistry_ = old != nullptr ? old : "";
        setenv("STANDIN_REGISTRY", dir_.file("registry.reg").c_str(), 1);
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager_, nullptr);
    }

    void TearDown() override {
        for (SC_HANDLE service : started_) {
            SERVICE_STATUS status{};
            ControlService(service, SERVICE_CONTROL_STOP, &status);
        }
        for (SC_HANDLE service : opened_) {
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager_);
        setenv("STANDIN_REGISTRY", oldRegistry_.c_str(), 1);
    }

    std::string recordFile() const { return dir_.file("record.txt"); }
    std::string record() const { return testsupport::readFile(recordFile()); }

    std::string imagePath(const std::string& mode = "") const {
        return "\"" + testServiceProgram() + "\" " + recordFile() + (mode.empty() ? "" : " ") +
               mode;
    }

    SC_HANDLE create(const char* name, const std::string& imagePath,
                     DWORD startType = SERVICE_DEMAND_START) {
        SC_HANDLE service = CreateServiceA(
            manager_, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, startType,
            SERVICE_ERROR_NORMAL, imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        EXPECT_NE(service, nullptr) << name << ": " << GetLastError();
        return keep(service);
    }

    SC_HANDLE openService(const char* name, DWORD access = SERVICE_ALL_ACCESS) {
        return keep(OpenServiceA(manager_, name, access));
    }

    SC_HANDLE keep(SC_HANDLE service) {
        if (service != nullptr) {
            opened_.push_back(service);
        }
        return service;
    }

    // Starts the service and waits until it is no longer start-pending.
    SERVICE_STATUS start(SC_HANDLE service, std::vector<LPCSTR> arguments = {}) {
        EXPECT_TRUE(StartServiceA(service, DWORD(arguments.size()), arguments.data()))
            << GetLastError();
        started_.push_back(service);
        return waitWhile(service, SERVICE_START_PENDING);
    }

    SERVICE_STATUS waitWhile(SC_HANDLE service, DWORD state) {
        SERVICE_STATUS status{};
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (QueryServiceStatus(service, &status) && status.dwCurrentState == state &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return status;
    }

    testsupport::ScratchDir dir_{"services"};
    SC_HANDLE manager_ = nullptr;

  private:
    std::string oldRegistry_;
    std::vector<SC_HANDLE> opened_;
    std::vector<SC_HANDLE> started_;
};

}  // namespace

TEST_F(Services, TheManagerIsOnlyTheLocalActiveDatabase) {
    SetLastError(0);
    EXPECT_EQ(OpenSCManagerA("\\\\elsewhere", nullptr, SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_EQ(OpenSCManagerA(nullptr, SERVICES_FAILED_DATABASEA, SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DATABASE_DOES_NOT_EXIST));

    SC_HANDLE manager = OpenSCManagerA("", "servicesactive", SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr);
    EXPECT_TRUE(CloseServiceHandle(manager));
    EXPECT_FALSE(CloseServiceHandle(manager));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(CloseServiceHandle(nullptr));
}

TEST_F(Services, CreateServiceWritesTheRecordAsWindowsKeepsIt) {
    create("Brevant", "C:\\Brevant ISAPI\\Brevant.exe");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Brevant", 0,
                            KEY_READ, &key));
    EXPECT_EQ(readDwordValue(key, "Type"), DWORD(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(readDwordValue(key, "Start"), DWORD(SERVICE_DEMAND_START));
    EXPECT_EQ(readDwordValue(key, "ErrorControl"), DWORD(SERVICE_ERROR_NORMAL));
    DWORD type = 0;
    EXPECT_EQ(readStringValue(key, "ImagePath", &type),
              std::string("C:\\Brevant ISAPI\\Brevant.exe\0", 29));
    EXPECT_EQ(type, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(readStringValue(key, "DisplayName", &type), std::string("Brevant\0", 8));
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(readStringValue(key, "ObjectName", &type), std::string("LocalSystem\0", 12));
    RegCloseKey(key);

    // Names compare without regard to case, as Windows compares them.
    EXPECT_NE(openService("BREVANT", READ_CONTROL), nullptr);
    EXPECT_EQ(CreateServiceA(manager_, "brevant", nullptr, SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             "x", nullptr, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_EXISTS));
    EXPECT_EQ(CreateServiceA(manager_, "Other", "BREVANT", SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             "x", nullptr, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DUPLICATE_SERVICE_NAME));
    EXPECT_EQ(OpenServiceA(manager_, "Brevant2", READ_CONTROL), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(Services, CreateServiceChecksItsArgumentsAsWindowsDoes) {
    SC_HANDLE connectOnly = keep(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    SC_HANDLE aService = create("Existing", "/bin/true");
    DWORD tag = 0;
    struct Case {
        const char* what;
        SC_HANDLE manager;
        const char* name;
        DWORD type, start, errorControl;
        const char* path;
        LPDWORD tag;
        DWORD error;
    };
    const DWORD own = SERVICE_WIN32_OWN_PROCESS, demand = SERVICE_DEMAND_START,
                normal = SERVICE_ERROR_NORMAL;
    const Case cases[] = {
        {"a service handle", aService, "A", own, demand, normal, "p", nullptr,
         ERROR_INVALID_HANDLE},
        {"no create right", connectOnly, "A", own, demand, normal, "p", nullptr,
         ERROR_ACCESS_DENIED},
        {"empty name", manager_, "", own, demand, normal, "p", nullptr, ERROR_INVALID_NAME},
        {"slash", manager_, "a/b", own, demand, normal, "p", nullptr, ERROR_INVALID_NAME},
        {"backslash", manager_, "a\\b", own, demand, normal, "p", nullptr, ERROR_INVALID_NAME},
        {"type", manager_, "A", 0x40, demand, normal, "p", nullptr, ERROR_INVALID_PARAMETER},
        {"boot start", manager_, "A", own, SERVICE_BOOT_START, normal, "p", nullptr,
         ERROR_INVALID_PARAMETER},
        {"start 5", manager_, "A", own, 5, normal, "p", nullptr, ERROR_INVALID_PARAMETER},
        {"error control 4", manager_, "A", own, demand, 4, "p", nullptr, ERROR_INVALID_PARAMETER},
        {"empty path", manager_, "A", own, demand, normal, "", nullptr, ERROR_INVALID_PARAMETER},
        {"tag", manager_, "A", own, demand, normal, "p", &tag, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(CreateServiceA(c.manager, c.name, nullptr, SERVICE_ALL_ACCESS, c.type, c.start,
                                 c.errorControl, c.path, nullptr, c.tag, nullptr, nullptr, nullptr),
                  nullptr)
            << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    EXPECT_EQ(OpenServiceA(manager_, "A", READ_CONTROL), nullptr);
}

TEST_F(Services, AKeyWithoutTypeIsNoServiceAndCreateServiceTakesItOver) {
    HKEY parameters = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                              "SYSTEM\\CurrentControlSet\\Services\\Early\\Parameters", 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &parameters, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(parameters, "Start", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>("go"), 3));
    RegCloseKey(parameters);
    EXPECT_EQ(OpenServiceA(manager_, "Early", READ_CONTROL), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
    create("Early", "/bin/true");
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                           "SYSTEM\\CurrentControlSet\\Services\\Early\\Parameters",
                                           0, KEY_READ, &parameters));
    RegCloseKey(parameters);
}

TEST_F(Services, WithoutARegistryThereAreNoServices) {
    unsetenv("STANDIN_REGISTRY");
    EXPECT_EQ(OpenServiceA(manager_, "Brevant", READ_CONTROL), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_EQ(CreateServiceA(manager_, "Brevant", nullptr, SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             "p", nullptr, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

TEST_F(Services, EachCallNeedsItsRightOnTheHandle) {
    create("Svc", imagePath());
    SC_HANDLE readOnly = openService("Svc", READ_CONTROL);
    ASSERT_NE(readOnly, nullptr);
    SERVICE_STATUS status{};
    EXPECT_FALSE(StartServiceA(readOnly, 0, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(QueryServiceStatus(readOnly, &status));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(ControlService(readOnly, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteService(readOnly));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));

    SC_HANDLE executing = openService("Svc", GENERIC_EXECUTE);
    EXPECT_FALSE(QueryServiceStatus(executing, &status)) << "execute does not include query";
    EXPECT_FALSE(ControlService(executing, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_NOT_ACTIVE)) << "but it may stop";
    EXPECT_FALSE(ControlService(manager_, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(Services, ANewServiceIsStoppedWithoutExitCodes) {
    SC_HANDLE service = create("Svc", imagePath());
    SERVICE_STATUS status{};
    status.dwWin32ExitCode = 99;
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwServiceType, DWORD(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED));
    EXPECT_EQ(status.dwWin32ExitCode, 0u);
    EXPECT_EQ(status.dwServiceSpecificExitCode, 0u);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_NOT_ACTIVE));
}

TEST_F(Services, AProcessNotStartedAsAServiceGetsNoDispatcher) {
    unsetenv("STANDIN_SCM_CONTROL");
    static char name[] = "X";
    SERVICE_TABLE_ENTRYA table[] = {{name, [](DWORD, LPSTR*) {}}, {nullptr, nullptr}};
    EXPECT_FALSE(StartServiceCtrlDispatcherA(table));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
    setenv("STANDIN_SCM_CONTROL", "0", 1);  // standard input is no listening socket
    EXPECT_FALSE(StartServiceCtrlDispatcherA(table));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
    unsetenv("STANDIN_SCM_CONTROL");
    EXPECT_FALSE(StartServiceCtrlDispatcherA(nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    EXPECT_EQ(RegisterServiceCtrlHandlerA("X", [](DWORD) {}), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_NOT_IN_EXE));
    SERVICE_STATUS status{};
    status.dwCurrentState = SERVICE_RUNNING;
    EXPECT_FALSE(SetServiceStatus(nullptr, &status));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(Services, StartRunsTheImagePathAndServiceMainGetsNameAndArguments) {
    create("TestSvc", imagePath());
    SC_HANDLE service = openService("testsvc");
    SERVICE_STATUS status = start(service, {"one", "two words"});
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_RUNNING));
    EXPECT_EQ(status.dwControlsAccepted, DWORD(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN));
    EXPECT_EQ(record(), "argv 2: " + testServiceProgram() + "|" + recordFile() +
                            "\nservice 3: TestSvc|one|two words\n");

    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_ALREADY_RUNNING));
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_PAUSE, &status));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_SERVICE_CONTROL)) << "not accepted";
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_RUNNING));
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_SHUTDOWN, &status));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << "only the system shuts down";
    EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_INTERROGATE, &status));
    EXPECT_TRUE(ControlService(service, 200, &status));

    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED));
    status = waitWhile(service, SERVICE_RUNNING);
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED));
    EXPECT_EQ(status.dwControlsAccepted, 0u);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_NOT_ACTIVE));
    // The dispatcher returned and main went on.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (record().find("main returns") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_NE(record().find("control 4\ncontrol 200\ncontrol 1\nmain returns\n"), std::string::npos)
        << record();

    // And it starts again.
    EXPECT_EQ(start(service).dwCurrentState, DWORD(SERVICE_RUNNING));
}

TEST_F(Services, AProcessThatNeverCallsTheDispatcherFailsTheStart) {
    SC_HANDLE service = create("Svc", imagePath("exit-at-once"));
    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_REQUEST_TIMEOUT));
    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED));
    EXPECT_EQ(status.dwWin32ExitCode, DWORD(ERROR_PROCESS_ABORTED));
}

TEST_F(Services, AServiceWhoseProcessDiesIsStoppedWithProcessAborted) {
    SC_HANDLE service = create("Svc", imagePath("die-when-running"));
    ASSERT_TRUE(StartServiceA(service, 0, nullptr));
    SERVICE_STATUS status = waitWhile(service, SERVICE_START_PENDING);
    status = waitWhile(service, SERVICE_RUNNING);
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED));
    EXPECT_EQ(status.dwWin32ExitCode, DWORD(ERROR_PROCESS_ABORTED));
}

TEST_F(Services, StartFailsForAMissingProgramAndADisabledService) {
    SC_HANDLE missing = create("Missing", "\"" + dir_.file("no such program") + "\"");
    EXPECT_FALSE(StartServiceA(missing, 0, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(missing, &status));
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED));

    SC_HANDLE disabled = create("Disabled", imagePath(), SERVICE_DISABLED);
    EXPECT_FALSE(StartServiceA(disabled, 0, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_DISABLED));
    EXPECT_EQ(record(), "") << "nothing ran";
}

TEST_F(Services, DeleteServiceWaitsForARunningServiceToStop) {
    SC_HANDLE stopped = create("Stopped", imagePath());
    EXPECT_TRUE(DeleteService(stopped));
    EXPECT_EQ(OpenServiceA(manager_, "Stopped", READ_CONTROL), nullptr);

    SC_HANDLE service = create("Svc", imagePath());
    ASSERT_EQ(start(service).dwCurrentState, DWORD(SERVICE_RUNNING));
    EXPECT_TRUE(DeleteService(service));
    EXPECT_FALSE(DeleteService(service));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_MARKED_FOR_DELETE));
    EXPECT_EQ(CreateServiceA(manager_, "Svc", nullptr, SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             "p", nullptr, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_MARKED_FOR_DELETE));
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(OpenServiceA(manager_, "Svc", READ_CONTROL), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
}
