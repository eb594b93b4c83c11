// The JVM host finds the installation the administrator's javaVM setting asks for, in the
// registry keys Java installers write, with the tie-breaks between kits and runtimes.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "vm_test_bed.h"

namespace vmtest {
namespace {

const std::map<std::string, const char*> kKeys = {
    {"JSK", kJavaSoftKit},    {"JSR", kJavaSoftRuntime},  {"JDK", kCurrentKit},
    {"JRE", kCurrentRuntime}, {"IBMTK", kIBMTechKit},     {"IBMTR", kIBMTechRuntime},
    {"IBMWK", kIBMWin32Kit},  {"IBMWR", kIBMWin32Runtime}};
const char* const kKinds[] = {"default", "hotspot", "ibm", "microsoft"};

struct DiscoveryCase {
    const char* registry;  // "KEY version home", comma-separated; "-": no version or subkey
    JavaVMKind asked;
    const char* found;  // "home JDK|JRE version kind"; home "-" for none
};

// clang-format off
const DiscoveryCase kDiscoveryCases[] = {
    // A kit wins over a runtime of the same vendor; without "CurrentVersion" 1.2 is read.
    {"JSK 1.2 kit, JSR 1.2 jre", JVM_DEFAULT, "kit JDK 1.2 default"},
    {"JSK - kit", JVM_DEFAULT, "kit JDK 1.2 default"},
    // The first key that opens decides, even without its version subkey: silently.
    {"JSK 1.3 -, JSR 1.3 jre", JVM_DEFAULT, "- JDK 1.3 default"},
    {"JDK 17 -, JRE 17 jre", JVM_DEFAULT, "- JDK 17 default"},
    // The keys of current installers come after the older ones.
    {"JDK 17 kit, JRE 17 jre", JVM_DEFAULT, "kit JDK 17 default"},
    {"JRE 17 jre", JVM_DEFAULT, "jre JRE 17 default"},
    {"JDK 17 kit, JSR 1.2 old", JVM_DEFAULT, "old JRE 1.2 default"},
    // A 1.3 runtime asked for the default kind runs HotSpot; a kit or another kind does not.
    {"JSR 1.3.1 jre", JVM_DEFAULT, "jre JRE 1.3.1 hotspot"},
    {"JSK 1.3.1 kit", JVM_DEFAULT, "kit JDK 1.3.1 default"},
    {"IBMTR 1.3.0 jre", JVM_IBM, "jre JRE 1.3.0 ibm"},
    // IBM searches Tech, then Win32, then JavaSoft, whose VM it uses the default way.
    {"IBMTK 1.2 tech, IBMWK 1.2 win32, JSR 1.2 js", JVM_IBM, "tech JDK 1.2 ibm"},
    {"IBMWR 1.2 win32, JSR 1.2 js", JVM_IBM, "win32 JRE 1.2 ibm"},
    {"IBMTK 1.2 -, JSR 1.2 js", JVM_IBM, "js JRE 1.2 default"},
    // Nothing installed: said once, by the JavaSoft search (see the test).
    {"", JVM_DEFAULT, "- JDK  default"},
    {"", JVM_IBM, "- JDK  ibm"},
};
// clang-format on

class JavaDiscovery : public VmTestBed, public testing::WithParamInterface<DiscoveryCase> {};

TEST_P(JavaDiscovery, FindsTheInstallationTheKindAsksFor) {
    std::istringstream registry(std::string(GetParam().registry) + ",");
    std::string sections, key, version, home;
    while (registry >> key >> version >> home) {
        home.pop_back();  // the comma
        const std::string path = home == "-" ? "" : fakeJavaHome(home);
        sections += installation(kKeys.at(key), version == "-" ? "" : version,
                                 home == "-" ? nullptr : path.c_str());
    }
    registrySections(sections);
    auto vm = host(GetParam().asked);
    const std::string name = vm->javaHome().substr(vm->javaHome().rfind('/') + 1);
    EXPECT_EQ((name.empty() ? "-" : name) + (vm->isJDK() ? " JDK " : " JRE ") + vm->version() +
                  " " + kKinds[vm->vmKind()],
              GetParam().found);
    EXPECT_EQ(vm->hasVM(), !name.empty());
    if (!vm->hasVM()) {
        EXPECT_EQ(newEntries(),
                  *GetParam().registry ? Lines{} : Lines{"neither JDK nor JRE installed."});
    }
}

INSTANTIATE_TEST_SUITE_P(Registry, JavaDiscovery, testing::ValuesIn(kDiscoveryCases));

using Discovery = VmTestBed;

TEST_F(Discovery, MissingJavaHomeIsReported) {
    registrySections(installation(kJavaSoftKit, "1.2", nullptr) +
                     section(kJavaSoftKit + std::string("\\1.2"), "RuntimeLib", "somewhere"));
    EXPECT_FALSE(host(JVM_DEFAULT)->hasVM());
    EXPECT_EQ(newEntries(),
              Lines{"Failed to read SOFTWARE\\JavaSoft\\Java Development Kit\\1.2\\JavaHome"});
}

}  // namespace
}  // namespace vmtest
