// The JVM host finds the installation the administrator's javaVM setting asks for, in the
// registry keys Java installers write, with the tie-breaks between kits and runtimes.
#include <standin_test_hooks.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "vm_test_bed.h"

namespace vmtest {
namespace {

// An installation in a case: its key, "CurrentVersion", and the home's name (null: the
// version subkey is missing).
struct Installed {
    const char* key;
    const char* version;
    const char* home;
};

struct DiscoveryCase {
    std::vector<Installed> registry;
    JavaVMKind asked;
    const char* found;  // the home's name; "" for none
    bool isJDK;
    const char* version;
    JavaVMKind kind;
    Lines log;
};

const DiscoveryCase kDiscoveryCases[] = {
    // A kit wins over a runtime of the same vendor; without "CurrentVersion" 1.2 is read.
    {{{kJavaSoftKit, "1.2", "kit"}, {kJavaSoftRuntime, "1.2", "jre"}},
     JVM_DEFAULT,
     "kit",
     true,
     "1.2",
     JVM_DEFAULT,
     {}},
    {{{kJavaSoftKit, "", "kit"}}, JVM_DEFAULT, "kit", true, "1.2", JVM_DEFAULT, {}},
    // The first key that opens decides, even without its version subkey: silently.
    {{{kJavaSoftKit, "1.3", nullptr}, {kJavaSoftRuntime, "1.3", "jre"}},
     JVM_DEFAULT,
     "",
     true,
     "1.3",
     JVM_DEFAULT,
     {}},
    {{{kCurrentKit, "17", nullptr}, {kCurrentRuntime, "17", "jre"}},
     JVM_DEFAULT,
     "",
     true,
     "17",
     JVM_DEFAULT,
     {}},
    // The keys of current installers come after the older ones.
    {{{kCurrentKit, "17", "kit"}, {kCurrentRuntime, "17", "jre"}},
     JVM_DEFAULT,
     "kit",
     true,
     "17",
     JVM_DEFAULT,
     {}},
    {{{kCurrentRuntime, "17", "jre"}}, JVM_DEFAULT, "jre", false, "17", JVM_DEFAULT, {}},
    {{{kCurrentKit, "17", "kit"}, {kJavaSoftRuntime, "1.2", "old"}},
     JVM_DEFAULT,
     "old",
     false,
     "1.2",
     JVM_DEFAULT,
     {}},
    // A 1.3 runtime asked for the default kind runs HotSpot; a kit or another kind does not.
    {{{kJavaSoftRuntime, "1.3.1", "jre"}}, JVM_DEFAULT, "jre", false, "1.3.1", JVM_HOTSPOT, {}},
    {{{kJavaSoftKit, "1.3.1", "kit"}}, JVM_DEFAULT, "kit", true, "1.3.1", JVM_DEFAULT, {}},
    {{{kIBMTechRuntime, "1.3.0", "jre"}}, JVM_IBM, "jre", false, "1.3.0", JVM_IBM, {}},
    // IBM searches Tech, then Win32, then JavaSoft, whose VM it uses the default way.
    {{{kIBMTechKit, "1.2", "tech"},
      {kIBMWin32Kit, "1.2", "win32"},
      {kJavaSoftRuntime, "1.2", "js"}},
     JVM_IBM,
     "tech",
     true,
     "1.2",
     JVM_IBM,
     {}},
    {{{kIBMWin32Runtime, "1.2", "win32"}, {kJavaSoftRuntime, "1.2", "js"}},
     JVM_IBM,
     "win32",
     false,
     "1.2",
     JVM_IBM,
     {}},
    {{{kIBMTechKit, "1.2", nullptr}, {kJavaSoftRuntime, "1.2", "js"}},
     JVM_IBM,
     "js",
     false,
     "1.2",
     JVM_DEFAULT,
     {}},
    // Nothing installed: said once, by the JavaSoft search.
    {{}, JVM_DEFAULT, "", true, "", JVM_DEFAULT, {"neither JDK nor JRE installed."}},
    {{}, JVM_IBM, "", true, "", JVM_IBM, {"neither JDK nor JRE installed."}},
};

class JavaDiscovery : public VmTestBed, public testing::WithParamInterface<DiscoveryCase> {};

TEST_P(JavaDiscovery, FindsTheInstallationTheKindAsksFor) {
    const DiscoveryCase& c = GetParam();
    std::string sections;
    std::string found;
    for (const Installed& installed : c.registry) {
        const std::string home = installed.home != nullptr ? fakeJavaHome(installed.home) : "";
        sections += installation(installed.key, installed.version,
                                 installed.home != nullptr ? home.c_str() : nullptr);
        found = installed.home != nullptr && c.found == std::string(installed.home) ? home : found;
    }
    setRegistry(sections);
    auto vm = host(c.asked);
    EXPECT_EQ(vm->javaHome(), found);
    EXPECT_EQ(vm->hasVM(), !found.empty());
    EXPECT_EQ(vm->isJDK(), c.isJDK);
    EXPECT_EQ(vm->version(), c.version);
    EXPECT_EQ(vm->vmKind(), c.kind);
    if (found.empty()) {
        EXPECT_EQ(newEntries(), c.log);
    }
}

INSTANTIATE_TEST_SUITE_P(Registry, JavaDiscovery, testing::ValuesIn(kDiscoveryCases));

using Discovery = VmTestBed;

TEST_F(Discovery, MissingJavaHomeIsReported) {
    setRegistry(installation(kJavaSoftKit, "1.2", nullptr) +
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Development Kit\\1.2]\n"
                "\"RuntimeLib\"=\"somewhere\"\n\n");
    EXPECT_FALSE(host(JVM_DEFAULT)->hasVM());
    EXPECT_EQ(newEntries(),
              Lines{"Failed to read SOFTWARE\\JavaSoft\\Java Development Kit\\1.2\\JavaHome"});
}

TEST_F(Discovery, MicrosoftNeedsNoRegistry) {
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
    EXPECT_EQ(msjava.createCalls, 1);
}

}  // namespace
}  // namespace vmtest
