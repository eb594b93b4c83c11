// The JVM host with the installed JDK: the settings block and option list as a current VM
// takes them (a maximum heap raised to the minimum included), its verbose output arriving in
// the native log through the vfprintf hook, stop signals left to the web server, threads
// attaching concurrently, System.exit reaching the exit hook, and a second host in a
// process that already holds a VM.
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
#include "java_vm.h"
#include "real_jvm_process.h"
#include "test_paths.h"

namespace realjvm {
namespace {

using brevant::isapi::CJavaVM;
using brevant::isapi::JavaVMKind;
using brevant::isapi::JVM_DEFAULT;
using brevant::isapi::JVM_HOTSPOT;
using vmtest::PropertyList;

constexpr char kVmMessage[] = "Java VM message: ";

class RealJvm : public testing::Test {
  protected:
    void SetUp() override {
        const char* before = getenv("STANDIN_REGISTRY");
        registryBefore_ = before != nullptr ? before : "";
        setenv("STANDIN_REGISTRY", scratch_.file("registry.reg").c_str(), 1);
    }
    void TearDown() override { setenv("STANDIN_REGISTRY", registryBefore_.c_str(), 1); }

    void installJdkUnder(const char* key) {
        vmtest::writeRegistry(scratch_.file("registry.reg"),
                              vmtest::installation(key, "17", jdkHome()));
    }

    // Creates the VM in a child process and runs `drive` on it there; the child's status.
    int runVm(JavaVMKind kind, const std::function<int(CJavaVM&, JNIEnv*)>& drive) {
        return runInOwnProcess(logPath(), [&] {
            settings_.classpath = classpath_.empty() ? nullptr : classpath_.data();
            CJavaVM vm(kind, optionCount_, options_, settings_);
            JNIEnv* env = vm.getJNIEnv();
            if (env == nullptr) {
                return failed("no JNI environment on the creating thread");
            }
            return drive(vm, env);
        });
    }

    std::string logPath() const { return scratch_.file("BrevantNative.log"); }
    Lines entries() const { return logEntries(logPath()); }
    // The first `count` entries: the settings block.
    Lines block(size_t count) const {
        Lines all = entries();
        all.resize(std::min(all.size(), count));
        return all;
    }
    // The entries that carry VM output.
    Lines vmMessages() const {
        Lines messages;
        for (const std::string& entry : entries()) {
            if (entry.rfind(kVmMessage, 0) == 0) {
                messages.push_back(entry.substr(sizeof kVmMessage - 1));
            }
        }
        return messages;
    }

    testsupport::ScratchDir scratch_{"real-jvm"};
    std::string registryBefore_;
    brevant::isapi::JDK1_1InitArgs settings_ = vmtest::defaultSettings();
    std::string classpath_;
    std::string options_[32];
    int optionCount_ = 0;
};

bool anyStartsWith(const Lines& lines, const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

bool anyContains(const Lines& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(part) != std::string::npos;
    });
}

// Unified logging hands the hook one line at a time: the line feed goes, nothing is empty.
void expectOneLinePerEntry(const Lines& messages) {
    for (const std::string& message : messages) {
        EXPECT_FALSE(message.empty());
        EXPECT_EQ(message.find_first_of("\r\n"), std::string::npos) << message;
    }
}

TEST_F(RealJvm, HotSpotKitWithVerboseGcAndNoClassGc) {
    installJdkUnder(vmtest::kJavaSoftKit);
    PropertyList jitOn({"java.compiler=symcjit", "not.for.a.current.vm=1"});
    settings_.properties = jitOn.get();
    settings_.enableVerboseGC = 1;
    settings_.enableClassGC = 0;
    classpath_ = scratch_.file("classes");
    options_[0] = "-Dbrevant.case=hotspot";
    optionCount_ = 1;
    const std::string classpath = classpath_ + ":" + jdkHome() + "/lib/tools.jar";

    int status = runVm(JVM_HOTSPOT, [&](CJavaVM& vm, JNIEnv* env) {
        if (vm.vmKind() != JVM_HOTSPOT || !vm.isJDK() || vm.javaHome() != jdkHome()) {
            return failed("not the HotSpot kit");
        }
        if (systemProperty(env, "brevant.case") != "hotspot") {
            return failed("the file's option did not reach the VM");
        }
        if (systemProperty(env, "java.class.path") != classpath) {
            return failed("class path " + systemProperty(env, "java.class.path"));
        }
        if (systemProperty(env, "not.for.a.current.vm") != "(null)") {
            return failed("a property after the JIT's reached a 1.2 VM");
        }
        jlong max = maxMemory(env);
        if (max <= 0 || max > 16777216) {
            return failed("maximum heap " + std::to_string(max));
        }
        if (!callSystemGc(env)) {
            return failed("System.gc()");
        }
        vm.detachCurrentThread();
        return 0;
    });
    ASSERT_EQ(status, 0);

    EXPECT_EQ(block(13), (Lines{
                             "HotSpot requires at least 2M of heap space.",
                             "Min Heap Size     = 2097152 bytes",
                             "HotSpot requires at least 2M of heap space.",
                             "Max Heap Size     = 16777216 bytes",
                             "Verbose GC        = Enabled",
                             "Verbose           = Disabled",
                             "JITC              = Enabled",
                             "Class GC          = Disabled",
                             "Classpath         = " + classpath,
                             "Additional VM options:",
                             "-Xlog:gc:stdout:none",
                             "-Xrs",
                             "-Dbrevant.case=hotspot",
                         }));
    Lines messages = vmMessages();
    EXPECT_TRUE(anyContains(messages, "Pause Full (System.gc())"))
        << testsupport::readFile(logPath());
    EXPECT_FALSE(anyContains(messages, " source: "));  // no class loading lines
    EXPECT_FALSE(anyContains(messages, "Could not write log"));
    expectOneLinePerEntry(messages);
}

TEST_F(RealJvm, DefaultRuntimeWithVerboseClassLoadingAndJitOff) {
    installJdkUnder(vmtest::kCurrentRuntime);
    PropertyList jitOff({"java.compiler="});
    settings_.properties = jitOff.get();
    settings_.verbose = 1;
    settings_.minHeapSize = 4096 * 1024;
    settings_.maxHeapSize = 65536 * 1024;
    classpath_ = scratch_.file("servlet.jar") + ":" + scratch_.file("classes");

    int status = runVm(JVM_DEFAULT, [&](CJavaVM& vm, JNIEnv* env) {
        if (vm.vmKind() != JVM_DEFAULT || vm.isJDK()) {
            return failed("not the default runtime");
        }
        if (systemProperty(env, "java.class.path") != classpath_) {
            return failed("class path " + systemProperty(env, "java.class.path"));
        }
        // -Djava.compiler=NONE really switches the JIT off.
        if (systemProperty(env, "java.vm.info").find("interpreted mode") == std::string::npos) {
            return failed("JIT still on: " + systemProperty(env, "java.vm.info"));
        }
        jlong max = maxMemory(env);
        if (max <= 16777216 || max > 67108864) {
            return failed("maximum heap " + std::to_string(max));
        }
        return 0;
    });
    ASSERT_EQ(status, 0);

    EXPECT_EQ(block(10), (Lines{
                             "Min Heap Size     = 4194304 bytes",
                             "Max Heap Size     = 67108864 bytes",
                             "Verbose GC        = Disabled",
                             "Verbose           = Enabled",
                             "JITC              = Disabled",
                             "Class GC          = Enabled",
                             "Classpath         = " + classpath_,
                             "Additional VM options:",
                             "-Xlog:class+load:stdout:none",
                             "-Xrs",
                         }));
    Lines messages = vmMessages();
    EXPECT_TRUE(anyStartsWith(messages, "java.lang.Object source: "));
    EXPECT_TRUE(anyStartsWith(messages, "java.lang.Integer source: "));
    EXPECT_FALSE(anyStartsWith(messages, "Using "));  // no GC lines
    expectOneLinePerEntry(messages);
}

// A minimum above the default maximum: a current HotSpot would end the process unless the
// maximum is raised to it.
TEST_F(RealJvm, HotSpotWithBothVerboseSettingsAndOnlyAMinimumHeap) {
    installJdkUnder(vmtest::kJavaSoftRuntime);
    settings_.enableVerboseGC = 1;
    settings_.verbose = 1;
    settings_.minHeapSize = 65536 * 1024;

    int status = runVm(JVM_HOTSPOT, [&](CJavaVM&, JNIEnv* env) {
        if (systemProperty(env, "java.class.path") != "NONE") {
            return failed("class path " + systemProperty(env, "java.class.path"));
        }
        jlong max = maxMemory(env);
        if (max <= 33554432 || max > 67108864) {
            return failed("maximum heap " + std::to_string(max));
        }
        return callSystemGc(env) ? 0 : failed("System.gc()");
    });
    ASSERT_EQ(status, 0) << testsupport::readFile(logPath());

    EXPECT_EQ(block(4), (Lines{
                            "Min Heap Size     = 67108864 bytes",
                            "HotSpot requires at least 2M of heap space.",
                            "Max Heap Size raised to the Min Heap Size.",
                            "Max Heap Size     = 67108864 bytes",
                        }));
    Lines messages = vmMessages();
    EXPECT_TRUE(anyContains(messages, "Pause Full (System.gc())"));
    EXPECT_TRUE(anyStartsWith(messages, "java.lang.Object source: "));
    expectOneLinePerEntry(messages);
}

// isapihost blocks SIGTERM and SIGINT in all its threads and waits for them in one of its
// own: the VM must leave them blocked in the threads it creates and attaches, where its
// handlers would end the process at once.
TEST_F(RealJvm, StopSignalsStillReachTheServersOwnWait) {
    installJdkUnder(vmtest::kCurrentRuntime);
    int status = runInOwnProcess(logPath(), [&] {
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
    installJdkUnder(vmtest::kCurrentKit);
    int status = runVm(JVM_DEFAULT, [&](CJavaVM& vm, JNIEnv*) {
        vm.detachCurrentThread();
        constexpr int kThreads = 16;
        constexpr int kRounds = 50;
        std::atomic<int> good{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (int round = 0; round < kRounds; ++round) {
                    JNIEnv* env = vm.getJNIEnv();
                    if (env == nullptr) {
                        continue;
                    }
                    jint value = 0;
                    const std::string text = std::to_string(t * 1000 + round);
                    if (parseInt(env, text.c_str(), &value) && value == t * 1000 + round) {
                        ++good;
                    }
                    vm.detachCurrentThread();
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        return good == kThreads * kRounds ? 0
                                          : failed(std::to_string(good) + " calls of 800 worked");
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(anyStartsWith(entries(), "CJavaVM::getJNIEnv()"));
}

TEST_F(RealJvm, SystemExitReachesTheExitHookAndEndsTheProcess) {
    installJdkUnder(vmtest::kJavaSoftRuntime);
    int status = runVm(JVM_DEFAULT, [&](CJavaVM&, JNIEnv* env) {
        jclass system = env->FindClass("java/lang/System");
        jmethodID exit =
            system == nullptr ? nullptr : env->GetStaticMethodID(system, "exit", "(I)V");
        if (exit == nullptr) {
            return failed("no System.exit");
        }
        env->CallStaticVoidMethod(system, exit, jint{3});
        return failed("System.exit returned");
    });
    EXPECT_EQ(status, 3);
    Lines all = entries();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back(), "Java VM exit code = 3");
}

TEST_F(RealJvm, SecondHostInTheProcessTakesTheVmOfTheFirst) {
    installJdkUnder(vmtest::kCurrentRuntime);
    int status = runVm(JVM_DEFAULT, [&](CJavaVM&, JNIEnv*) {
        brevant::isapi::JDK1_1InitArgs settings = vmtest::defaultSettings();
        auto second = std::make_unique<CJavaVM>(JVM_DEFAULT, 0, options_, settings);
        JNIEnv* env = nullptr;
        std::thread other([&] {
            env = second->getJNIEnv();
            jint value = 0;
            if (env != nullptr && !parseInt(env, "42", &value)) {
                env = nullptr;
            }
            second->detachCurrentThread();
        });
        other.join();
        return env != nullptr ? 0 : failed("the second host has no VM");
    });
    EXPECT_EQ(status, 0) << testsupport::readFile(logPath());
    Lines all = entries();
    EXPECT_EQ(std::count(all.begin(), all.end(),
                         "CJavaVM::createJavaVM(): using a previously created Java VM."),
              1);
}

}  // namespace
}  // namespace realjvm
