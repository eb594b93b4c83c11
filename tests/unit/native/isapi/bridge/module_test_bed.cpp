#include "module_test_bed.h"

#include <objbase.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

namespace bridgetest {

namespace {

// The install home and the stand-ins' files of this process's module.
const testsupport::ScratchDir& scratch() {
    static const testsupport::ScratchDir dir("isapi-module");
    return dir;
}

constexpr char kChildVariable[] = "BREVANT_MODULE_TEST_CHILD";

template <typename Function>
Function exported(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

bool isChildProcess() {
    return getenv(kChildVariable) != nullptr;
}

void runInChildProcess(const std::string& filter) {
    const std::string option = "--gtest_filter=" + filter;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv(kChildVariable, "1", 1);
        execl("/proc/self/exe", "module-test-child", option.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the child process failed (its output is above), status " << status;
}

void runCurrentSuiteOnce() {
    static std::set<std::string> suitesRun;
    const std::string suite =
        testing::UnitTest::GetInstance()->current_test_info()->test_suite_name();
    if (suitesRun.insert(suite).second) {
        runInChildProcess(suite + ".*");
    }
}

PFN_HTTPEXTENSIONPROC ModuleTest::httpExtensionProc_ = nullptr;
PFN_HTTPFILTERPROC ModuleTest::httpFilterProc_ = nullptr;

void ModuleTest::SetUp() {
    if (!isChildProcess() || httpFilterProc_ != nullptr) {
        return;
    }
    const std::string home = scratch().file("home");
    std::filesystem::create_directories(home + "/Brevant Data");
    std::filesystem::create_directories(home + "/Servlets");
    writeData("Classpath.pref", std::string(TEST_ENGINE_JAR) + "\n" + ENGINE_JAR + "\n");
    setenv("STANDIN_REGISTRY", scratch().file("registry.reg").c_str(), 1);
    setenv("STANDIN_DEBUG_OUTPUT", scratch().file("debug.txt").c_str(), 1);
    testsupport::writeFile(scratch().file("registry.reg"),
                           "REGEDIT4\n\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlena\\Brevant ISAPI]\n"
                           "\"Home\"=\"" +
                               home +
                               "\"\n\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JDK]\n"
                               "\"CurrentVersion\"=\"17\"\n\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JDK\\17]\n"
                               "\"JavaHome\"=\"" BREVANT_TEST_JDK_HOME
                               "\"\n\n"
                               "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\W3SVC\\"
                               "Parameters]\n"
                               "\"Default Load File\"=\"index.jsp\"\n\n");
}

void ModuleTest::loadModule() {
    if (httpFilterProc_ != nullptr) {
        return;
    }
    CoInitialize(nullptr);  // as IIS's threads are
    HMODULE module = LoadLibraryA(BREVANT_ISAPI_MODULE);
    ASSERT_NE(module, nullptr);
    auto getFilterVersion = exported<PFN_GETFILTERVERSION>(module, "GetFilterVersion");
    auto getExtensionVersion = exported<PFN_GETEXTENSIONVERSION>(module, "GetExtensionVersion");
    httpFilterProc_ = exported<PFN_HTTPFILTERPROC>(module, "HttpFilterProc");
    httpExtensionProc_ = exported<PFN_HTTPEXTENSIONPROC>(module, "HttpExtensionProc");
    ASSERT_TRUE(getFilterVersion && getExtensionVersion && httpFilterProc_ && httpExtensionProc_);
    HTTP_FILTER_VERSION filterVersion{};
    ASSERT_TRUE(getFilterVersion(&filterVersion));
    HSE_VERSION_INFO extensionVersion{};
    ASSERT_TRUE(getExtensionVersion(&extensionVersion));
}

std::string ModuleTest::serve(FakeEcb& ecb, const std::string& action,
                              const std::map<std::string, std::string>& variables) {
    ecb.variables = {{"REQUEST_METHOD", "GET"},
                     {"URL", "/Scripts/Brevant_ISAPI.dll"},
                     {"QUERY_STRING", action},
                     {"SERVER_PROTOCOL", "HTTP/1.1"},
                     {"ALL_HTTP", "HTTP_HOST:example.com\n"},
                     {"SERVER_SOFTWARE", "isapihost-test"}};
    for (const auto& [name, value] : variables) {
        ecb.variables[name] = value;
    }
    EXPECT_EQ(httpExtensionProc_(ecb.get()), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    return ecb.written;
}

void ModuleTest::writeData(const std::string& name, const std::string& text) const {
    testsupport::writeFile(scratch().file("home") + "/Brevant Data/" + name, text);
}

std::string ModuleTest::engineCalls() const {
    return testsupport::readFile(scratch().file("home") + "/Brevant Data/calls.txt");
}

std::string ModuleTest::debugOutput() const {
    return testsupport::readFile(scratch().file("debug.txt"));
}

std::string ModuleTest::nativeLog() const {
    return testsupport::readFile(scratch().file("home") + "/BrevantNative.log");
}

}  // namespace bridgetest
