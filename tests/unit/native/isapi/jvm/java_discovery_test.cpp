// The JVM host finds the installation the administrator's javaVM setting asks for, in the
// registry keys Java installers write, with the tie-breaks between kits and runtimes.
#include <standin_test_hooks.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
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

class JavaDiscovery : public VmTestBed {
  protected:
    bool logHolds(const std::string& entry) const {
        Lines entries = logEntries();
        return std::find(entries.begin(), entries.end(), entry) != entries.end();
    }
};

TEST_F(JavaDiscovery, DeveloperKitBeatsRuntimeOfTheSameVendor) {
    std::string kit = fakeJavaHome("kit");
    std::string runtime = fakeJavaHome("runtime");
    setRegistry(installation(kJavaSoftKit, "1.2", kit) +
                installation(kJavaSoftRuntime, "1.2", runtime));
    FakeJvmControl& kitVm = control(kit);
    FakeJvmControl& runtimeVm = control(runtime);

    auto vm = host(JVM_DEFAULT);
    EXPECT_TRUE(vm->hasVM());
    EXPECT_EQ(vm->javaHome(), kit);
    EXPECT_TRUE(vm->isJDK());
    EXPECT_EQ(vm->version(), "1.2");
    EXPECT_FALSE(vm->isVersion11());
    EXPECT_EQ(vm->vmKind(), JVM_DEFAULT);
    EXPECT_EQ(kitVm.createCalls, 1);
    EXPECT_EQ(runtimeVm.createCalls, 0);
}

TEST_F(JavaDiscovery, KitWithoutItsVersionSubkeyEndsTheSearchSilently) {
    std::string runtime = fakeJavaHome("runtime");
    setRegistry(installationWithoutSubkey(kJavaSoftKit, "1.3") +
                installation(kJavaSoftRuntime, "1.3", runtime));
    FakeJvmControl& runtimeVm = control(runtime);

    auto vm = host(JVM_DEFAULT);
    EXPECT_FALSE(vm->hasVM());
    EXPECT_EQ(vm->getJNIEnv(), nullptr);
    EXPECT_EQ(vm->javaHome(), "");
    EXPECT_TRUE(vm->isJDK());
    EXPECT_EQ(runtimeVm.createCalls, 0);
    EXPECT_EQ(logEntries(), Lines{});

    // The same holds for the keys of current installers, tried after the older two.
    setRegistry(installationWithoutSubkey(kCurrentKit, "17") +
                installation(kCurrentRuntime, "17", runtime));
    EXPECT_FALSE(host(JVM_DEFAULT)->hasVM());
    EXPECT_EQ(runtimeVm.createCalls, 0);
    EXPECT_EQ(logEntries(), Lines{});
}

TEST_F(JavaDiscovery, WithoutCurrentVersionTheSubkey12IsRead) {
    std::string kit = fakeJavaHome("kit");
    setRegistry(installation(kJavaSoftKit, "", kit));
    auto vm = host(JVM_DEFAULT);
    EXPECT_TRUE(vm->hasVM());
    EXPECT_EQ(vm->version(), "1.2");
    EXPECT_EQ(vm->javaHome(), kit);
}

TEST_F(JavaDiscovery, RuntimeOf13ChoosesHotSpotKitOf13KeepsTheDefault) {
    std::string runtime = fakeJavaHome("runtime");
    setRegistry(installation(kJavaSoftRuntime, "1.3.1", runtime));
    auto vm = host(JVM_DEFAULT);
    EXPECT_FALSE(vm->isJDK());
    EXPECT_EQ(vm->version(), "1.3.1");
    // On Linux the library is the same whatever the kind: the kind shows in the heap rule.
    EXPECT_EQ(vm->vmKind(), JVM_HOTSPOT);
    EXPECT_TRUE(vm->hasVM());
    EXPECT_EQ(control(runtime).options.at(0).text, "-Xms2097152");

    std::string kit = fakeJavaHome("kit");
    setRegistry(installation(kJavaSoftKit, "1.3.1", kit));
    EXPECT_EQ(host(JVM_DEFAULT)->vmKind(), JVM_DEFAULT);

    // Only the default kind turns into HotSpot.
    std::string ibmRuntime = fakeJavaHome("ibm-runtime");
    setRegistry(installation(kIBMTechRuntime, "1.3.0", ibmRuntime));
    EXPECT_EQ(host(JVM_IBM)->vmKind(), JVM_IBM);
}

TEST_F(JavaDiscovery, MissingJavaHomeIsReported) {
    setRegistry(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Development Kit]\n"
        "\"CurrentVersion\"=\"1.2\"\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Development Kit\\1.2]\n"
        "\"RuntimeLib\"=\"somewhere\"\n\n");
    auto vm = host(JVM_DEFAULT);
    EXPECT_FALSE(vm->hasVM());
    EXPECT_EQ(logEntries(), (Lines{"Failed to read SOFTWARE\\JavaSoft\\Java Development "
                                   "Kit\\1.2\\JavaHome"}));
}

TEST_F(JavaDiscovery, NothingInstalledIsReportedOnceByTheJavaSoftSearch) {
    EXPECT_FALSE(host(JVM_DEFAULT)->hasVM());
    EXPECT_EQ(logEntries(), (Lines{"neither JDK nor JRE installed."}));

    // The IBM searches fail silently before it.
    EXPECT_FALSE(host(JVM_IBM)->hasVM());
    EXPECT_EQ(logEntries(),
              (Lines{"neither JDK nor JRE installed.", "neither JDK nor JRE installed."}));
}

TEST_F(JavaDiscovery, IbmSearchesTechThenWin32ThenFallsBackToJavaSoft) {
    std::string tech = fakeJavaHome("tech");
    std::string win32 = fakeJavaHome("win32");
    std::string javasoft = fakeJavaHome("javasoft");
    const std::string javaSoftRuntime = installation(kJavaSoftRuntime, "1.2", javasoft);

    setRegistry(installation(kIBMTechKit, "1.2", tech) + installation(kIBMWin32Kit, "1.2", win32) +
                javaSoftRuntime);
    auto vm = host(JVM_IBM);
    EXPECT_EQ(vm->javaHome(), tech);
    EXPECT_TRUE(vm->isJDK());
    EXPECT_EQ(vm->vmKind(), JVM_IBM);

    setRegistry(installation(kIBMWin32Runtime, "1.2", win32) + javaSoftRuntime);
    vm = host(JVM_IBM);
    EXPECT_EQ(vm->javaHome(), win32);
    EXPECT_FALSE(vm->isJDK());
    EXPECT_EQ(vm->vmKind(), JVM_IBM);

    // An IBM kit without its version subkey ends only IBM's own search.
    setRegistry(installationWithoutSubkey(kIBMTechKit, "1.2") + javaSoftRuntime);
    vm = host(JVM_IBM);
    EXPECT_EQ(vm->javaHome(), javasoft);
    EXPECT_EQ(vm->vmKind(), JVM_DEFAULT);  // a JavaSoft VM is used its own default way
    EXPECT_TRUE(vm->hasVM());
    EXPECT_FALSE(logHolds("neither JDK nor JRE installed."));
}

TEST_F(JavaDiscovery, MicrosoftNeedsNoRegistry) {
    FakeJvmControl& msjava = microsoftControl();
    // One injected failure: had the host opened any key, it would have taken it.
    StandinFailNextCalls("RegOpenKeyExA", 1, ERROR_ACCESS_DENIED);
    auto vm = host(JVM_MICROSOFT);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key),
              ERROR_ACCESS_DENIED);
    StandinClearFailures();

    EXPECT_TRUE(vm->hasVM());
    EXPECT_EQ(vm->javaHome(), "");
    EXPECT_EQ(vm->version(), "1.1");
    EXPECT_TRUE(vm->isVersion11());
    EXPECT_FALSE(vm->isJDK());
    EXPECT_EQ(vm->vmKind(), JVM_MICROSOFT);
    EXPECT_EQ(msjava.createCalls, 1);
}

TEST_F(JavaDiscovery, KeysOfCurrentInstallersComeAfterTheOlderOnes) {
    std::string kit = fakeJavaHome("kit");
    std::string runtime = fakeJavaHome("runtime");
    std::string old = fakeJavaHome("old");

    setRegistry(installation(kCurrentKit, "17", kit) +
                installation(kCurrentRuntime, "17", runtime));
    auto vm = host(JVM_DEFAULT);
    EXPECT_EQ(vm->javaHome(), kit);
    EXPECT_TRUE(vm->isJDK());
    EXPECT_EQ(vm->version(), "17");
    EXPECT_TRUE(vm->hasVM());

    setRegistry(installation(kCurrentRuntime, "17", runtime));
    vm = host(JVM_DEFAULT);
    EXPECT_EQ(vm->javaHome(), runtime);
    EXPECT_FALSE(vm->isJDK());

    setRegistry(installation(kCurrentKit, "17", kit) + installation(kJavaSoftRuntime, "1.2", old));
    EXPECT_EQ(host(JVM_DEFAULT)->javaHome(), old);
    EXPECT_FALSE(logHolds("neither JDK nor JRE installed."));
}

}  // namespace
}  // namespace vmtest
