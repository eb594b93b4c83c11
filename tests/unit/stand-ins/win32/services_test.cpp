// The service control stand-in: service records in the registry, the manager's calls and
// the dispatcher of a real service process (service_program/test_service.cpp).
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "portable/win32_helpers.h"
#include "test_paths.h"

namespace {

const DWORD kOwn = SERVICE_WIN32_OWN_PROCESS, kDemand = SERVICE_DEMAND_START,
            kNormal = SERVICE_ERROR_NORMAL;
const std::string kServices = "SYSTEM\\CurrentControlSet\\Services\\";

// The error of a call that failed; 0 for one that succeeded.
long failure(bool succeeded) {
    return succeeded ? 0 : long(GetLastError());
}

// The type and bytes of a value under HKEY_LOCAL_MACHINE.
std::pair<DWORD, std::string> valueOf(const std::string& key, const char* name) {
    HKEY opened = nullptr;
    char data[256] = {};
    DWORD size = sizeof(data), type = REG_NONE;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened);
    RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<LPBYTE>(data), &size);
    RegCloseKey(opened);
    return {type, std::string(data, type == REG_NONE ? 0 : size)};
}

// A scratch registry, the manager with all rights, and every handle stopped and closed after.
class Services : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("STANDIN_REGISTRY", dir_.file("registry.reg").c_str(), 1);
        manager_ = opened_.emplace_back(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    }
    void TearDown() override {
        for (SC_HANDLE handle : opened_) {
            ControlService(handle, SERVICE_CONTROL_STOP, &status_);
            CloseServiceHandle(handle);
        }
    }
    std::string record() const { return testsupport::readFile(recordFile_); }
    // The test service's command line: its record file, then `mode`.
    std::string imagePath(const std::string& mode = "") const {
        return "\"" + program_ + "\" " + recordFile_ + " " + mode;
    }

    // A service of its own process, or nullptr with the last error set.
    SC_HANDLE create(const char* name, const std::string& imagePath, DWORD start = kDemand) {
        return opened_.emplace_back(CreateServiceA(manager_, name, name, SERVICE_ALL_ACCESS, kOwn,
                                                   start, kNormal, imagePath.c_str(), nullptr,
                                                   nullptr, nullptr, nullptr, nullptr));
    }
    SC_HANDLE open(const char* name, DWORD access = SERVICE_ALL_ACCESS) {
        return opened_.emplace_back(OpenServiceA(manager_, name, access));
    }
    // The error of the control, the status it gave in status_.
    long control(SC_HANDLE service, DWORD control) {
        return failure(ControlService(service, control, &status_));
    }
    // Waits up to 20 seconds for `done`.
    template <typename Condition>
    static void waitFor(Condition done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    static SERVICE_STATUS waitUntil(SC_HANDLE service, DWORD state) {
        SERVICE_STATUS s{};
        waitFor([&] { return QueryServiceStatus(service, &s) && s.dwCurrentState == state; });
        return s;
    }
    // Starts the service and waits until it runs: the state it reached.
    static DWORD start(SC_HANDLE service, std::vector<LPCSTR> arguments = {}) {
        EXPECT_TRUE(StartServiceA(service, DWORD(arguments.size()), arguments.data()));
        return waitUntil(service, SERVICE_RUNNING).dwCurrentState;
    }

    testsupport::ScratchDir dir_{"services"};
    const std::string recordFile_ = dir_.file("record.txt");
    const std::string program_ =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "test_service").string();
    SC_HANDLE manager_ = nullptr;
    SERVICE_STATUS status_{};
    std::vector<SC_HANDLE> opened_;
};

TEST_F(Services, CreateServiceWritesTheRecordAsWindowsKeepsItTakingOverAKeyWithoutType) {
    HKEY parameters = win32test::createKey(HKEY_LOCAL_MACHINE, kServices + "Brevant\\Parameters");
    ASSERT_EQ(ERROR_SUCCESS, win32test::setValue(parameters, "Start", REG_SZ, {'g', 'o', 0}));
    RegCloseKey(parameters);
    EXPECT_EQ(failure(open("Brevant")), ERROR_SERVICE_DOES_NOT_EXIST);
    ASSERT_NE(create("Brevant", "C:\\Brevant ISAPI\\Brevant.exe"), nullptr);
    const std::tuple<const char*, DWORD, std::string> values[] = {
        {"Type", REG_DWORD, std::string("\x10\0\0\0", 4)},
        {"Start", REG_DWORD, std::string("\3\0\0\0", 4)},
        {"ErrorControl", REG_DWORD, std::string("\1\0\0\0", 4)},
        {"ImagePath", REG_EXPAND_SZ, std::string("C:\\Brevant ISAPI\\Brevant.exe\0", 29)},
        {"DisplayName", REG_SZ, std::string("Brevant\0", 8)},
        {"ObjectName", REG_SZ, std::string("LocalSystem\0", 12)},
    };
    for (const auto& [name, type, bytes] : values) {
        EXPECT_EQ(valueOf(kServices + "Brevant", name), std::make_pair(type, bytes)) << name;
    }
    EXPECT_EQ(valueOf(kServices + "Brevant\\Parameters", "Start").second, std::string("go\0", 3));
}

TEST_F(Services, CreateServiceChecksItsArgumentsAsWindowsDoes) {
    SC_HANDLE connectOnly =
        opened_.emplace_back(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    SC_HANDLE aService = create("Existing", "/bin/true");
    DWORD tag = 0;
    struct Case {
        const char *what, *name = "A", *displayName = nullptr, *path = "p";
        SC_HANDLE manager = nullptr;  // nullptr: the one with all rights
        DWORD type = kOwn, start = kDemand, errorControl = kNormal;
        LPDWORD tag = nullptr;
        long error;
    };
    const Case cases[] = {
        {.what = "a service handle", .manager = aService, .error = ERROR_INVALID_HANDLE},
        {.what = "no create right", .manager = connectOnly, .error = ERROR_ACCESS_DENIED},
        {.what = "display", .displayName = "existing", .error = ERROR_DUPLICATE_SERVICE_NAME},
        {.what = "empty name", .name = "", .error = ERROR_INVALID_NAME},
        {.what = "slash", .name = "a/b", .error = ERROR_INVALID_NAME},
        {.what = "backslash", .name = "a\\b", .error = ERROR_INVALID_NAME},
        {.what = "type", .type = 0x40, .error = ERROR_INVALID_PARAMETER},
        {.what = "boot start", .start = SERVICE_BOOT_START, .error = ERROR_INVALID_PARAMETER},
        {.what = "start 5", .start = 5, .error = ERROR_INVALID_PARAMETER},
        {.what = "error control 4", .errorControl = 4, .error = ERROR_INVALID_PARAMETER},
        {.what = "empty path", .path = "", .error = ERROR_INVALID_PARAMETER},
        {.what = "tag", .tag = &tag, .error = ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(failure(CreateServiceA(c.manager != nullptr ? c.manager : manager_, c.name,
                                         c.displayName, SERVICE_ALL_ACCESS, c.type, c.start,
                                         c.errorControl, c.path, nullptr, c.tag, nullptr, nullptr,
                                         nullptr)),
                  c.error)
            << c.what;
    }
    EXPECT_EQ(failure(open("A")), ERROR_SERVICE_DOES_NOT_EXIST);
    unsetenv("STANDIN_REGISTRY");  // without a registry there are no services
    EXPECT_EQ(failure(open("Existing")), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(failure(create("A", "p")), ERROR_ACCESS_DENIED);
}

TEST_F(Services, OnlyTheLocalActiveDatabaseOpens) {
    EXPECT_EQ(failure(OpenSCManagerA("\\\\elsewhere", nullptr, SC_MANAGER_CONNECT)),
              RPC_S_SERVER_UNAVAILABLE);
    EXPECT_EQ(failure(OpenSCManagerA(nullptr, SERVICES_FAILED_DATABASEA, SC_MANAGER_CONNECT)),
              ERROR_DATABASE_DOES_NOT_EXIST);
    SC_HANDLE manager = OpenSCManagerA("", "servicesactive", SC_MANAGER_CONNECT);
    EXPECT_EQ(failure(CloseServiceHandle(manager)), 0);
    EXPECT_EQ(failure(CloseServiceHandle(manager)), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseServiceHandle(nullptr));
    EXPECT_EQ(control(manager_, SERVICE_CONTROL_STOP), ERROR_INVALID_HANDLE);
}

TEST_F(Services, EachCallNeedsItsRight) {
    create("Svc", imagePath());
    SC_HANDLE readOnly = open("Svc", READ_CONTROL), executing = open("Svc", GENERIC_EXECUTE);
    EXPECT_EQ(failure(StartServiceA(readOnly, 0, nullptr)), ERROR_ACCESS_DENIED);
    EXPECT_EQ(failure(QueryServiceStatus(readOnly, &status_)), ERROR_ACCESS_DENIED);
    EXPECT_EQ(control(readOnly, SERVICE_CONTROL_STOP), ERROR_ACCESS_DENIED);
    EXPECT_EQ(failure(DeleteService(readOnly)), ERROR_ACCESS_DENIED);
    // Execute has no query, but it may stop.
    EXPECT_EQ(failure(QueryServiceStatus(executing, &status_)), ERROR_ACCESS_DENIED);
    EXPECT_EQ(control(executing, SERVICE_CONTROL_STOP), ERROR_SERVICE_NOT_ACTIVE);
}

TEST_F(Services, AProcessNotStartedAsAServiceGetsNoDispatcher) {
    static char name[] = "X";
    SERVICE_TABLE_ENTRYA table[] = {{name, [](DWORD, LPSTR*) {}}, {nullptr, nullptr}};
    setenv("STANDIN_SCM_CONTROL", "0", 1);  // standard input is no listening socket
    EXPECT_EQ(failure(StartServiceCtrlDispatcherA(table)), ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    unsetenv("STANDIN_SCM_CONTROL");
    EXPECT_EQ(failure(StartServiceCtrlDispatcherA(nullptr)), ERROR_INVALID_PARAMETER);
}

TEST_F(Services, StartRunsTheImagePathAndServiceMainGetsNameAndArguments) {
    create("TestSvc", imagePath());
    SC_HANDLE service = open("testsvc");
    EXPECT_EQ(start(service, {"one", "two words"}), DWORD(SERVICE_RUNNING));
    EXPECT_EQ(record(),
              "argv 2: " + program_ + "|" + recordFile_ + "\nservice 3: TestSvc|one|two words\n");
    EXPECT_EQ(failure(StartServiceA(service, 0, nullptr)), ERROR_SERVICE_ALREADY_RUNNING);
    EXPECT_EQ(control(service, SERVICE_CONTROL_PAUSE), ERROR_INVALID_SERVICE_CONTROL);
    EXPECT_EQ(control(service, SERVICE_CONTROL_SHUTDOWN), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(control(service, SERVICE_CONTROL_INTERROGATE), 0);
    EXPECT_EQ(control(service, 200), 0);
    ASSERT_EQ(control(service, SERVICE_CONTROL_STOP), 0);
    waitFor([&] { return record().find("main returns") != std::string::npos; });
    EXPECT_NE(record().find("control 4\ncontrol 200\ncontrol 1\nmain returns\n"), std::string::npos)
        << record();
}

TEST_F(Services, AServiceThatCannotRunEndsStopped) {
    const std::tuple<const char*, std::string, DWORD, long, DWORD> cases[] = {
        // name, image path, start type, StartServiceA's error, the Win32 exit code after (~0: any)
        {"Disabled", imagePath(), SERVICE_DISABLED, ERROR_SERVICE_DISABLED, 0},
        {"Missing", "\"" + dir_.file("no such program") + "\"", kDemand, ERROR_FILE_NOT_FOUND, ~0u},
        {"NoDispatcher", imagePath("exit-at-once"), kDemand, ERROR_SERVICE_REQUEST_TIMEOUT,
         ERROR_PROCESS_ABORTED},
        {"Dies", imagePath("die-when-running"), kDemand, 0, ERROR_PROCESS_ABORTED},
    };
    for (const auto& [name, path, startType, startError, exitCode] : cases) {
        SC_HANDLE service = create(name, path, startType);
        EXPECT_EQ(failure(StartServiceA(service, 0, nullptr)), startError) << name;
        SERVICE_STATUS status = waitUntil(service, SERVICE_STOPPED);
        EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED)) << name;
        EXPECT_TRUE(exitCode == ~0u || status.dwWin32ExitCode == exitCode) << name;
    }
    EXPECT_EQ(record().find("argv 2:"), std::string::npos) << "the disabled one never ran";
}

TEST_F(Services, DeleteServiceWaitsForARunningServiceToStop) {
    SC_HANDLE service = create("Svc", imagePath());
    ASSERT_EQ(start(service), DWORD(SERVICE_RUNNING));
    EXPECT_TRUE(DeleteService(service));
    EXPECT_EQ(failure(DeleteService(service)), ERROR_SERVICE_MARKED_FOR_DELETE);
    EXPECT_EQ(failure(create("Svc", "p")), ERROR_SERVICE_MARKED_FOR_DELETE);
    ASSERT_EQ(control(service, SERVICE_CONTROL_STOP), 0);
    EXPECT_EQ(failure(open("Svc")), ERROR_SERVICE_DOES_NOT_EXIST);
}

}  // namespace
