// The JVM host with the installed JDK: the options it builds take effect in a current VM, its
// verbose output reaches the native log through the vfprintf hook, stop signals stay with the
// web server, threads attach concurrently, System.exit reaches the exit hook, and a second
// host takes the process's VM. The exact settings block is checked against the fake VM.
#include <signal.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "java_installations.h"
#include "native/isapi/jvm/java_vm.h"
#include "real_jvm_process.h"
#include "test_paths.h"

namespace realjvm {
namespace {

using brevant::isapi::CJavaVM;
using brevant::isapi::JavaVMKind;
using brevant::isapi::JVM_DEFAULT;
using brevant::isapi::JVM_HOTSPOT;

class RealJvm : public testing::Test {
  protected:
    void SetUp() override {
        const char* before = getenv("STANDIN_REGISTRY");
        registryBefore_ = before != nullptr ? before : "";
        setenv("STANDIN_REGISTRY", scratch_.file("registry.reg").c_str(), 1);
        vmtest::writeRegistry(scratch_.file("registry.reg"),
                              vmtest::installation(vmtest::kCurrentKit, "17", jdkHome()));
    }
    void TearDown() override { setenv("STANDIN_REGISTRY", registryBefore_.c_str(), 1); }

    // Creates the VM in a child process and runs `drive` on it there; the child's status.
    int runVm(JavaVMKind kind, const std::function<int(CJavaVM&, JNIEnv*)>& drive) {
        return runInOwnProcess(logPath(), [&] {
            settings_.classpath = classpath_.empty() ? nullptr : classpath_.data();
            CJavaVM vm(kind, optionCount_, options_, settings_);
            JNIEnv* env = vm.getJNIEnv();
            return env == nullptr ? failed("no JNI environment") : drive(vm, env);
        });
    }

    std::string logPath() const { return scratch_.file("BrevantNative.log"); }
    Lines entries() const { return logEntries(logPath()); }
    // The VM output entries that start with `prefix`.
    size_t vmMessages(const std::string& prefix) const {
        const Lines all = entries();
        return std::count_if(all.begin(), all.end(), [&](const std::string& entry) {
            return entry.starts_with("Java VM message: " + prefix);
        });
    }

    testsupport::ScratchDir scratch_{"real-jvm"};
    std::string registryBefore_;
    brevant::isapi::JDK1_1InitArgs settings_ = vmtest::defaultSettings();
    std::string classpath_;
    std::string options_[32];
    int optionCount_ = 0;
};

// A minimum above the default maximum: a current HotSpot refuses to start unless the maximum
// is raised to it.
TEST_F(RealJvm, SettingsTakeEffectInTheVm) {
    vmtest::PropertyList jitOff({"java.compiler=", "not.for.a.current.vm=1"});
    settings_.properties = jitOff.get();
    settings_.minHeapSize = 65536 * 1024;
    classpath_ = scratch_.file("classes");
    options_[0] = "-Dbrevant.case=hotspot";
    optionCount_ = 1;
    const int status = runVm(JVM_HOTSPOT, [&](CJavaVM&, JNIEnv* env) {
        if (systemProperty(env, "java.class.path") !=
            classpath_ + ":" + jdkHome() + "/lib/tools.jar")
            return failed("class path " + systemProperty(env, "java.class.path"));
        if (systemProperty(env, "brevant.case") != "hotspot")
            return failed("the file's option did not reach the VM");
        if (systemProperty(env, "not.for.a.current.vm") != "(null)")
            return failed("a property after the JIT's reached a current VM");
        if (systemProperty(env, "java.vm.info").find("interpreted mode") == std::string::npos)
            return failed("JIT still on: " + systemProperty(env, "java.vm.info"));
        return 0;
    });
    EXPECT_EQ(status, 0) << testsupport::readFile(logPath());
}

// Unified logging hands the hook one line at a time: the line feed goes, nothing is empty.
TEST_F(RealJvm, VerboseOutputArrivesOneLinePerEntry) {
    settings_.enableVerboseGC = 1;
    settings_.verbose = 1;
    ASSERT_EQ(runVm(JVM_DEFAULT, [](CJavaVM&, JNIEnv*) { return 0; }), 0);
    EXPECT_GT(vmMessages("Using "), 0u) << "no GC lines";
    EXPECT_GT(vmMessages("java.lang.Object source: "), 0u) << "no class loading lines";
    for (const std::string& entry : entries()) {
        EXPECT_EQ(entry.find_first_of("\r\n"), std::string::npos) << entry;
        EXPECT_NE(entry, "Java VM message: ");
    }
}

// isapihost blocks SIGTERM and SIGINT in all its threads and waits for them in one of its
// own: the VM must leave them blocked in the threads it creates and attaches, where its
// handlers would end the process at once.
TEST_F(RealJvm, StopSignalsStillReachTheServersOwnWait) {
    const int status = runInOwnProcess(logPath(), [&] {
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGTERM);
        sigaddset(&stops, SIGINT);
        pthread_sigmask(SIG_BLOCK, &stops, nullptr);
        int received = 0;
        std::thread waiter([&] {
            const struct timespec limit = {30, 0};  // a wait that cannot hang the test
            while (received < 2 && sigtimedwait(&stops, nullptr, &limit) > 0) {
                ++received;
            }
        });
        CJavaVM vm(JVM_DEFAULT, optionCount_, options_, settings_);
        JNIEnv* env = vm.getJNIEnv();  // the creating thread, attached
        kill(getpid(), SIGTERM);
        kill(getpid(), SIGINT);
        waiter.join();
        jint value = 0;
        return received == 2 && env != nullptr && parseInt(env, "42", &value)
                   ? 0
                   : failed(std::to_string(received) + " signals reached the wait");
    });
    EXPECT_EQ(status, 0) << testsupport::readFile(logPath());
}

TEST_F(RealJvm, SixteenThreadsAttachCallJavaAndDetachAtOnce) {
    const int status = runVm(JVM_DEFAULT, [&](CJavaVM& vm, JNIEnv*) {
        vm.detachCurrentThread();
        std::atomic<int> good{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 16; ++t) {
            threads.emplace_back([&, t] {
                for (int round = 0; round < 50; ++round) {
                    JNIEnv* env = vm.getJNIEnv();
                    jint value = 0;
                    if (env != nullptr &&
                        parseInt(env, std::to_string(t * 1000 + round).c_str(), &value) &&
                        value == t * 1000 + round) {
                        ++good;
                    }
                    vm.detachCurrentThread();
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        return good == 800 ? 0 : failed(std::to_string(good) + " calls of 800 worked");
    });
    EXPECT_EQ(status, 0);
}

TEST_F(RealJvm, SystemExitReachesTheExitHookAndEndsTheProcess) {
    const int status = runVm(JVM_DEFAULT, [&](CJavaVM&, JNIEnv* env) {
        jclass system = env->FindClass("java/lang/System");
        env->CallStaticVoidMethod(system, env->GetStaticMethodID(system, "exit", "(I)V"), jint{3});
        return failed("System.exit returned");
    });
    EXPECT_EQ(status, 3);
    EXPECT_EQ(entries().back(), "Java VM exit code = 3");
}

TEST_F(RealJvm, SecondHostInTheProcessTakesTheVmOfTheFirst) {
    const int status = runVm(JVM_DEFAULT, [&](CJavaVM&, JNIEnv*) {
        brevant::isapi::JDK1_1InitArgs settings = vmtest::defaultSettings();
        auto second = std::make_unique<CJavaVM>(JVM_DEFAULT, 0, options_, settings);
        bool works = false;
        std::thread other([&] {
            JNIEnv* env = second->getJNIEnv();
            jint value = 0;
            works = env != nullptr && parseInt(env, "42", &value);
            second->detachCurrentThread();
        });
        other.join();
        return works ? 0 : failed("the second host has no VM");
    });
    EXPECT_EQ(status, 0) << testsupport::readFile(logPath());
    const Lines all = entries();
    EXPECT_EQ(std::count(all.begin(), all.end(),
                         "CJavaVM::createJavaVM(): using a previously created Java VM."),
              1);
}

}  // namespace
}  // namespace realjvm
