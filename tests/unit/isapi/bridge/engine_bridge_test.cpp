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

class EngineBridgeTest : public ModuleTest {
  protected:
    // Serves one request whose query names the engine's action; the engine's answer.
    std::string serve(const std::string& action, DWORD expected = HSE_STATUS_SUCCESS) {
        prepareRequest(ecb_, action);
        EXPECT_EQ(extension(ecb_), expected);
        return ecb_.written;
    }
    DWORD route(FakeFilterContext& context, const std::string& url) {
        context.url = url;
        return filter(context, SF_NOTIFY_PREPROC_HEADERS, context.preproc());
    }

    FakeEcb ecb_;
};

TEST_F(EngineBridgeTest, TheEngineReceivesTheRequestValues) {
    IN_OWN_PROCESS();
    loadModule();
    prepareRequest(ecb_, "describe");
    std::string allHttp = "HTTP_X_LONG:" + std::string(5987, 'a') + "\n";  // 6000 bytes
    ecb_.variables["ALL_HTTP"] = allHttp;
    ecb_.variables["REMOTE_ADDR"] = "10.0.0.1";
    ecb_.variables["REMOTE_HOST"] = "client";
    ecb_.variables["SERVER_NAME"] = "example.com";
    ecb_.variables["SERVER_PORT"] = " 8080x";
    ecb_.variables["SERVER_PORT_SECURE"] = "1";
    ecb_.pathRoot = "/srv/www";
    ecb_.setBody("abc", "defghij");
    ASSERT_EQ(extension(ecb_), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    EXPECT_EQ(ecb_.written, "text=GET /Scripts/Brevant_ISAPI.dll?describe HTTP/1.1\n" + allHttp +
                                "|preloaded=abc|addr=10.0.0.1|host=client|name=example.com"
                                "|port=8080|root=/srv/www/|secure=true|extra=null|user=null");
    EXPECT_EQ(ecb_.sizesPassed["ALL_HTTP"], 6001u);  // the second read, at the size IIS named

    serve("");
    EXPECT_EQ(count(engineCalls(), "server-info isapihost-test\n"), 1u);
}

TEST_F(EngineBridgeTest, NativesAnswerTheEngine) {
    IN_OWN_PROCESS();
    loadModule();
    EXPECT_EQ(serve("status"), "HTTP/1.0 404 Not Found\r\n\r\n0");
    EXPECT_EQ(ecb_.get()->dwHttpStatusCode, 404u);

    FakeEcb shortStatus;
    prepareRequest(shortStatus, "short-status");
    extension(shortStatus);
    EXPECT_EQ(shortStatus.written, "HTTP/1.00");
    EXPECT_EQ(shortStatus.get()->dwHttpStatusCode, 200u);

    struct ReadCase {
        const char* body;
        FakeEcb::ClientEnd end;
        const char* answer;
    };
    for (const ReadCase& c : {ReadCase{"abcdef", FakeEcb::ClientEnd::EndOfBody, "abcdef|0"},
                              ReadCase{"abc", FakeEcb::ClientEnd::Fails, "null|0"},
                              ReadCase{"abc", FakeEcb::ClientEnd::EndOfBody, "null|0"}}) {
        FakeEcb ecb;
        prepareRequest(ecb, "read");
        ecb.setBody("", c.body);
        ecb.clientEnd = c.end;
        ecb.readLimit = 2;
        extension(ecb);
        EXPECT_EQ(ecb.written, c.answer) << c.body;
    }

    FakeEcb paths;
    prepareRequest(paths, "paths");
    paths.pathRoot = "/srv/www";
    paths.variables["CERT_FLAGS"] = "1";
    paths.variables["CERT_SUBJECT"] = "CN=client";
    paths.variables["CERT_SERVER_SUBJECT"] = "CN=server";
    paths.variables["CERT_ISSUER"] = "CN=ca";
    paths.variables["CERT_SERIALNUMBER"] = "01-02-03-04-05-06-07-08-09-0a-0b-0c-0d-0e-0f-10";
    extension(paths);
    EXPECT_EQ(paths.written,
              "/srv/www/img/a.gif|null|&DN#CN=client CN=server&IN#CN=ca"
              "&SN#100f0e0d0c0b0a090807060504030201&END&|1");
    EXPECT_NE(nativeLog().find("Brevant: CERT_FLAGS=1\r\n"), std::string::npos);

    FakeEcb noStatus;
    prepareRequest(noStatus, "no-status");
    extension(noStatus);
    ASSERT_FALSE(noStatus.responseHeaders.empty());
    EXPECT_EQ(noStatus.responseHeaders[0].status, "(null)");
}

TEST_F(EngineBridgeTest, AHandleIsDeadOnceItsRequestEnded) {
    IN_OWN_PROCESS();
    loadModule();
    serve("describe");
    FakeEcb late;
    prepareRequest(late, "stale");
    extension(late);
    EXPECT_EQ(late.written, "6|false|null|null|null");
}

TEST_F(EngineBridgeTest, AnEngineExceptionStillEndsTheRequestAsServed) {
    IN_OWN_PROCESS();
    loadModule();
    // The VM's own stack-overflow handling works in the host's process, with its signals.
    EXPECT_EQ(serve("overflow"), "stack overflow caught");
    FakeEcb thrown;
    prepareRequest(thrown, "throw");
    EXPECT_EQ(extension(thrown), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    EXPECT_EQ(thrown.written, "");
    EXPECT_EQ(nativeLog().find("ProcessRequest Failed!!!"), std::string::npos);
}

TEST_F(EngineBridgeTest, TheFilterRoutesWhatTheEngineServes) {
    IN_OWN_PROCESS();
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
        if (c.marker == nullptr) {
            EXPECT_EQ(context.url, c.url);
            EXPECT_FALSE(context.header("X-Brevant-Request")) << c.url;
        } else {
            EXPECT_EQ(context.url, "/Scripts/Brevant_ISAPI.dll");
            EXPECT_EQ(context.header("X-Brevant-Request").value_or(""), c.marker);
        }
    }
    std::string asked = engineCalls();
    EXPECT_EQ(asked.find("alias /servlet/"), std::string::npos);  // answered without Java
    EXPECT_NE(asked.find("alias /Servlet/x|null\n"), std::string::npos);
    EXPECT_NE(asked.find("alias /docs/index.jsp|null\n"), std::string::npos);
}

TEST_F(EngineBridgeTest, WithIISSecurityOnTheEngineRefusesUsers) {
    IN_OWN_PROCESS();
    loadModule();
    serve("security");  // off (already off), on, on again
    std::string log = nativeLog();
    EXPECT_EQ(count(log, "IIS Security is being used."), 1u);
    EXPECT_EQ(count(log, "IIS Security is not being used."), 0u);

    struct Case {
        const char* user;
        const char* userAfter;
    };
    const std::string longURL = "/servlet/secret?" + std::string(3000, 'q');
    for (const Case& c : {Case{"mallory", "Brevant Not Authorized"}, Case{"alice", "alice"}}) {
        FakeFilterContext context;
        context.variables.emplace_back("HTTP_X_BREVANT_REQUEST", longURL);
        char user[SF_MAX_USERNAME];
        char password[SF_MAX_PASSWORD] = "pw";
        std::snprintf(user, sizeof user, "%s", c.user);
        HTTP_FILTER_AUTHENT authent{user, sizeof user, password, sizeof password};
        EXPECT_EQ(filter(context, SF_NOTIFY_AUTHENTICATION, &authent),
                  SF_STATUS_REQ_HANDLED_NOTIFICATION);
        EXPECT_STREQ(user, c.userAfter);
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
TEST_F(EngineBridgeTest, AFailedInitIsExplainedAndLateVMOutputSkipsTheClosedLog) {
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
