// Where an installation keeps its VM library: the places the JVM host tries, in order, for
// an installation it found. A pure function of the installation and the platform's layout,
// so that the Windows order can be checked on any build. Any thread may call.
#ifndef BREVANT_ISAPI_JVM_JVM_LIBRARY_PATHS_H
#define BREVANT_ISAPI_JVM_JVM_LIBRARY_PATHS_H

#include <string>
#include <vector>

#include "native/isapi/isapi_platform.h"
#include "native/isapi/jvm/java_vm_kind.h"

namespace brevant::isapi::jvmhost {

struct JvmLibraryLayout {
    // The 1.1, classic and HotSpot paths of older installations come first.
    bool versionedPaths;
    // The VM library of current JDKs below the Java home, tried after those.
    const char* currentLibrary;
    // ...below a developer kit's jre folder (jreFolder) first.
    bool currentUnderJre;
    const char* jreFolder;
    // A library that a current VM library needs loaded first, below the same folder as the
    // library (the Java home or its jre folder), since loading a library by its path does
    // not search that library's folder for what it imports; "": none.
    const char* currentRuntime;
};

constexpr JvmLibraryLayout kPlatformJvmLayout{!kUsesCurrentJvmLayoutOnly, kCurrentJvmLibrary,
                                              kCurrentJvmUnderJre, kJreFolder, kJvmRuntimeLibrary};

struct JvmLibraryCandidate {
    std::string path;
    // A HotSpot request served by the classic VM: the kind becomes the default.
    bool becomesDefault = false;
    // To be loaded before the library, when it exists; empty: nothing.
    std::string runtimeFirst;
};

// The places to try for an installation at `javaHome` (not the Microsoft VM's, which is
// loaded by name), in order.
std::vector<JvmLibraryCandidate> jvmLibraryCandidates(const JvmLibraryLayout& layout,
                                                      const std::string& javaHome, bool isJDK,
                                                      bool isVersion11, JavaVMKind kind);

}  // namespace brevant::isapi::jvmhost

#endif  // BREVANT_ISAPI_JVM_JVM_LIBRARY_PATHS_H
