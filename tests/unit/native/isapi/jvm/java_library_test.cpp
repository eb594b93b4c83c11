// The JVM host loads the found installation's VM library, resolves the three entry points
// of the invocation interface, and gives the library back when it cannot use it.
#include <standin_test_hooks.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "vm_test_bed.h"

namespace vmtest {
namespace {

using JavaLibrary = VmTestBed;

TEST_F(JavaLibrary, OnLinuxEveryKindLoadsLibJvmUnderTheJavaHome) {
    for (JavaVMKind kind : {JVM_DEFAULT, JVM_HOTSPOT, JVM_IBM}) {
        FakeJvmControl& fake = install(kind == JVM_IBM ? kIBMTechKit : kJavaSoftKit);
        EXPECT_EQ(host(kind)->vmKind(), kind) << "no classic fall-back changes the kind here";
        EXPECT_EQ(fake.createCalls, 1) << kind;
    }
}

TEST_F(JavaLibrary, MissingLibraryIsReportedWithItsPath) {
    const std::string kit = fakeJavaHome("kit", nullptr);
    setRegistry(installation(kJavaSoftKit, "1.2", kit.c_str()));
    auto vm = host(JVM_HOTSPOT);
    EXPECT_FALSE(vm->hasVM());
    EXPECT_EQ(vm->getJNIEnv(), nullptr);
    EXPECT_EQ(newEntries(),
              Lines{"CJavaVM::loadJavaLibrary(): failed to load " + kit + "/lib/server/libjvm.so"});
}

TEST_F(JavaLibrary, MissingEntryPointIsReportedAndTheLibraryReleased) {
    const std::pair<const char*, const char*> cases[] = {
        {FAKE_JVM_WITHOUT_DEFAULTS,
         "CJavaVM::loadJavaLibrary(): failed to get JNI_GetDefaultJavaVMInitArgs()."},
        {FAKE_JVM_WITHOUT_CREATE, "CJavaVM::loadJavaLibrary(): failed to get JNI_CreateJavaVM()."},
        {FAKE_JVM_WITHOUT_CREATED,
         "CJavaVM::loadJavaLibrary(): failed to get JNI_GetCreatedJavaVMs()."},
    };
    for (const auto& [fakeLibrary, message] : cases) {
        FakeJvmControl& fake = install(kJavaSoftRuntime, "1.2", fakeLibrary);
        EXPECT_FALSE(host(JVM_DEFAULT)->hasVM());
        EXPECT_EQ(fake.defaultsCalls + fake.createCalls + fake.createdCalls, 0);
        EXPECT_EQ(newEntries(), Lines{message});
        EXPECT_FALSE(releaseAndCheckLoaded(home_)) << message;
    }
}

TEST_F(JavaLibrary, MicrosoftVmIsLoadedByName) {
    FakeJvmControl& msjava = microsoftControl();
    EXPECT_TRUE(host(JVM_MICROSOFT)->hasVM());
    StandinFailNextCalls("LoadLibraryA", 1, ERROR_MOD_NOT_FOUND);
    EXPECT_FALSE(host(JVM_MICROSOFT)->hasVM());
    StandinClearFailures();
    EXPECT_EQ(msjava.createCalls, 1);
    EXPECT_EQ(newEntries().back(), "CJavaVM::loadJavaLibrary(): failed to load msjava.dll");
}

}  // namespace
}  // namespace vmtest
