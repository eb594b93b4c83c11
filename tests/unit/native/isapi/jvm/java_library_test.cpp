// The JVM host loads the found installation's VM library, resolves the three entry points of
// the invocation interface, and gives the library back when it cannot use it.
#include <standin_test_hooks.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "vm_test_bed.h"

namespace vmtest {
namespace {

using JavaLibrary = VmTestBed;

TEST_F(JavaLibrary, MissingLibraryIsReportedWithItsPath) {
    const std::string kit = fakeJavaHome("kit", nullptr);
    registrySections(installation(kJavaSoftKit, "1.2", kit.c_str()));
    auto vm = host(JVM_HOTSPOT);
    EXPECT_FALSE(vm->hasVM());
    EXPECT_EQ(newEntries(),
              Lines{"CJavaVM::loadJavaLibrary(): failed to load " + kit + "/lib/server/libjvm.so"});
}

TEST_F(JavaLibrary, MissingEntryPointIsReportedAndTheLibraryReleased) {
    const std::pair<const char*, const char*> cases[] = {
        {FAKE_JVM_WITHOUT_DEFAULTS, "JNI_GetDefaultJavaVMInitArgs"},
        {FAKE_JVM_WITHOUT_CREATE, "JNI_CreateJavaVM"},
        {FAKE_JVM_WITHOUT_CREATED, "JNI_GetCreatedJavaVMs"},
    };
    for (const auto& [fakeLibrary, function] : cases) {
        FakeJvmControl& fake = install(kJavaSoftRuntime, "1.2", fakeLibrary);
        EXPECT_FALSE(host(JVM_DEFAULT)->hasVM());
        EXPECT_EQ(fake.defaultsCalls + fake.createCalls + fake.createdCalls, 0);
        EXPECT_EQ(newEntries(), Lines{"CJavaVM::loadJavaLibrary(): failed to get " +
                                      std::string(function) + "()."});
        EXPECT_FALSE(releaseAndCheckLoaded(home_)) << function;
    }
}

// The one injected registry failure stays unused: had the host opened a key, it would have
// taken it.
TEST_F(JavaLibrary, MicrosoftVmIsLoadedByNameWithoutTheRegistry) {
    FakeJvmControl& msjava = microsoftControl();
    StandinFailNextCalls("RegOpenKeyExA", 1, ERROR_ACCESS_DENIED);
    auto vm = host(JVM_MICROSOFT);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_TRUE(vm->hasVM());
    EXPECT_EQ(vm->version() + (vm->isVersion11() ? " 1.1" : "") + (vm->isJDK() ? " JDK" : ""),
              "1.1 1.1");
    EXPECT_EQ(vm->javaHome(), "");
    StandinFailNextCalls("LoadLibraryA", 1, ERROR_MOD_NOT_FOUND);
    EXPECT_FALSE(host(JVM_MICROSOFT)->hasVM());
    StandinClearFailures();
    EXPECT_EQ(msjava.createCalls, 1);
    EXPECT_EQ(newEntries().back(), "CJavaVM::loadJavaLibrary(): failed to load msjava.dll");
}

}  // namespace
}  // namespace vmtest
