// The JVM host loads the found installation's VM library, resolves the three entry points
// of the invocation interface, and gives the library back when it cannot use it.
#include <standin_test_hooks.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "native/isapi/jvm/java_vm.h"
#include "vm_test_bed.h"

namespace vmtest {
namespace {

using brevant::isapi::JavaVMKind;
using brevant::isapi::JVM_DEFAULT;
using brevant::isapi::JVM_HOTSPOT;
using brevant::isapi::JVM_IBM;
using brevant::isapi::JVM_MICROSOFT;

using JavaLibrary = VmTestBed;

TEST_F(JavaLibrary, OnLinuxEveryKindLoadsLibJvmUnderTheJavaHome) {
    for (JavaVMKind kind : {JVM_DEFAULT, JVM_HOTSPOT, JVM_IBM}) {
        SCOPED_TRACE(kind);
        std::string kit = fakeJavaHome("kit" + std::to_string(kind));
        setRegistry(installation(kJavaSoftKit, "1.2", kit) + installation(kIBMTechKit, "1.2", kit));
        FakeJvmControl& fake = control(kit);
        auto vm = host(kind);
        EXPECT_TRUE(vm->hasVM());
        EXPECT_EQ(vm->vmKind(), kind);  // no classic fall-back changes the kind here
        EXPECT_EQ(fake.createCalls, 1);
    }
}

TEST_F(JavaLibrary, MissingLibraryIsReportedWithItsPath) {
    std::string kit = emptyJavaHome("kit");
    setRegistry(installation(kJavaSoftKit, "1.2", kit));
    auto vm = host(JVM_HOTSPOT);
    EXPECT_FALSE(vm->hasVM());
    EXPECT_EQ(vm->getJNIEnv(), nullptr);
    EXPECT_EQ(vm->javaHome(), kit);
    EXPECT_EQ(logEntries(), (Lines{"CJavaVM::loadJavaLibrary(): failed to load " + kit +
                                   "/lib/server/libjvm.so"}));
}

TEST_F(JavaLibrary, MissingEntryPointIsReportedAndTheLibraryReleased) {
    struct Case {
        const char* fake;
        const char* message;
    };
    const Case cases[] = {
        {FAKE_JVM_WITHOUT_DEFAULTS,
         "CJavaVM::loadJavaLibrary(): failed to get JNI_GetDefaultJavaVMInitArgs()."},
        {FAKE_JVM_WITHOUT_CREATE, "CJavaVM::loadJavaLibrary(): failed to get JNI_CreateJavaVM()."},
        {FAKE_JVM_WITHOUT_CREATED,
         "CJavaVM::loadJavaLibrary(): failed to get JNI_GetCreatedJavaVMs()."},
    };
    Lines expected;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::string home = fakeJavaHome("home" + std::to_string(n++), c.fake);
        setRegistry(installation(kJavaSoftRuntime, "1.2", home));
        FakeJvmControl& fake = control(home);
        auto vm = host(JVM_DEFAULT);
        EXPECT_FALSE(vm->hasVM());
        EXPECT_EQ(fake.defaultsCalls + fake.createCalls + fake.createdCalls, 0);
        expected.push_back(c.message);
        EXPECT_EQ(logEntries(), expected);
        EXPECT_FALSE(releaseAndCheckLoaded(home)) << "the host still holds the library";
    }
}

TEST_F(JavaLibrary, MicrosoftVmIsLoadedByName) {
    FakeJvmControl& msjava = microsoftControl();
    auto vm = host(JVM_MICROSOFT);
    EXPECT_TRUE(vm->hasVM());
    EXPECT_EQ(msjava.createCalls, 1);

    StandinFailNextCalls("LoadLibraryA", 1, ERROR_MOD_NOT_FOUND);
    vm = host(JVM_MICROSOFT);
    StandinClearFailures();
    EXPECT_FALSE(vm->hasVM());
    EXPECT_EQ(msjava.createCalls, 1);
    Lines entries = logEntries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back(), "CJavaVM::loadJavaLibrary(): failed to load msjava.dll");
}

}  // namespace
}  // namespace vmtest
