#include "native/isapi/jvm/jvm_library_paths.h"

#include <utility>

namespace brevant::isapi::jvmhost {

namespace {

JvmLibraryCandidate place(std::string path, bool becomesDefault = false,
                          std::string runtimeFirst = std::string()) {
    return JvmLibraryCandidate{std::move(path), becomesDefault, std::move(runtimeFirst)};
}

}  // namespace

std::vector<JvmLibraryCandidate> jvmLibraryCandidates(const JvmLibraryLayout& layout,
                                                      const std::string& javaHome, bool isJDK,
                                                      bool isVersion11, JavaVMKind kind) {
    std::vector<JvmLibraryCandidate> candidates;
    if (layout.versionedPaths) {
        // Installations of that time name the VM kind in the path; a kit's runtime is in jre.
        const std::string runtimeHome = javaHome + (isJDK ? layout.jreFolder : "");
        if (isVersion11) {
            candidates.push_back(place(javaHome + "\\bin\\javai.dll"));
        } else if (kind == JVM_HOTSPOT) {
            candidates.push_back(place(runtimeHome + "\\bin\\hotspot\\jvm.dll"));
            // Without its HotSpot library the runtime still has its classic VM.
            candidates.push_back(place(runtimeHome + "\\bin\\classic\\jvm.dll", true));
        } else {
            candidates.push_back(place(runtimeHome + "\\bin\\classic\\jvm.dll"));
        }
    }
    // Current JDKs have one VM library whatever the kind asked for, so the kind stays.
    auto current = [&layout](const std::string& root) {
        return place(root + layout.currentLibrary, false,
                     layout.currentRuntime[0] != '\0' ? root + layout.currentRuntime : "");
    };
    if (layout.currentUnderJre && isJDK) {
        candidates.push_back(current(javaHome + layout.jreFolder));
    }
    candidates.push_back(current(javaHome));
    return candidates;
}

}  // namespace brevant::isapi::jvmhost
