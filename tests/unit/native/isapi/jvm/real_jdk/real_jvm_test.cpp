// The JVM host with the installed JDK, for what only a real VM shows: a current VM starts
// with the heap and JIT options the host builds, its verbose output reaches the native log
// through the vfprintf hook, stop signals stay with the web server, and a second host takes
// the process's VM. (The options themselves are checked against the fake VM; many threads at
// once, and the exit hook, by the in-process integration test.)
//
// One VM serves the whole suite: a child process creates it, drives it through JNI and writes
// what it saw as "name=value" lines; each test checks one of those findings.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <thread>

#include "jvm_host_world.h"
#include "native/isapi/jvm/java_vm.h"
#include "native/isapi/log/native_log.h"
#include "test_paths.h"

namespace realjvm {
namespace {

using brevant::isapi::CJavaVM;
using vmtest::Lines;

const std::string kJdkHome = BREVANT_TEST_JDK_HOME;

// A system property of the VM; "(null)" when not set.
std::string systemProperty(JNIEnv* env, const char* name) {
    jclass system = env->FindClass("java/lang/System");
    jmethodID get =
        env->GetStaticMethodID(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
    auto value =
        static_cast<jstring>(env->CallStaticObjectMethod(system, get, env->NewStringUTF(name)));
    if (value == nullptr) {
        return "(null)";
    }
    const char* chars = env->GetStringUTFChars(value, nullptr);
    const std::string text = chars;
    env->ReleaseStringUTFChars(value, chars);
    return text;
}

// A call into Java from the calling thread: Integer.parseInt(text) == expected.
bool parses(CJavaVM& vm, int expected) {
    JNIEnv* env = vm.getJNIEnv();
    if (env == nullptr) {
        return false;
    }
    jclass integer = env->FindClass("java/lang/Integer");
    jmethodID parse = env->GetStaticMethodID(integer, "parseInt", "(Ljava/lang/String;)I");
    jstring text = env->NewStringUTF(std::to_string(expected).c_str());
    const bool ok = env->CallStaticIntMethod(integer, parse, text) == expected;
    env->DeleteLocalRef(text);
    env->DeleteLocalRef(integer);
    return ok;
}

// Whether a second host, on a thread of its own, can call Java.
bool secondHostWorks() {
    std::string options[32];
    brevant::isapi::JDK1_1InitArgs settings = vmtest::defaultSettings();
    CJavaVM second(brevant::isapi::JVM_DEFAULT, 0, options, settings);
    bool works = false;
    std::thread other([&] {
        works = parses(second, 42);
        second.detachCurrentThread();
    });
    other.join();
    return works;
}

// The child: isapihost blocks SIGTERM and SIGINT in all its threads and waits for them in
// one of its own; the VM must leave them blocked in the threads it creates and attaches.
int driveTheVm(const std::string& resultsPath) {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    int received = 0;
    std::thread waiter([&] {
        const struct timespec limit = {30, 0};  // a wait that cannot hang the suite
        while (received < 2 && sigtimedwait(&stops, nullptr, &limit) > 0) {
            ++received;
        }
    });

    // A minimum above the default maximum: a current HotSpot refuses to start unless the
    // maximum is raised to it.
    vmtest::PropertyList jitOff({"java.compiler="});
    brevant::isapi::JDK1_1InitArgs settings = vmtest::defaultSettings();
    settings.properties = jitOff.get();
    settings.minHeapSize = 65536 * 1024;
    settings.enableVerboseGC = 1;
    settings.verbose = 1;
    std::string options[32];
    CJavaVM vm(brevant::isapi::JVM_HOTSPOT, 0, options, settings);
    JNIEnv* env = vm.getJNIEnv();
    std::ofstream results(resultsPath);
    results << "java.vm.info=" << (env ? systemProperty(env, "java.vm.info") : "no VM") << "\n";
    kill(getpid(), SIGTERM);
    kill(getpid(), SIGINT);
    waiter.join();
    results << "signals=" << received << "\n";
    vm.detachCurrentThread();
    results << "second host=" << (secondHostWorks() ? "works" : "fails") << "\n";
    return 0;
}

class RealJvm : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        scratch_ = new testsupport::ScratchDir("real-jvm");
        const char* before = getenv("STANDIN_REGISTRY");
        const std::string registryBefore = before != nullptr ? before : "";
        setenv("STANDIN_REGISTRY", scratch_->file("registry.reg").c_str(), 1);
        vmtest::writeRegistry(scratch_->file("registry.reg"),
                              vmtest::installation(vmtest::kCurrentKit, "17", kJdkHome.c_str()));
        const std::string resultsPath = scratch_->file("results.txt");
        std::fflush(nullptr);  // the child must not write the parent's buffered output again
        if (fork() == 0) {
            // The log stays open: VM threads may still be writing to it when the child ends.
            brevant::isapi::openNativeLog(scratch_->file("BrevantNative.log"));
            _exit(driveTheVm(resultsPath));
        }
        wait(nullptr);
        setenv("STANDIN_REGISTRY", registryBefore.c_str(), 1);
        std::ifstream results(resultsPath);
        for (std::string line; std::getline(results, line);) {
            results_[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
        }
        log_ = vmtest::nativeLogEntries(scratch_->file("BrevantNative.log"));
    }
    static void TearDownTestSuite() { delete scratch_; }

    static size_t logged(const std::string& prefix) {
        return std::count_if(log_.begin(), log_.end(),
                             [&](const std::string& entry) { return entry.starts_with(prefix); });
    }

    static inline testsupport::ScratchDir* scratch_ = nullptr;
    static inline std::map<std::string, std::string> results_;
    static inline Lines log_;
};

TEST_F(RealJvm, JitOffRunsTheVmInterpreted) {
    EXPECT_NE(results_["java.vm.info"].find("interpreted mode"), std::string::npos)
        << results_["java.vm.info"];
}

// Unified logging hands the hook one line at a time: the line feed goes, nothing is empty.
TEST_F(RealJvm, VerboseOutputArrivesOneLinePerEntry) {
    EXPECT_GT(logged("Java VM message: Using "), 0u) << "no GC lines";
    EXPECT_GT(logged("Java VM message: java.lang.Object source: "), 0u) << "no class loading lines";
    for (const std::string& entry : log_) {
        EXPECT_EQ(entry.find_first_of("\r\n"), std::string::npos) << entry;
        EXPECT_NE(entry, "Java VM message: ");
    }
}

TEST_F(RealJvm, StopSignalsStillReachTheServersOwnWait) {
    EXPECT_EQ(results_["signals"], "2");
}

TEST_F(RealJvm, SecondHostInTheProcessTakesTheVmOfTheFirst) {
    EXPECT_EQ(results_["second host"], "works");
    EXPECT_EQ(logged("CJavaVM::createJavaVM(): using a previously created Java VM."), 1u);
}

}  // namespace
}  // namespace realjvm
