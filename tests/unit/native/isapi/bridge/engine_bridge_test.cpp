// The connector with a real VM and the test engine, through its exports: the request values
// the engine receives, the natives as the engine calls them, the filter's routing and
// authentication questions, and a failed start that leaves the web server running.
#include <dlfcn.h>
#include <jni.h>

#include <cstdio>
#include <memory>
#include <string>

#include "module_test_bed.h"

namespace bridgetest {
namespace {

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

// The tests of this suite share one process and one module, in the order they stand here.
using EngineBridgeTest = ModuleTest;

TEST_F(EngineBridgeTest, TheEngineReceivesTheRequestValues) {
    IN_SUITE_PROCESS();
    loadModule();
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
    FakeEcb second;
    serve(second, "");
    EXPECT_EQ(count(engineCalls(), "server-info isapihost-test\n"), 1u);
}

TEST_F(EngineBridgeTest, NativesAnswerTheEngine) {
    IN_SUITE_PROCESS();
    loadModule();
    FakeEcb status, shortStatus, noStatus, paths, late;
    EXPECT_EQ(serve(status, "status"), "HTTP/1.0 404 Not Found\r\n\r\n0");
    EXPECT_EQ(status.get()->dwHttpStatusCode, 404u);
    EXPECT_EQ(serve(shortStatus, "short-status"), "HTTP/1.00");
    EXPECT_EQ(shortStatus.get()->dwHttpStatusCode, 200u);
    serve(noStatus, "no-status");
    EXPECT_EQ(noStatus.responseHeaders.at(0).status, "(null)");

    struct ReadCase {
        const char* body;
        FakeEcb::ClientEnd end;
        const char* answer;
    };
    for (const ReadCase& c : {ReadCase{"abcdef", FakeEcb::ClientEnd::EndOfBody, "abcdef|0"},
                              ReadCase{"abc", FakeEcb::ClientEnd::Fails, "null|0"},
                              ReadCase{"abc", FakeEcb::ClientEnd::EndOfBody, "null|0"}}) {
        FakeEcb ecb;
        ecb.setBody("", c.body);
        ecb.clientEnd = c.end;
        ecb.readLimit = 2;
        EXPECT_EQ(serve(ecb, "read"), c.answer) << c.body;
    }

    paths.pathRoot = "/srv/www";
    EXPECT_EQ(serve(paths, "paths",
                    {{"CERT_FLAGS", "1"},
                     {"CERT_SUBJECT", "CN=client"},
                     {"CERT_SERVER_SUBJECT", "CN=server"},
                     {"CERT_ISSUER", "CN=ca"},
                     {"CERT_SERIALNUMBER", "01-02-03-04-05-06-07-08-09-0a-0b-0c-0d-0e-0f-10"}}),
              "/srv/www/img/a.gif|null|&DN#CN=client CN=server&IN#CN=ca"
              "&SN#100f0e0d0c0b0a090807060504030201&END&|1|87");
    EXPECT_NE(nativeLog().find("Brevant: CERT_FLAGS=1\r\n"), std::string::npos);

    // The handle of the last request, used once it has ended, reaches nothing.
    EXPECT_EQ(serve(late, "stale"), "6|false|null|null|null");
}

TEST_F(EngineBridgeTest, EngineFailuresStillEndTheRequestAsServed) {
    IN_SUITE_PROCESS();
    loadModule();
    FakeEcb overflow, thrown;
    // The VM's own stack-overflow handling works in the host's process, with its signals.
    EXPECT_EQ(serve(overflow, "overflow"), "stack overflow caught");
    EXPECT_EQ(serve(thrown, "throw"), "");
    EXPECT_EQ(nativeLog().find("ProcessRequest Failed!!!"), std::string::npos);
}

TEST_F(EngineBridgeTest, TheFilterRoutesWhatTheEngineServes) {
    IN_SUITE_PROCESS();
    loadModule();
    struct Case {
        const char* url;
        const char* marker;  // null: not routed
    };
    for (const Case& c :
         {Case{"/servlet/Hello?x=1", "/servlet/Hello?x=1"},
          Case{"http://example.com/alias/a", "/alias/a"}, Case{"/Servlet/x", nullptr},
          Case{"/docs/?page=2", "/docs/index.jsp?page=2"}, Case{"/docs/index.html?a/", nullptr}}) {
        FakeFilterContext context;
        EXPECT_EQ(route(context, c.url), SF_STATUS_REQ_NEXT_NOTIFICATION);
        EXPECT_EQ(context.url, c.marker != nullptr ? "/Scripts/Brevant_ISAPI.dll" : c.url);
        EXPECT_EQ(context.header("X-Brevant-Request").value_or("-"),
                  c.marker != nullptr ? c.marker : "-");
    }
    std::string asked = engineCalls();
    EXPECT_EQ(asked.find("alias /servlet/"), std::string::npos);  // answered without Java
    EXPECT_NE(asked.find("alias /Servlet/x|null\n"), std::string::npos);
    EXPECT_NE(asked.find("alias /docs/index.jsp|null\n"), std::string::npos);
}

TEST_F(EngineBridgeTest, WithIISSecurityOnTheEngineRefusesUsers) {
    IN_SUITE_PROCESS();
    loadModule();
    FakeEcb security;
    serve(security, "security");  // off (already off), on, on again
    EXPECT_EQ(count(nativeLog(), "IIS Security is being used."), 1u);
    EXPECT_EQ(count(nativeLog(), "IIS Security is not being used."), 0u);

    const std::string longURL = "/servlet/secret?" + std::string(3000, 'q');
    for (const char* name : {"mallory", "alice"}) {
        FakeFilterContext context;
        context.variables.emplace_back("HTTP_X_BREVANT_REQUEST", longURL);
        char user[SF_MAX_USERNAME];
        char password[SF_MAX_PASSWORD] = "pw";
        std::snprintf(user, sizeof user, "%s", name);
        HTTP_FILTER_AUTHENT authent{user, sizeof user, password, sizeof password};
        EXPECT_EQ(filter(context, SF_NOTIFY_AUTHENTICATION, &authent),
                  SF_STATUS_REQ_HANDLED_NOTIFICATION);
        EXPECT_STREQ(user, name == std::string("mallory") ? "Brevant Not Authorized" : name);
        EXPECT_STREQ(password, "pw");
    }
    EXPECT_NE(engineCalls().find("auth 3016|null|mallory|pw\n"), std::string::npos);

    FakeFilterContext unrouted;
    HTTP_FILTER_AUTHENT nobody{nullptr, 0, nullptr, 0};
    EXPECT_EQ(filter(unrouted, SF_NOTIFY_AUTHENTICATION, &nobody), SF_STATUS_REQ_NEXT_NOTIFICATION);
}

// The VM's own threads log (here: verbose class loading) also after the failed start has
// closed the log; their entries must reach neither the closed file nor a file that took
// its place.
using FailedStartTest = ModuleTest;

TEST_F(FailedStartTest, AFailedInitIsExplainedAndLateVMOutputSkipsTheClosedLog) {
    IN_OWN_PROCESS();
    writeData("init-code", "-2");
    writeData("VMSettings.pref", "verbose=true\n");
    loadModule();
    FakeFilterContext context;
    ASSERT_EQ(route(context, "/servlet/x"), SF_STATUS_REQ_FINISHED);
    EXPECT_NE(context.written.find("</font></h2></center>Init failed, code = -2<br>engine says "
                                   "<b>no</b><p>The JavaHome"),
              std::string::npos);
    EXPECT_NE(engineCalls().find("shutdown\n"), std::string::npos);

    const std::string logBefore = nativeLog();
    ASSERT_GE(logBefore.size(), 18u);
    EXPECT_EQ(logBefore.substr(logBefore.size() - 17), "Logging stopped\r\n");
    // A file opened now takes the closed log's descriptor, as any file of the process may.
    testsupport::ScratchDir scratch("reused");
    std::unique_ptr<FILE, int (*)(FILE*)> reused(std::fopen(scratch.file("file").c_str(), "w"),
                                                 &std::fclose);
    ASSERT_TRUE(loadClassInTheVM("java/util/concurrent/ConcurrentSkipListMap"));
    // The VM did write, to the debugger output only.
    EXPECT_NE(debugOutput().find("Java VM message: java.util.concurrent.ConcurrentSkipListMap"),
              std::string::npos);
    EXPECT_EQ(nativeLog(), logBefore);
    EXPECT_EQ(testsupport::readFile(scratch.file("file")), "");
}

}  // namespace
}  // namespace bridgetest
