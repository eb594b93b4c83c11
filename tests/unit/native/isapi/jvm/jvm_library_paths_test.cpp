// The order in which the JVM host looks for an installation's VM library: Windows' layouts
// (checked here with the Windows layout, whatever the build) and Linux' single one.
#include <gtest/gtest.h>

#include "jvm_host_world.h"
#include "native/isapi/jvm/jvm_library_paths.h"

namespace vmtest {
namespace {

using namespace brevant::isapi;
using jvmhost::JvmLibraryLayout;

// As the platform headers of the two builds describe them.
constexpr JvmLibraryLayout kWindows{true, "\\bin\\server\\jvm.dll", true, "\\jre",
                                    "\\bin\\vcruntime140.dll"};
constexpr JvmLibraryLayout kLinux{false, "/lib/server/libjvm.so", false, "/jre", ""};

// One line per place below C:\Java: the path, "-> default" when the kind changes, and
// "after <runtime>" when a C runtime is loaded first.
Lines places(const JvmLibraryLayout& layout, bool isJDK, bool isVersion11, JavaVMKind kind) {
    Lines lines;
    for (const auto& place : jvmLibraryCandidates(layout, "C:\\Java", isJDK, isVersion11, kind)) {
        lines.push_back(
            place.path.substr(7) + (place.becomesDefault ? " -> default" : "") +
            (place.runtimeFirst.empty() ? "" : " after " + place.runtimeFirst.substr(7)));
    }
    return lines;
}

// Each current library after the C runtime of its own bin folder: the jre's for the jre's.
const std::string kJreServer = "\\jre\\bin\\server\\jvm.dll after \\jre\\bin\\vcruntime140.dll";
const std::string kHomeServer = "\\bin\\server\\jvm.dll after \\bin\\vcruntime140.dll";

TEST(JvmLibraryPaths, WindowsTriesTheVersionedLayoutsThenCurrentJdks) {
    // A kit's runtime lies in jre, its HotSpot falls back to classic with a change of kind.
    EXPECT_EQ(places(kWindows, true, false, JVM_HOTSPOT),
              (Lines{"\\jre\\bin\\hotspot\\jvm.dll", "\\jre\\bin\\classic\\jvm.dll -> default",
                     kJreServer, kHomeServer}));
    EXPECT_EQ(places(kWindows, false, false, JVM_DEFAULT),
              (Lines{"\\bin\\classic\\jvm.dll", kHomeServer}));
    EXPECT_EQ(places(kWindows, true, false, JVM_IBM),
              (Lines{"\\jre\\bin\\classic\\jvm.dll", kJreServer, kHomeServer}));
    // A 1.1 installation has its own library in the home, kit or not, and no fall-back.
    EXPECT_EQ(places(kWindows, true, true, JVM_HOTSPOT),
              (Lines{"\\bin\\javai.dll", kJreServer, kHomeServer}));
}

TEST(JvmLibraryPaths, LinuxHasOnePlaceWhateverTheKind) {
    for (int variant = 0; variant < 12; ++variant) {
        EXPECT_EQ(places(kLinux, variant & 1, variant & 2, static_cast<JavaVMKind>(variant / 4)),
                  Lines{"/lib/server/libjvm.so"});
    }
}

}  // namespace
}  // namespace vmtest
