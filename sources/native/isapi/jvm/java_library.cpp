// Loading the found installation's VM library and resolving the three entry points of the
// JNI invocation interface.
//
// Contents:
//   entryPoint()                     file-static: GetProcAddress with the entry point's type
//   CJavaVM::loadJavaLibrary()       msjava.dll, or the first library of the candidates
//   CJavaVM::loadLibraryAt()         one candidate; logs its path when it does not load
//   CJavaVM::resolveEntryPoints()    the three JNI entry points; logs the first one missing
//   CJavaVM::releaseLibrary()        frees the VM library and the C runtime loaded before it
#include "native/isapi/jvm/java_vm.h"
#include "native/isapi/jvm/jvm_library_paths.h"
#include "native/isapi/jvm/vm_log.h"

namespace brevant::isapi {

using jvmhost::JvmLibraryCandidate;
using jvmhost::jvmLibraryCandidates;
using jvmhost::kPlatformJvmLayout;
using jvmhost::logLine;

namespace {

// GetProcAddress answers with a generic function pointer; the cast through void(*)() says
// that the entry point's real type is known here.
template <typename Function>
Function entryPoint(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

}  // namespace

bool CJavaVM::loadJavaLibrary() {
    if (vmKind_ == JVM_MICROSOFT) {
        vmLibrary_ = LoadLibraryA("msjava.dll");
        if (vmLibrary_ == nullptr) {
            logLine("CJavaVM::loadJavaLibrary(): failed to load msjava.dll");
            return false;
        }
        return resolveEntryPoints();
    }
    for (const JvmLibraryCandidate& candidate :
         jvmLibraryCandidates(kPlatformJvmLayout, javaHome_, isJDK_, isVersion11_, vmKind_)) {
        if (!candidate.runtimeFirst.empty()) {
            // Where the C runtime is installed system-wide the Java home may lack it: optional.
            runtimeLibrary_ = LoadLibraryA(candidate.runtimeFirst.c_str());
        }
        if (loadLibraryAt(candidate.path)) {
            if (candidate.becomesDefault) {
                vmKind_ = JVM_DEFAULT;
            }
            return resolveEntryPoints();
        }
        // A runtime left loaded would be the one the next candidate's library is bound to,
        // in place of its own.
        releaseLibrary();
    }
    return false;
}

bool CJavaVM::loadLibraryAt(const std::string& path) {
    vmLibrary_ = LoadLibraryA(path.c_str());
    if (vmLibrary_ == nullptr) {
        logLine("CJavaVM::loadJavaLibrary(): failed to load " + path);
        return false;
    }
    return true;
}

bool CJavaVM::resolveEntryPoints() {
    jniGetDefaultJavaVMInitArgs_ =
        entryPoint<GetDefaultJavaVMInitArgsFunction>(vmLibrary_, "JNI_GetDefaultJavaVMInitArgs");
    const char* missing = nullptr;
    if (jniGetDefaultJavaVMInitArgs_ == nullptr) {
        missing = "CJavaVM::loadJavaLibrary(): failed to get JNI_GetDefaultJavaVMInitArgs().";
    } else if ((jniCreateJavaVM_ =
                    entryPoint<CreateJavaVMFunction>(vmLibrary_, "JNI_CreateJavaVM")) == nullptr) {
        missing = "CJavaVM::loadJavaLibrary(): failed to get JNI_CreateJavaVM().";
    } else if ((jniGetCreatedJavaVMs_ = entryPoint<GetCreatedJavaVMsFunction>(
                    vmLibrary_, "JNI_GetCreatedJavaVMs")) == nullptr) {
        missing = "CJavaVM::loadJavaLibrary(): failed to get JNI_GetCreatedJavaVMs().";
    }
    if (missing == nullptr) {
        return true;
    }
    logLine(missing);
    releaseLibrary();
    return false;
}

void CJavaVM::releaseLibrary() {
    if (vmLibrary_ != nullptr) {
        FreeLibrary(vmLibrary_);
        vmLibrary_ = nullptr;
    }
    if (runtimeLibrary_ != nullptr) {
        FreeLibrary(runtimeLibrary_);
        runtimeLibrary_ = nullptr;
    }
    jniGetDefaultJavaVMInitArgs_ = nullptr;
    jniCreateJavaVM_ = nullptr;
    jniGetCreatedJavaVMs_ = nullptr;
}

}  // namespace brevant::isapi
