// The order in which the JVM host looks for an installation's VM library: Windows' layouts
// (checked here with the Windows layout, whatever the build) and Linux' single one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "native/isapi/jvm/jvm_library_paths.h"

namespace vmtest {
namespace {

using brevant::isapi::JavaVMKind;
using brevant::isapi::JVM_DEFAULT;
using brevant::isapi::JVM_HOTSPOT;
using brevant::isapi::JVM_IBM;
using brevant::isapi::jvmhost::jvmLibraryCandidates;
using brevant::isapi::jvmhost::JvmLibraryLayout;

// As the Windows build's platform header describes it.
constexpr JvmLibraryLayout kWindows{true, "\\bin\\server\\jvm.dll", true, "\\jre",
                                    "\\bin\\vcruntime140.dll"};
constexpr JvmLibraryLayout kLinux{false, "/lib/server/libjvm.so", false, "/jre", ""};
constexpr char kHome[] = "C:\\Java";

// One line per place: the path, "-> default" when the kind changes, "after <runtime>".
std::vector<std::string> places(const JvmLibraryLayout& layout, bool isJDK, bool isVersion11,
                                JavaVMKind kind) {
    std::vector<std::string> lines;
    for (const auto& candidate : jvmLibraryCandidates(layout, kHome, isJDK, isVersion11, kind)) {
        std::string line = candidate.path;
        if (candidate.becomesDefault) {
            line += " -> default";
        }
        if (!candidate.runtimeFirst.empty()) {
            line += " after " + candidate.runtimeFirst;
        }
        lines.push_back(line);
    }
    return lines;
}

TEST(JvmLibraryPaths, WindowsTriesTheVersionedLayoutsThenCurrentJdks) {
    // Each current library after the C runtime of its own bin folder: the jre's for the jre's.
    const std::string jreServer =
        "C:\\Java\\jre\\bin\\server\\jvm.dll after C:\\Java\\jre\\bin\\vcruntime140.dll";
    const std::string homeServer =
        "C:\\Java\\bin\\server\\jvm.dll after C:\\Java\\bin\\vcruntime140.dll";
    // A kit's runtime lies in jre, its HotSpot falls back to classic with a change of kind.
    EXPECT_EQ(places(kWindows, true, false, JVM_HOTSPOT),
              (std::vector<std::string>{
                  "C:\\Java\\jre\\bin\\hotspot\\jvm.dll",
                  "C:\\Java\\jre\\bin\\classic\\jvm.dll -> default",
                  jreServer,
                  homeServer,
              }));
    EXPECT_EQ(places(kWindows, false, false, JVM_DEFAULT),
              (std::vector<std::string>{"C:\\Java\\bin\\classic\\jvm.dll", homeServer}));
    EXPECT_EQ(
        places(kWindows, true, false, JVM_IBM),
        (std::vector<std::string>{"C:\\Java\\jre\\bin\\classic\\jvm.dll", jreServer, homeServer}));
    // A 1.1 installation has its own library in the home, kit or not, and no fall-back.
    EXPECT_EQ(places(kWindows, true, true, JVM_HOTSPOT),
              (std::vector<std::string>{"C:\\Java\\bin\\javai.dll", jreServer, homeServer}));
}

TEST(JvmLibraryPaths, LinuxHasOnePlaceWhateverTheKind) {
    for (int variant = 0; variant < 12; ++variant) {
        EXPECT_EQ(places(kLinux, variant & 1, variant & 2, static_cast<JavaVMKind>(variant / 4)),
                  (std::vector<std::string>{"C:\\Java/lib/server/libjvm.so"}));
    }
}

}  // namespace
}  // namespace vmtest
