// The connector with a real VM and the test engine, loaded as IIS loads it and driven through
// its exports with fake control blocks and filter contexts.
//
// A process holds one VM and the connector keeps process-wide state: a test body begins with
// IN_SUITE_PROCESS(), and the suite's first test in the parent runs the whole suite, in the
// order the tests stand here, in one child process (this binary again) with one module.
#include <dlfcn.h>
#include <jni.h>
#include <objbase.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>
#include <httpext.h>
#include <httpfilt.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "fake_ecb.h"
#include "fake_filter_context.h"
#include "jvm_host_world.h"
#include "test_paths.h"

namespace bridgetest {
namespace {

using testsupport::FakeEcb;
using testsupport::FakeFilterContext;

constexpr char kChildVariable[] = "BREVANT_MODULE_TEST_CHILD";

const testsupport::ScratchDir& scratch() {
    static const testsupport::ScratchDir dir("isapi-module");
    return dir;
}
std::string home(const std::string& file = "") {
    return scratch().file("home") + file;
}

template <typename Function>
Function exported(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// In a child process: true. In the parent: runs the current test's suite in a child, once,
// expects it to pass, and answers false.
bool inSuiteProcess() {
    static std::set<std::string> suitesRun;
    const std::string suite =
        testing::UnitTest::GetInstance()->current_test_info()->test_suite_name();
    if (getenv(kChildVariable) != nullptr || !suitesRun.insert(suite).second) {
        return getenv(kChildVariable) != nullptr;
    }
    const std::string option = "--gtest_filter=" + suite + ".*";
    const pid_t child = fork();
    if (child == 0) {
        setenv(kChildVariable, "1", 1);
        execl("/proc/self/exe", "module-test-child", option.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    EXPECT_TRUE(child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                WEXITSTATUS(status) == 0)
        << "the child process failed (its output is above), status " << status;
    return false;
}

#define IN_SUITE_PROCESS()   \
    if (!inSuiteProcess()) { \
        return;              \
    }

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// Loads a class in the process's VM on this thread, as any VM thread may at any time.
bool loadClassInTheVM(const char* name) {
    void* jvm = dlopen(BREVANT_TEST_JDK_HOME "/lib/server/libjvm.so", RTLD_NOW | RTLD_NOLOAD);
    if (jvm == nullptr) {
        return false;
    }
    auto created =
        reinterpret_cast<jint (*)(JavaVM**, jsize, jsize*)>(dlsym(jvm, "JNI_GetCreatedJavaVMs"));
    JavaVM* vm = nullptr;
    jsize count = 0;
    JNIEnv* env = nullptr;
    bool loaded = created != nullptr && created(&vm, 1, &count) == JNI_OK && count == 1 &&
                  vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) == JNI_OK &&
                  env->FindClass(name) != nullptr;
    dlclose(jvm);
    return loaded;
}

// The module of this process. In the child: an install home whose class path puts the test
// engine first, the JDK in the registry, "index.jsp" as IIS's default document.
class ModuleTest : public testing::Test {
  protected:
    void SetUp() override { setUpModule(); }
    // Writes `data` to the data folder, then loads the module and its filter, which starts
    // the VM and the engine; once a process.
    void setUpModule(std::map<std::string, std::string> data = {}) {
        if (getenv(kChildVariable) == nullptr || httpFilterProc_ != nullptr) {
            return;
        }
        std::filesystem::create_directories(home("/Brevant Data"));
        std::filesystem::create_directories(home("/Servlets"));
        data["Classpath.pref"] = std::string(TEST_ENGINE_JAR) + "\n" + ENGINE_JAR + "\n";
        for (const auto& [name, text] : data) {
            testsupport::writeFile(home("/Brevant Data/") + name, text);
        }
        setenv("STANDIN_REGISTRY", scratch().file("registry.reg").c_str(), 1);
        setenv("STANDIN_DEBUG_OUTPUT", scratch().file("debug.txt").c_str(), 1);
        vmtest::writeRegistry(
            scratch().file("registry.reg"),
            vmtest::section("SOFTWARE\\Orlena\\Brevant ISAPI", "Home", home()) +
                vmtest::section("SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters",
                                "Default Load File", "index.jsp") +
                vmtest::installation(vmtest::kCurrentKit, "17", BREVANT_TEST_JDK_HOME));
        CoInitialize(nullptr);  // as IIS's threads are
        HMODULE module = LoadLibraryA(BREVANT_ISAPI_MODULE);
        ASSERT_NE(module, nullptr);
        httpFilterProc_ = exported<PFN_HTTPFILTERPROC>(module, "HttpFilterProc");
        httpExtensionProc_ = exported<PFN_HTTPEXTENSIONPROC>(module, "HttpExtensionProc");
        HTTP_FILTER_VERSION filterVersion{};
        HSE_VERSION_INFO extensionVersion{};
        ASSERT_TRUE(exported<PFN_GETFILTERVERSION>(module, "GetFilterVersion")(&filterVersion));
        ASSERT_TRUE(
            exported<PFN_GETEXTENSIONVERSION>(module, "GetExtensionVersion")(&extensionVersion));
    }

    // Serves a request for the extension whose query string names the engine's action,
    // with `variables` over the usual ones; what the client received.
    std::string serve(FakeEcb& ecb, const std::string& action,
                      const std::map<std::string, std::string>& variables = {}) {
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

    std::string serve(const std::string& action) {
        FakeEcb ecb;
        return serve(ecb, action);
    }
    DWORD filter(FakeFilterContext& context, DWORD type, void* notification) {
        return httpFilterProc_(context.pfc(), type, notification);
    }
    // The preprocessing notification for `url`.
    DWORD route(FakeFilterContext& context, const std::string& url) {
        context.url = url;
        return filter(context, SF_NOTIFY_PREPROC_HEADERS, context.preproc());
    }

    std::string engineCalls() const {
        return testsupport::readFile(home("/Brevant Data/calls.txt"));
    }
    std::string nativeLog() const { return testsupport::readFile(home("/BrevantNative.log")); }
    std::string debugOutput() const { return testsupport::readFile(scratch().file("debug.txt")); }

    // The filter's answer to an authenticated request for a long servlet URL by `name`,
    // and the user name IIS then logs on.
    std::string authenticate(const char* name) {
        FakeFilterContext context;
        context.variables.emplace_back("HTTP_X_BREVANT_REQUEST",
                                       "/servlet/secret?" + std::string(3000, 'q'));
        char user[SF_MAX_USERNAME];
        char password[SF_MAX_PASSWORD] = "pw";
        std::snprintf(user, sizeof user, "%s", name);
        HTTP_FILTER_AUTHENT authent{user, sizeof user, password, sizeof password};
        EXPECT_EQ(filter(context, SF_NOTIFY_AUTHENTICATION, &authent),
                  SF_STATUS_REQ_HANDLED_NOTIFICATION);
        EXPECT_STREQ(password, "pw");
        return user;
    }
    // The marker the filter sets for `url`, "-" when it leaves the request to IIS.
    std::string marker(const char* url) {
        FakeFilterContext context;
        EXPECT_EQ(route(context, url), SF_STATUS_REQ_NEXT_NOTIFICATION);
        const auto marker = context.header("X-Brevant-Request");
        EXPECT_EQ(context.url, marker ? "/Scripts/Brevant_ISAPI.dll" : url);
        return marker.value_or("-");
    }

  private:
    static inline PFN_HTTPEXTENSIONPROC httpExtensionProc_ = nullptr;
    static inline PFN_HTTPFILTERPROC httpFilterProc_ = nullptr;
};

using EngineBridgeTest = ModuleTest;

TEST_F(EngineBridgeTest, TheEngineStartsWithTheServerTypeAndTheServletsFolder) {
    IN_SUITE_PROCESS();
    EXPECT_EQ(engineCalls().substr(0, engineCalls().find('\n')),
              "init Microsoft IIS|0|0|" + home("/Servlets"));
}

TEST_F(EngineBridgeTest, TheEngineReceivesTheRequestValues) {
    IN_SUITE_PROCESS();
    FakeEcb ecb;
    ecb.pathRoot = "/srv/www";
    ecb.setBody("abc", "defghij");
    std::string allHttp = "HTTP_X_LONG:" + std::string(5987, 'a') + "\n";  // 6000 bytes
    EXPECT_EQ(serve(ecb, "describe",
                    {{"ALL_HTTP", allHttp},
                     {"REMOTE_ADDR", "10.0.0.1"},
                     {"REMOTE_HOST", "client"},
                     {"SERVER_NAME", "example.com"},
                     {"SERVER_PORT", " 8080x"},
                     {"SERVER_PORT_SECURE", "1"}}),
              "text=GET /Scripts/Brevant_ISAPI.dll?describe HTTP/1.1\n" + allHttp +
                  "|preloaded=abc|addr=10.0.0.1|host=client|name=example.com|port=8080"
                  "|root=/srv/www/|secure=true|extra=null|user=null");
    EXPECT_EQ(ecb.sizesPassed["ALL_HTTP"], 6001u);  // the second read, at the size IIS named
}

TEST_F(EngineBridgeTest, TheServerSoftwareIsToldOnce) {
    IN_SUITE_PROCESS();
    serve("");
    serve("");
    EXPECT_EQ(count(engineCalls(), "server-info isapihost-test\n"), 1u);
}

// A status line sets the status IIS logs; an empty status reaches IIS as null.
TEST_F(EngineBridgeTest, TheStatusReachesIIS) {
    IN_SUITE_PROCESS();
    FakeEcb status, shortStatus, noStatus;
    EXPECT_EQ(serve(status, "status"), "HTTP/1.0 404 Not Found\r\n\r\n0");
    EXPECT_EQ(status.get()->dwHttpStatusCode, 404u);
    EXPECT_EQ(serve(shortStatus, "short-status"), "HTTP/1.00");
    EXPECT_EQ(shortStatus.get()->dwHttpStatusCode, 200u);
    serve(noStatus, "no-status");
    EXPECT_EQ(noStatus.responseHeaders.at(0).status, "(null)");
}

// Six bytes asked for, then none; the client gives two at a time.
TEST_F(EngineBridgeTest, ReadClientAnswersTheWholeLengthOrNull) {
    IN_SUITE_PROCESS();
    const struct {
        const char* body;
        FakeEcb::ClientEnd end;
        const char* answer;
    } cases[] = {{"abcdef", FakeEcb::ClientEnd::EndOfBody, "abcdef|0"},
                 {"abc", FakeEcb::ClientEnd::Fails, "null|0"},
                 {"abc", FakeEcb::ClientEnd::EndOfBody, "null|0"}};
    for (const auto& c : cases) {
        FakeEcb ecb;
        ecb.setBody("", c.body);
        ecb.clientEnd = c.end;
        ecb.readLimit = 2;
        EXPECT_EQ(serve(ecb, "read"), c.answer) << c.body;
    }
}

// The real path of a short and of a too long path, the client certificate, the bytes
// available and a write of nothing.
TEST_F(EngineBridgeTest, PathsAndCertificateComeFromIIS) {
    IN_SUITE_PROCESS();
    FakeEcb ecb;
    ecb.pathRoot = "/srv/www";
    EXPECT_EQ(serve(ecb, "paths",
                    {{"CERT_FLAGS", "1"},
                     {"CERT_SUBJECT", "CN=client"},
                     {"CERT_SERVER_SUBJECT", "CN=server"},
                     {"CERT_ISSUER", "CN=ca"},
                     {"CERT_SERIALNUMBER", "01-02-03-04-05-06-07-08-09-0a-0b-0c-0d-0e-0f-10"}}),
              "/srv/www/img/a.gif|null|&DN#CN=client CN=server&IN#CN=ca"
              "&SN#100f0e0d0c0b0a090807060504030201&END&|1|87");
    EXPECT_NE(nativeLog().find("Brevant: CERT_FLAGS=1\r\n"), std::string::npos);
}

// The handle of the last request, used once it has ended, reaches nothing.
TEST_F(EngineBridgeTest, AStaleHandleReachesNothing) {
    IN_SUITE_PROCESS();
    serve("");
    EXPECT_EQ(serve("stale"), "6|false|null|null|null");
}

// The VM's own stack-overflow handling works in the host's process, with its signals.
TEST_F(EngineBridgeTest, TheEngineCatchesItsStackOverflow) {
    IN_SUITE_PROCESS();
    EXPECT_EQ(serve("overflow"), "stack overflow caught");
}

TEST_F(EngineBridgeTest, AnEngineExceptionStillEndsTheRequestAsServed) {
    IN_SUITE_PROCESS();
    EXPECT_EQ(serve("throw"), "");
    EXPECT_EQ(nativeLog().find("ProcessRequest Failed!!!"), std::string::npos);
}

// "/servlet/" is answered without Java; other URLs are servlet aliases when the engine says
// so, and directories when their default document is one.
TEST_F(EngineBridgeTest, TheFilterRoutesWhatTheEngineServes) {
    IN_SUITE_PROCESS();
    EXPECT_EQ(marker("/servlet/Hello?x=1"), "/servlet/Hello?x=1");
    EXPECT_EQ(marker("http://example.com/alias/a"), "/alias/a");
    EXPECT_EQ(marker("/Servlet/x"), "-");
    EXPECT_EQ(marker("/docs/?page=2"), "/docs/index.jsp?page=2");
    EXPECT_EQ(marker("/docs/index.html?a/"), "-");
    const std::string asked = engineCalls();
    EXPECT_EQ(asked.find("alias /servlet/"), std::string::npos);
    EXPECT_NE(asked.find("alias /Servlet/x|null\n"), std::string::npos);
    EXPECT_NE(asked.find("alias /docs/index.jsp|null\n"), std::string::npos);
}

// The engine switches it off twice, then on twice.
TEST_F(EngineBridgeTest, IISSecuritySwitchesAreLoggedOncePerChange) {
    IN_SUITE_PROCESS();
    const size_t before = nativeLog().size();
    serve("security");
    const std::string logged = nativeLog().substr(before);
    EXPECT_EQ(count(logged, "IIS Security is being used."), 1u);
    EXPECT_LE(count(logged, "IIS Security is not being used."), 1u);
}

// The engine is asked about routed requests only.
TEST_F(EngineBridgeTest, WithIISSecurityOnTheEngineRefusesUsers) {
    IN_SUITE_PROCESS();
    serve("security");
    EXPECT_EQ(authenticate("mallory"), "Brevant Not Authorized");
    EXPECT_EQ(authenticate("alice"), "alice");
    EXPECT_NE(engineCalls().find("auth 3016|null|mallory|pw\n"), std::string::npos);
    FakeFilterContext unrouted;
    HTTP_FILTER_AUTHENT nobody{nullptr, 0, nullptr, 0};
    EXPECT_EQ(filter(unrouted, SF_NOTIFY_AUTHENTICATION, &nobody), SF_STATUS_REQ_NEXT_NOTIFICATION);
}

// The engine's Init answers -2, and the VM logs verbosely (here: its class loading).
class FailedStartTest : public ModuleTest {
  protected:
    void SetUp() override {
        setUpModule({{"init-code", "-2"}, {"VMSettings.pref", "verbose=true\n"}});
    }
};

TEST_F(FailedStartTest, TheEngineIsShutDownAndTheLogClosed) {
    IN_SUITE_PROCESS();
    FakeFilterContext context;
    ASSERT_EQ(route(context, "/servlet/x"), SF_STATUS_REQ_FINISHED);  // the failure page
    EXPECT_NE(engineCalls().find("shutdown\n"), std::string::npos);
    EXPECT_TRUE(nativeLog().ends_with("Logging stopped\r\n"));
}

// The VM's threads log also after the failed start closed the log: their entries reach the
// debugger output only, not the closed file nor a file that took its descriptor.
TEST_F(FailedStartTest, LateVMOutputSkipsTheClosedLog) {
    IN_SUITE_PROCESS();
    const std::string logBefore = nativeLog();
    testsupport::ScratchDir scratch("reused");
    std::unique_ptr<FILE, int (*)(FILE*)> reused(std::fopen(scratch.file("file").c_str(), "w"),
                                                 &std::fclose);
    ASSERT_TRUE(loadClassInTheVM("java/util/concurrent/ConcurrentSkipListMap"));
    EXPECT_NE(debugOutput().find("Java VM message: java.util.concurrent.ConcurrentSkipListMap"),
              std::string::npos);
    EXPECT_EQ(nativeLog(), logBefore);
    EXPECT_EQ(testsupport::readFile(scratch.file("file")), "");
}

}  // namespace
}  // namespace bridgetest
