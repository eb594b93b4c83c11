// The JVM host with the installed JDK, for what only a real VM shows: a current VM starts
// with the heap and JIT options the host builds, its verbose output reaches the native log
// through the vfprintf hook, stop signals stay with the web server, threads attach
// concurrently, a second host takes the process's VM, and System.exit reaches the exit hook.
// The options themselves are checked against the fake VM.
//
// One VM serves the whole suite: a child process creates it, drives it through JNI, writes
// what it saw as "name=value" lines, and ends through System.exit; each test checks one of
// those findings.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

#include "jvm_host_world.h"
#include "native/isapi/jvm/java_vm.h"
#include "native/isapi/log/native_log.h"
#include "test_paths.h"

namespace realjvm {
namespace {

using brevant::isapi::CJavaVM;
using vmtest::Lines;

const std::string kJdkHome = BREVANT_TEST_JDK_HOME;

// Runs `body` in a forked child whose native log is the file `logPath`; the child's exit
// status (body's result, or System.exit's code), or 128 + the signal that ended it.
int runInOwnProcess(const std::string& logPath, const std::function<int()>& body) {
    std::fflush(nullptr);  // the child must not write the parent's buffered output again
    const pid_t child = fork();
    if (child == 0) {
        brevant::isapi::openNativeLog(logPath);
        // The log stays open: VM threads may still be writing to it when the child ends.
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

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

// 16 threads attach, call Java and detach 50 times each, all at once; the calls that worked.
int callsFromThreads(CJavaVM& vm) {
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 16; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                good += parses(vm, t * 1000 + round);
                vm.detachCurrentThread();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return good;
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
    results << "calls=" << callsFromThreads(vm) << "\n";
    results << "second host=" << (secondHostWorks() ? "works" : "fails") << "\n";
    results.close();

    if ((env = vm.getJNIEnv()) == nullptr) {
        return 1;
    }
    jclass system = env->FindClass("java/lang/System");
    env->CallStaticVoidMethod(system, env->GetStaticMethodID(system, "exit", "(I)V"), jint{3});
    return 1;  // System.exit returned
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
        status_ = runInOwnProcess(scratch_->file("BrevantNative.log"),
                                  [&] { return driveTheVm(resultsPath); });
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
    static inline int status_ = -1;
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

TEST_F(RealJvm, SixteenThreadsAttachCallJavaAndDetachAtOnce) {
    EXPECT_EQ(results_["calls"], "800");
}

TEST_F(RealJvm, SecondHostInTheProcessTakesTheVmOfTheFirst) {
    EXPECT_EQ(results_["second host"], "works");
    EXPECT_EQ(logged("CJavaVM::createJavaVM(): using a previously created Java VM."), 1u);
}

TEST_F(RealJvm, SystemExitReachesTheExitHookAndEndsTheProcess) {
    EXPECT_EQ(status_, 3);
    EXPECT_EQ(log_.back(), "Java VM exit code = 3");
}

}  // namespace
}  // namespace realjvm
