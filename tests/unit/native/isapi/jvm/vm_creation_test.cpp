// The JVM host creates the VM the found library implements: the settings become option
// strings for a 1.2 or later VM, overlay the defaults of a 1.1 VM, or only extend the class
// path of the Microsoft VM. Each path logs its settings block, hands over the hooks and
// reports a failed creation.
#include <gtest/gtest.h>

#include "native/isapi/jvm/vm_hooks.h"
#include "vm_test_bed.h"

namespace vmtest {
namespace {

class VmCreation : public VmTestBed {
  protected:
    VmCreation() { classpath_ = "/brevant/lib/servlet.jar:/brevant/lib/Brevant30.jar"; }

    // The option list as the fake received it: texts, with the hooks' functions named.
    static Lines optionTexts(const FakeJvmControl& fake) {
        Lines texts;
        for (const FakeJvmOption& option : fake.options) {
            texts.push_back(option.text +
                            (option.extraInfo == nullptr                           ? ""
                             : option.extraInfo == hook(brevant::isapi::vmMessage) ? " -> vmMessage"
                             : option.extraInfo == hook(brevant::isapi::vmExit)    ? " -> vmExit"
                             : option.extraInfo == hook(brevant::isapi::vmAbort)   ? " -> vmAbort"
                                                                                   : " -> ?"));
        }
        return texts;
    }
    template <typename Function>
    static void* hook(Function function) {
        return reinterpret_cast<void*>(function);
    }

    PropertyList jitOn_{{"java.compiler=symcjit", "brevant.one=1"}};
    PropertyList jitOff_{{"java.compiler="}};
};

TEST_F(VmCreation, HotSpotKitWithoutHeapSettings) {
    FakeJvmControl& fake = install(kJavaSoftKit);
    settings_.properties = jitOn_.get();
    options_[0] = "-Dbrevant.option=yes";
    options_[1] = "-Xss512k";
    ASSERT_TRUE(host(JVM_HOTSPOT, 2)->hasVM());
    const std::string classpath = classpath_ + ":" + home_ + "/lib/tools.jar";
    EXPECT_EQ(
        newEntries(),
        (Lines{"HotSpot requires at least 2M of heap space.", "Min Heap Size     = 2097152 bytes",
               "HotSpot requires at least 2M of heap space.", "Max Heap Size     = 16777216 bytes",
               "Verbose GC        = Disabled", "Verbose           = Disabled",
               "JITC              = Enabled", "Class GC          = Enabled",
               "Classpath         = " + classpath, "Additional VM options:", "-Xrs",
               "-Dbrevant.option=yes", "-Xss512k"}));
    EXPECT_EQ(optionTexts(fake),
              (Lines{"-Xms2097152", "-Xmx16777216", "-Djava.compiler=symcjit",
                     "-Djava.class.path=" + classpath, "vfprintf -> vmMessage", "exit -> vmExit",
                     "abort -> vmAbort", "-Xrs", "-Dbrevant.option=yes", "-Xss512k"}));
    EXPECT_EQ(fake.createVersion, JNI_VERSION_1_2);
    EXPECT_EQ(fake.ignoreUnrecognized, JNI_TRUE);
    EXPECT_EQ(fake.defaultsCalls, 0);  // a 1.2 VM is not asked for its defaults
}

TEST_F(VmCreation, HeapSizesAtAndAboveTheLeastEachKindTakes) {
    struct Case {
        JavaVMKind kind;
        jint minHeap, maxHeap;
        Lines block;  // "!" the HotSpot warning, "^" the maximum raised, else the sizes
    };
    // clang-format off
    const Case cases[] = {
        // HotSpot wants more than 2 MB: exactly 2 MB is still corrected, and warned about.
        {JVM_HOTSPOT, 2097152, 2097152, {"!", "2097152", "!", "16777216"}},
        {JVM_HOTSPOT, 2097153, 67108864, {"2097153", "67108864"}},
        // Every other kind wants more than 1 MB, silently.
        {JVM_DEFAULT, 1048576, 1048576, {"1048576", "16777216"}},
        {JVM_IBM, 1048577, 2097152, {"1048577", "2097152"}},
        // A maximum below the minimum, asked for or the default, is raised to it.
        {JVM_HOTSPOT, 67108864, 0, {"67108864", "!", "^", "67108864"}},
        {JVM_DEFAULT, 33554432, 20971520, {"33554432", "^", "33554432"}},
        {JVM_DEFAULT, 20971520, 20971520, {"20971520", "20971520"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        FakeJvmControl& fake = install(c.kind == JVM_IBM ? kIBMTechRuntime : kJavaSoftKit);
        settings_.minHeapSize = c.minHeap;
        settings_.maxHeapSize = c.maxHeap;
        ASSERT_EQ(host(c.kind)->vmKind(), c.kind);
        Lines expected, sizes;
        for (const std::string& line : c.block) {
            if (line == "!" || line == "^") {
                expected.push_back(line == "!" ? "HotSpot requires at least 2M of heap space."
                                               : "Max Heap Size raised to the Min Heap Size.");
            } else {
                sizes.push_back(line);
                expected.push_back((sizes.size() == 1 ? "Min" : "Max") +
                                   std::string(" Heap Size     = ") + line + " bytes");
            }
        }
        const Lines block = newEntries();
        EXPECT_EQ(Lines(block.begin(), block.begin() + static_cast<long>(expected.size())),
                  expected);
        EXPECT_EQ(optionTexts(fake).at(0) + " " + optionTexts(fake).at(1),
                  "-Xms" + sizes[0] + " -Xmx" + sizes[1]);
    }
}

// The options after the heap, JIT, class path and hook ones, and the block's lines after the
// heap lines, as the switches, the kind and the settings' class path decide.
TEST_F(VmCreation, SwitchesJitAndClassPathOfA12Vm) {
    struct Case {
        const char* key;
        JavaVMKind kind;
        jint verboseGC, verbose, classGC;
        PropertyList* jit;
        bool withClasspath;
        const char* switches;  // Verbose GC, Verbose, JITC, Class GC: "+" on, "-" off
        Lines options;
    };
    // clang-format off
    const Case cases[] = {
        {kJavaSoftRuntime, JVM_DEFAULT, 1, 1, 1, &jitOn_, true, "++++", {"-Djava.compiler=symcjit",
         "-verbose:gc,class", "-Xlog:gc:stdout:none", "-Xlog:class+load:stdout:none", "-Xrs"}},
        {kJavaSoftRuntime, JVM_DEFAULT, 1, 0, 0, &jitOff_, true, "+---", {"-Djava.compiler=NONE",
         "-verbose:gc", "-Xnoclassgc", "-Xlog:gc:stdout:none", "-Xrs"}},
        {kJavaSoftRuntime, JVM_DEFAULT, 0, 1, 1, nullptr, false, "-+-+", {"-Djava.compiler=NONE",
         "-verbose:class", "-Xlog:class+load:stdout:none", "-Xrs"}},
        // Only exactly 1 switches a setting on.
        {kJavaSoftRuntime, JVM_DEFAULT, 2, 2, 2, &jitOff_, false, "----",
         {"-Djava.compiler=NONE", "-Xnoclassgc", "-Xrs"}},
        // IBM's VM gets IBM's JIT; asked for IBM but found JavaSoft, the Symantec one.
        {kIBMWin32Kit, JVM_IBM, 0, 0, 1, &jitOn_, false, "--++", {"-Djava.compiler=ibmjitc", "-Xrs"}},
        {kJavaSoftRuntime, JVM_IBM, 0, 0, 1, &jitOn_, false, "--++", {"-Djava.compiler=symcjit", "-Xrs"}},
    };
    // clang-format on
    const std::string classpath = classpath_;
    const char* names[] = {"Verbose GC        = ", "Verbose           = ", "JITC              = ",
                           "Class GC          = "};
    for (const Case& c : cases) {
        FakeJvmControl& fake = install(c.key);
        settings_.enableVerboseGC = c.verboseGC;
        settings_.verbose = c.verbose;
        settings_.enableClassGC = c.classGC;
        settings_.properties = c.jit != nullptr ? c.jit->get() : nullptr;
        classpath_ = c.withClasspath ? classpath : "";
        ASSERT_TRUE(host(c.kind)->hasVM());
        const Lines all = optionTexts(fake);
        Lines options{all.at(2)};
        options.insert(options.end(), all.begin() + 7, all.end());
        EXPECT_EQ(options, c.options);
        EXPECT_EQ(all.at(3), "-Djava.class.path=" + (c.withClasspath ? classpath : "NONE"));

        Lines expected;
        for (int i = 0; i < 4; ++i) {
            expected.push_back(names[i] +
                               std::string(c.switches[i] == '+' ? "Enabled" : "Disabled"));
        }
        expected.push_back("Classpath         = " + (c.withClasspath ? classpath : "NONE"));
        expected.push_back("Additional VM options:");
        std::copy_if(c.options.begin(), c.options.end(), std::back_inserter(expected),
                     [](const std::string& o) { return o.starts_with("-Xlog") || o == "-Xrs"; });
        const Lines block = newEntries();
        EXPECT_EQ(Lines(block.begin() + 2, block.end()), expected);
    }
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
    options_[0] = "-Dnot.for.a.1.1.vm=1";
    auto vm = host(JVM_DEFAULT, 1);
    ASSERT_TRUE(vm->hasVM());
    EXPECT_TRUE(vm->isVersion11());
    const std::string classpath = home_ + "/lib/classes.zip:" + classpath_;
    EXPECT_EQ(newEntries(),
              (Lines{"Native Stack Size = 131072 bytes", "Java Stack Size   = 262144 bytes",
                     "Min Heap Size     = 1048576 bytes", "Max Heap Size     = 33554432 bytes",
                     "Verbose GC        = Disabled", "Verbose           = Enabled",
                     "JITC              = Disabled", "Class GC          = Disabled",
                     "Async GC          = Disabled", "Verify            = All",
                     "Classpath         = " + classpath, "Properties:", "    brevant.one=1",
                     "    brevant.two=2"}));
    EXPECT_EQ(fake.defaultsVersion + fake.createVersion, 2 * JNI_VERSION_1_1);
    const brevant::isapi::JDK1_1InitArgs& seen = fake.jdk11;
    EXPECT_EQ((std::vector<jint>{seen.nativeStackSize, seen.javaStackSize, seen.minHeapSize,
                                 seen.maxHeapSize, seen.verbose, seen.enableVerboseGC,
                                 seen.enableClassGC, seen.disableAsyncGC, seen.verifyMode}),
              (std::vector<jint>{kFakeNativeStackSize, 262144, kFakeMinHeapSize, 33554432, 1, 0, 0,
                                 1, 2}));
    EXPECT_EQ(fake.classpath, classpath);
    EXPECT_EQ(fake.properties, (Lines{"java.compiler=", "brevant.one=1", "brevant.two=2"}));
    EXPECT_EQ(seen.vfprintf, brevant::isapi::vmMessage);
    EXPECT_EQ(seen.exit, brevant::isapi::vmExit);
    EXPECT_EQ(seen.abort, brevant::isapi::vmAbort);
}

TEST_F(VmCreation, Java11RuntimeKeepsTheVmsClassPathOrStartsFromRtJar) {
    FakeJvmControl& fake = install(kJavaSoftRuntime, "1.1.7");
    fake.defaultClasspath = "/vm/classes";
    settings_.properties = jitOn_.get();
    settings_.verifyMode = 0;
    settings_.nativeStackSize = -1;  // negative sizes leave the VM's own
    ASSERT_TRUE(host(JVM_DEFAULT)->hasVM());
    const Lines entries = newEntries();
    EXPECT_EQ(entries.at(0), "Native Stack Size = 131072 bytes");
    EXPECT_EQ(Lines(entries.begin() + 6, entries.end()),
              (Lines{"JITC              = Enabled", "Class GC          = Enabled",
                     "Async GC          = Enabled", "Verify            = None",
                     "Classpath         = /vm/classes:" + classpath_,
                     "Properties:", "    brevant.one=1"}));

    FakeJvmControl& plain = install(kJavaSoftRuntime, "1.1.7");
    classpath_.clear();
    settings_.properties = nullptr;
    settings_.verifyMode = 1;
    ASSERT_TRUE(host(JVM_DEFAULT)->hasVM());
    EXPECT_EQ(newEntries().back(), "Classpath         = " + home_ + "/lib/rt.jar");
    EXPECT_EQ(plain.properties, Lines{});  // no list from either side
}

TEST_F(VmCreation, MicrosoftVmGetsOnlyTheClassPath) {
    const std::pair<std::string, std::string> cases[] = {
        // the VM's and the settings' own
        {"C:\\classes.zip", classpath_},
        {"", classpath_},
        {"C:\\classes.zip", ""},
    };
    for (const auto& [defaults, settings] : cases) {
        FakeJvmControl& msjava = microsoftControl();
        msjava.defaultClasspath = defaults;
        classpath_ = settings;
        ASSERT_TRUE(host(JVM_MICROSOFT)->hasVM());
        const std::string classpath =
            defaults.empty() || settings.empty() ? defaults + settings : defaults + ":" + settings;
        EXPECT_EQ(newEntries(), Lines{"Classpath         = " + classpath});
        EXPECT_EQ(msjava.classpath, classpath);
        EXPECT_EQ(msjava.defaultsVersion, JNI_VERSION_1_1);
        EXPECT_EQ(msjava.createVersion, JNI_VERSION_1_1);
    }
}

TEST_F(VmCreation, FailingDefaultsEndCreationAndReleaseTheLibrary) {
    FakeJvmControl& fake = install(kJavaSoftKit, "1.1.8");
    fake.defaultsResult = -1;
    FakeJvmControl& msjava = microsoftControl();
    msjava.defaultsResult = -1;
    for (JavaVMKind kind : {JVM_DEFAULT, JVM_MICROSOFT}) {
        EXPECT_FALSE(host(kind)->hasVM());  // and the destructor releases nothing again
        EXPECT_EQ(newEntries(), Lines{"CJavaVM::CJavaVM(): jniGetDefaultJavaVMInitArgs() failed."});
    }
    EXPECT_EQ(fake.createCalls + msjava.createCalls, 0);
    EXPECT_FALSE(releaseAndCheckLoaded(home_));
}

// A second engine bridge in a process that already holds a VM takes that VM without creating
// another: a current JDK would report no VM at all after a second creation.
TEST_F(VmCreation, AVmCreatedEarlierIsTakenElseAFailedCreationReleasesTheLibrary) {
    struct Case {
        JavaVMKind kind;
        std::vector<jsize> createdCounts;
        jint createResult, createdResult;
        int createCalls, createdCalls;
        const char* message;
    };
    const Case cases[] = {
        {JVM_DEFAULT, {1}, 0, 0, 0, 1, "using a previously created Java VM."},
        {JVM_DEFAULT, {0, 1}, -5, 0, 1, 2, "using a previously created Java VM."},
        {JVM_DEFAULT, {}, -1, -1, 1, 2, "failed to create Java VM."},
        {JVM_DEFAULT, {}, -1, 0, 1, 2, "failed to create Java VM."},  // a list without a VM
        {JVM_MICROSOFT, {1}, 0, 0, 0, 1, "using a previously created MS Java VM."},
        {JVM_MICROSOFT, {}, -1, -1, 1, 2, "failed to create MS Java VM."},
    };
    for (const Case& c : cases) {
        FakeJvmControl& fake =
            c.kind == JVM_MICROSOFT ? microsoftControl() : install(kJavaSoftRuntime);
        fake.createdCounts = c.createdCounts;
        fake.createResult = c.createResult;
        fake.createdResult = c.createdResult;
        auto vm = host(c.kind);
        const bool taken = c.message[0] == 'u';
        EXPECT_EQ(vm->hasVM(), taken) << c.message;
        EXPECT_EQ(vm->getJNIEnv() != nullptr, taken);
        EXPECT_EQ(fake.createCalls, c.createCalls);
        EXPECT_EQ(fake.createdCalls, c.createdCalls);
        EXPECT_EQ(fake.createdBufferLength, 1);
        EXPECT_EQ(newEntries().back(), std::string("CJavaVM::createJavaVM(): ") + c.message);
        if (c.kind != JVM_MICROSOFT) {
            vm.reset();
            EXPECT_EQ(releaseAndCheckLoaded(home_), taken) << c.message;
        }
    }
}

}  // namespace
}  // namespace vmtest
