// The JVM host creates the VM the found library implements: the settings become option
// strings for a 1.2 or later VM, overlay the defaults of a 1.1 VM, or only extend the class
// path of the Microsoft VM. Each path logs its settings block, hands over the hooks and
// reports a failed creation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "native/isapi/jvm/java_vm.h"
#include "native/isapi/jvm/vm_hooks.h"
#include "vm_test_bed.h"

namespace vmtest {
namespace {

using brevant::isapi::CJavaVM;
using brevant::isapi::JavaVMKind;
using brevant::isapi::JVM_DEFAULT;
using brevant::isapi::JVM_HOTSPOT;
using brevant::isapi::JVM_IBM;
using brevant::isapi::JVM_MICROSOFT;

template <typename Function>
void* hookAddress(Function function) {
    return reinterpret_cast<void*>(function);
}

// The option list as the fake received it: texts, with the hooks' functions named.
Lines optionTexts(const FakeJvmControl& fake) {
    Lines texts;
    for (const FakeJvmOption& option : fake.options) {
        std::string text = option.text;
        if (option.extraInfo == hookAddress(brevant::isapi::vmMessage)) {
            text += " -> vmMessage";
        } else if (option.extraInfo == hookAddress(brevant::isapi::vmExit)) {
            text += " -> vmExit";
        } else if (option.extraInfo == hookAddress(brevant::isapi::vmAbort)) {
            text += " -> vmAbort";
        } else if (option.extraInfo != nullptr) {
            text += " -> ?";
        }
        texts.push_back(text);
    }
    return texts;
}

class VmCreation : public VmTestBed {
  protected:
    VmCreation() { classpath_ = "/brevant/lib/servlet.jar:/brevant/lib/Brevant30.jar"; }

    // An installation under `key` with a fresh fake; its control block.
    FakeJvmControl& install(const char* key, const std::string& version = "1.2") {
        home_ = fakeJavaHome("home" + std::to_string(homes_++));
        setRegistry(installation(key, version, home_));
        return control(home_);
    }

    std::string home_;
    int homes_ = 0;
    PropertyList jitOn_{{"java.compiler=symcjit", "brevant.one=1"}};
    PropertyList jitOff_{{"java.compiler="}};
    PropertyList ibmJit_{{"java.compiler=ibmjitc"}};
};

TEST_F(VmCreation, HotSpotKitWithoutHeapSettings) {
    FakeJvmControl& fake = install(vmtest::kJavaSoftKit);
    settings_.properties = jitOn_.get();
    options_[0] = "-Dbrevant.option=yes";
    options_[1] = "-Xss512k";
    auto vm = host(JVM_HOTSPOT, 2);
    ASSERT_TRUE(vm->hasVM());

    const std::string classpath = classpath_ + ":" + home_ + "/lib/tools.jar";
    EXPECT_EQ(logEntries(), (Lines{
                                "HotSpot requires at least 2M of heap space.",
                                "Min Heap Size     = 2097152 bytes",
                                "HotSpot requires at least 2M of heap space.",
                                "Max Heap Size     = 16777216 bytes",
                                "Verbose GC        = Disabled",
                                "Verbose           = Disabled",
                                "JITC              = Enabled",
                                "Class GC          = Enabled",
                                "Classpath         = " + classpath,
                                "Additional VM options:",
                                "-Xrs",
                                "-Dbrevant.option=yes",
                                "-Xss512k",
                            }));
    EXPECT_EQ(optionTexts(fake), (Lines{
                                     "-Xms2097152",
                                     "-Xmx16777216",
                                     "-Djava.compiler=symcjit",
                                     "-Djava.class.path=" + classpath,
                                     "vfprintf -> vmMessage",
                                     "exit -> vmExit",
                                     "abort -> vmAbort",
                                     "-Xrs",
                                     "-Dbrevant.option=yes",
                                     "-Xss512k",
                                 }));
    EXPECT_EQ(fake.createVersion, JNI_VERSION_1_2);
    EXPECT_EQ(fake.ignoreUnrecognized, JNI_TRUE);
    EXPECT_EQ(fake.defaultsCalls, 0);  // a 1.2 VM is not asked for its defaults
}

TEST_F(VmCreation, HeapSizesAtAndAboveTheLeastEachKindTakes) {
    struct Case {
        JavaVMKind kind;
        jint minHeap, maxHeap;
        const char* xms;
        const char* xmx;
        int warnings;
        bool raised;  // the maximum was raised to the minimum
    };
    const Case cases[] = {
        // HotSpot wants more than 2 MB: exactly 2 MB is still corrected (and warned about).
        {JVM_HOTSPOT, 2097152, 2097152, "-Xms2097152", "-Xmx16777216", 2, false},
        {JVM_HOTSPOT, 2097153, 67108864, "-Xms2097153", "-Xmx67108864", 0, false},
        {JVM_HOTSPOT, 4194304, 0, "-Xms4194304", "-Xmx16777216", 1, false},
        // Every other kind wants more than 1 MB, silently.
        {JVM_DEFAULT, 0, 0, "-Xms1048576", "-Xmx16777216", 0, false},
        {JVM_DEFAULT, 1048576, 1048576, "-Xms1048576", "-Xmx16777216", 0, false},
        {JVM_DEFAULT, 1048577, 2097152, "-Xms1048577", "-Xmx2097152", 0, false},
        {JVM_IBM, -5, 33554432, "-Xms1048576", "-Xmx33554432", 0, false},
        // A maximum below the minimum, asked for or the default, is raised to it.
        {JVM_HOTSPOT, 67108864, 0, "-Xms67108864", "-Xmx67108864", 1, true},
        {JVM_DEFAULT, 33554432, 20971520, "-Xms33554432", "-Xmx33554432", 0, true},
        {JVM_DEFAULT, 20971520, 20971520, "-Xms20971520", "-Xmx20971520", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.xms) + " " + c.xmx);
        FakeJvmControl& fake = install(c.kind == JVM_IBM ? kIBMTechRuntime : kJavaSoftKit);
        settings_.minHeapSize = c.minHeap;
        settings_.maxHeapSize = c.maxHeap;
        size_t before = logEntries().size();
        auto vm = host(c.kind);
        ASSERT_EQ(vm->vmKind(), c.kind);
        EXPECT_EQ(fake.options.at(0).text, c.xms);
        EXPECT_EQ(fake.options.at(1).text, c.xmx);
        Lines entries = logEntries();
        auto count = [&](const std::string& entry) {
            return std::count(entries.begin() + static_cast<long>(before), entries.end(), entry);
        };
        EXPECT_EQ(count("HotSpot requires at least 2M of heap space."), c.warnings);
        EXPECT_EQ(count("Min Heap Size     = " + std::string(c.xms + 4) + " bytes"), 1);
        EXPECT_EQ(count("Max Heap Size raised to the Min Heap Size."), c.raised ? 1 : 0);
        EXPECT_EQ(count("Max Heap Size     = " + std::string(c.xmx + 4) + " bytes"), 1);
    }
}

// The four switch lines of the settings block; only exactly 1 switches a setting on.
Lines switchLines(jint verboseGC, jint verbose, bool jit, jint classGC) {
    auto state = [](bool on) { return std::string(on ? "Enabled" : "Disabled"); };
    return {"Verbose GC        = " + state(verboseGC == 1),
            "Verbose           = " + state(verbose == 1), "JITC              = " + state(jit),
            "Class GC          = " + state(classGC == 1)};
}

TEST_F(VmCreation, VerboseClassGcJitAndClassPathOfARuntime) {
    struct Case {
        jint verboseGC, verbose, classGC;
        PropertyList* properties;
        bool withClasspath;
        Lines options;  // after the four leading ones and the hooks
    };
    const Case cases[] = {
        {1,
         1,
         1,
         &jitOn_,
         true,
         {"-verbose:gc,class", "-Xlog:gc:stdout:none", "-Xlog:class+load:stdout:none", "-Xrs"}},
        {1, 0, 0, &jitOff_, true, {"-verbose:gc", "-Xnoclassgc", "-Xlog:gc:stdout:none", "-Xrs"}},
        {0, 1, 1, nullptr, false, {"-verbose:class", "-Xlog:class+load:stdout:none", "-Xrs"}},
        {0, 0, 0, &jitOff_, false, {"-Xnoclassgc", "-Xrs"}},
        {2, 2, 2, &jitOff_, false, {"-Xnoclassgc", "-Xrs"}},
    };
    const std::string classpath = classpath_;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options));
        FakeJvmControl& fake = install(kJavaSoftRuntime);
        settings_.enableVerboseGC = c.verboseGC;
        settings_.verbose = c.verbose;
        settings_.enableClassGC = c.classGC;
        settings_.properties = c.properties != nullptr ? c.properties->get() : nullptr;
        classpath_ = c.withClasspath ? classpath : "";
        const size_t before = logEntries().size();
        ASSERT_TRUE(host(JVM_DEFAULT)->hasVM());

        // The block after the heap lines: the switches, the class path, then the options
        // the VM gets beyond its verbose and class GC ones.
        Lines expected = switchLines(c.verboseGC, c.verbose, c.properties == &jitOn_, c.classGC);
        expected.push_back("Classpath         = " + (c.withClasspath ? classpath : "NONE"));
        expected.push_back("Additional VM options:");
        for (const std::string& option : c.options) {
            if (option.starts_with("-Xlog") || option == "-Xrs") {
                expected.push_back(option);
            }
        }
        const Lines block = logEntries();
        EXPECT_EQ(Lines(block.begin() + static_cast<long>(before) + 2, block.end()), expected);
        const Lines options = optionTexts(fake);
        ASSERT_GE(options.size(), 7u);
        EXPECT_EQ(options[2],
                  c.properties == &jitOn_ ? "-Djava.compiler=symcjit" : "-Djava.compiler=NONE");
        EXPECT_EQ(options[3], "-Djava.class.path=" + (c.withClasspath ? classpath : "NONE"));
        EXPECT_EQ(Lines(options.begin() + 7, options.end()), c.options);
    }
}

TEST_F(VmCreation, IbmVmGetsTheIbmJitAndJavaSoftFallBackTheSymantecOne) {
    FakeJvmControl& ibm = install(kIBMWin32Kit);
    settings_.properties = ibmJit_.get();
    ASSERT_EQ(host(JVM_IBM)->vmKind(), JVM_IBM);
    EXPECT_EQ(ibm.options.at(2).text, "-Djava.compiler=ibmjitc");

    // Asked for IBM, found JavaSoft: the kind is the default and so is the JIT option.
    FakeJvmControl& javasoft = install(kJavaSoftRuntime);
    ASSERT_EQ(host(JVM_IBM)->vmKind(), JVM_DEFAULT);
    EXPECT_EQ(javasoft.options.at(2).text, "-Djava.compiler=symcjit");
}

TEST_F(VmCreation, Java11KitOverlaysTheVmDefaultsAndLogsTheBlock) {
    FakeJvmControl& fake = install(kJavaSoftKit, "1.1.8");
    PropertyList properties({"java.compiler=", "brevant.one=1", "brevant.two=2"});
    settings_.properties = properties.get();
    settings_.javaStackSize = 262144;
    settings_.maxHeapSize = 33554432;
    settings_.verbose = 1;
    settings_.enableClassGC = 0;
    settings_.disableAsyncGC = 1;
    settings_.verifyMode = 2;
    fake.messageOnCreate = true;
    options_[0] = "-Dnot.for.a.1.1.vm=1";
    auto vm = host(JVM_DEFAULT, 1);
    ASSERT_TRUE(vm->hasVM());
    EXPECT_TRUE(vm->isVersion11());

    const std::string classpath = home_ + "/lib/classes.zip:" + classpath_;
    EXPECT_EQ(logEntries(), (Lines{
                                "Native Stack Size = 131072 bytes",
                                "Java Stack Size   = 262144 bytes",
                                "Min Heap Size     = 1048576 bytes",
                                "Max Heap Size     = 33554432 bytes",
                                "Verbose GC        = Disabled",
                                "Verbose           = Enabled",
                                "JITC              = Disabled",
                                "Class GC          = Disabled",
                                "Async GC          = Disabled",
                                "Verify            = All",
                                "Classpath         = " + classpath,
                                "Properties:",
                                "    brevant.one=1",
                                "    brevant.two=2",
                                "Java VM message: fake VM created with 0 options",
                            }));
    EXPECT_EQ(fake.defaultsVersion, JNI_VERSION_1_1);
    EXPECT_EQ(fake.createVersion, JNI_VERSION_1_1);
    const brevant::isapi::JDK1_1InitArgs& seen = fake.jdk11;
    EXPECT_EQ(seen.nativeStackSize, kFakeNativeStackSize);
    EXPECT_EQ(seen.javaStackSize, 262144);
    EXPECT_EQ(seen.minHeapSize, kFakeMinHeapSize);
    EXPECT_EQ(seen.maxHeapSize, 33554432);
    EXPECT_EQ(seen.verbose, 1);
    EXPECT_EQ(seen.enableVerboseGC, 0);
    EXPECT_EQ(seen.enableClassGC, 0);
    EXPECT_EQ(seen.disableAsyncGC, 1);
    EXPECT_EQ(seen.verifyMode, 2);
    EXPECT_EQ(fake.jdk11Classpath, classpath);
    EXPECT_EQ(fake.jdk11Properties, (Lines{"java.compiler=", "brevant.one=1", "brevant.two=2"}));
    EXPECT_EQ(seen.vfprintf, brevant::isapi::vmMessage);
    EXPECT_EQ(seen.exit, brevant::isapi::vmExit);
    EXPECT_EQ(seen.abort, brevant::isapi::vmAbort);
    EXPECT_EQ(fake.messageResult,
              static_cast<jint>(std::strlen("fake VM created with 0 options\n")));
}

TEST_F(VmCreation, Java11RuntimeKeepsTheVmsClassPathOrStartsFromRtJar) {
    FakeJvmControl& fake = install(kJavaSoftRuntime, "1.1.7");
    fake.defaultClasspath = "/vm/classes";
    settings_.properties = jitOn_.get();
    settings_.verifyMode = 0;
    settings_.nativeStackSize = -1;  // negative sizes leave the VM's own
    ASSERT_TRUE(host(JVM_DEFAULT)->hasVM());
    Lines entries = logEntries();
    EXPECT_EQ(entries.at(0), "Native Stack Size = 131072 bytes");
    EXPECT_EQ(entries.at(6), "JITC              = Enabled");
    EXPECT_EQ(entries.at(7), "Class GC          = Enabled");
    EXPECT_EQ(entries.at(8), "Async GC          = Enabled");
    EXPECT_EQ(entries.at(9), "Verify            = None");
    EXPECT_EQ(entries.at(10), "Classpath         = /vm/classes:" + classpath_);
    EXPECT_EQ(entries.size(), 11u + 2u);  // the one property after the JIT's is listed
    EXPECT_EQ(entries.at(12), "    brevant.one=1");

    FakeJvmControl& plain = install(kJavaSoftRuntime, "1.1.7");
    classpath_.clear();
    settings_.properties = nullptr;
    settings_.verifyMode = 1;
    ASSERT_TRUE(host(JVM_DEFAULT)->hasVM());
    entries = logEntries();
    EXPECT_EQ(entries.back(), "Classpath         = " + home_ + "/lib/rt.jar");
    EXPECT_EQ(entries[entries.size() - 2], "Verify            = Remote");
    EXPECT_EQ(plain.jdk11Properties, Lines{});  // no list from either side
}

TEST_F(VmCreation, FailingDefaultsEndCreationAndReleaseTheLibrary) {
    FakeJvmControl& fake = install(kJavaSoftKit, "1.1.8");
    fake.defaultsResult = -1;
    auto vm = host(JVM_DEFAULT);
    EXPECT_FALSE(vm->hasVM());
    EXPECT_EQ(fake.createCalls, 0);
    EXPECT_EQ(logEntries(), (Lines{"CJavaVM::CJavaVM(): jniGetDefaultJavaVMInitArgs() failed."}));
    EXPECT_FALSE(releaseAndCheckLoaded(home_));
    vm.reset();  // and the destructor does not release it a second time
}

TEST_F(VmCreation, MicrosoftVmGetsOnlyTheClassPath) {
    FakeJvmControl& msjava = microsoftControl();
    msjava.defaultClasspath = "C:\\WINNT\\Java\\Classes\\classes.zip";
    auto vm = host(JVM_MICROSOFT);
    ASSERT_TRUE(vm->hasVM());
    const std::string classpath = "C:\\WINNT\\Java\\Classes\\classes.zip:" + classpath_;
    EXPECT_EQ(logEntries(), (Lines{"Classpath         = " + classpath}));
    EXPECT_EQ(msjava.defaultsVersion, JNI_VERSION_1_1);
    EXPECT_EQ(msjava.createVersion, JNI_VERSION_1_1);
    EXPECT_EQ(msjava.microsoftClasspath, classpath);
    EXPECT_EQ(msjava.microsoft.vmDefined1, kFakeMicrosoftFields[0]);
    EXPECT_EQ(msjava.microsoft.vmDefined2, kFakeMicrosoftFields[1]);
    EXPECT_EQ(msjava.microsoft.vmDefined3, kFakeMicrosoftFields[2]);

    // Without a default class path there is no leading separator; without the settings'
    // one the default stands alone. (Each time as a VM in a process of its own.)
    msjava.reset();
    ASSERT_TRUE(host(JVM_MICROSOFT)->hasVM());
    EXPECT_EQ(msjava.microsoftClasspath, classpath_);
    msjava.reset();
    msjava.defaultClasspath = "C:\\classes.zip";
    classpath_.clear();
    ASSERT_TRUE(host(JVM_MICROSOFT)->hasVM());
    EXPECT_EQ(msjava.microsoftClasspath, "C:\\classes.zip");
    EXPECT_EQ(logEntries().back(), "Classpath         = C:\\classes.zip");
}

TEST_F(VmCreation, MicrosoftFailuresUseItsOwnWords) {
    FakeJvmControl& msjava = microsoftControl();
    msjava.defaultsResult = -1;
    EXPECT_FALSE(host(JVM_MICROSOFT)->hasVM());
    EXPECT_EQ(msjava.createCalls, 0);
    EXPECT_EQ(logEntries(), (Lines{"CJavaVM::CJavaVM(): jniGetDefaultJavaVMInitArgs() failed."}));

    msjava.reset();
    msjava.createdCounts = {1};
    EXPECT_TRUE(host(JVM_MICROSOFT)->hasVM());
    EXPECT_EQ(msjava.createCalls, 0);
    EXPECT_EQ(logEntries().back(),
              "CJavaVM::createJavaVM(): using a previously created MS Java VM.");

    msjava.reset();
    msjava.createResult = -1;
    msjava.createdResult = -1;
    EXPECT_FALSE(host(JVM_MICROSOFT)->hasVM());
    EXPECT_EQ(logEntries().back(), "CJavaVM::createJavaVM(): failed to create MS Java VM.");
}

TEST_F(VmCreation, AVmCreatedEarlierIsTakenElseAFailedCreationReleasesTheLibrary) {
    // A second engine bridge in a process that already holds a VM takes that VM without
    // creating another: a current JDK would report no VM at all after a second creation.
    FakeJvmControl& fake = install(kJavaSoftRuntime);
    fake.createdCounts = {1};
    auto vm = host(JVM_DEFAULT);
    EXPECT_TRUE(vm->hasVM());
    EXPECT_EQ(fake.createCalls, 0);
    EXPECT_NE(vm->getJNIEnv(), nullptr);
    EXPECT_EQ(fake.createdBufferLength, 1);
    EXPECT_EQ(logEntries().back(), "CJavaVM::createJavaVM(): using a previously created Java VM.");
    vm.reset();
    EXPECT_TRUE(releaseAndCheckLoaded(home_));

    // One that turns up only when the creation failed is taken all the same.
    FakeJvmControl& late = install(kJavaSoftRuntime);
    late.createdCounts = {0, 1};
    late.createResult = -5;
    vm = host(JVM_DEFAULT);
    EXPECT_TRUE(vm->hasVM());
    EXPECT_EQ(late.createCalls, 1);
    EXPECT_EQ(late.createdCalls, 2);
    EXPECT_EQ(logEntries().back(), "CJavaVM::createJavaVM(): using a previously created Java VM.");

    FakeJvmControl& failing = install(kJavaSoftRuntime);
    failing.createResult = -1;
    failing.createdResult = -1;
    vm = host(JVM_DEFAULT);
    EXPECT_FALSE(vm->hasVM());
    EXPECT_EQ(failing.createCalls, 1);
    EXPECT_EQ(vm->getJNIEnv(), nullptr);
    EXPECT_EQ(logEntries().back(), "CJavaVM::createJavaVM(): failed to create Java VM.");
    EXPECT_FALSE(releaseAndCheckLoaded(home_));

    // A VM list that answers but holds no VM is no VM either.
    FakeJvmControl& empty = install(kJavaSoftRuntime);
    empty.createResult = -1;
    vm = host(JVM_DEFAULT);
    EXPECT_FALSE(vm->hasVM());
    EXPECT_EQ(empty.createdCalls, 2);
    EXPECT_EQ(logEntries().back(), "CJavaVM::createJavaVM(): failed to create Java VM.");
    EXPECT_FALSE(releaseAndCheckLoaded(home_));
}

}  // namespace
}  // namespace vmtest
