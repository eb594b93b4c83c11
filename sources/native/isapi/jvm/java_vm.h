// CJavaVM: the JVM host. It finds a Java runtime installed on the machine through the keys
// that Java installers write in the registry, loads that runtime's VM library, creates the
// Java VM inside this process with the administrator's settings, and hands threads their JNI
// environment.
//
// One object per engine bridge, which creates it while it initialises and deletes it when it
// goes. Construction, with discovery, loading and creation, runs on that one thread before
// any request. Afterwards any number of IIS threads call getJNIEnv and detachCurrentThread at
// once; they take no lock. The VM pointer is atomic because the attach retry may replace it,
// with the one VM the process holds. Everything else is written only by the constructor.
//
// Owns the VM library (and, on Windows, the C runtime loaded ahead of a current jvm.dll).
// Once a VM exists the library is never released: the VM is never destroyed and its threads
// keep running the library's code. Not copyable.
#ifndef BREVANT_ISAPI_JVM_JAVA_VM_H
#define BREVANT_ISAPI_JVM_JAVA_VM_H

#include <jni.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "native/isapi/jvm/java_vm_kind.h"
#include "native/isapi/jvm/vm_option_slots.h"
#include "native/isapi/jvm/jdk11_init_args.h"

namespace brevant::isapi {

namespace jvmhost {

// A registry key under which a Java installer records an installation.
struct InstallationKey {
    const char* path;
    bool isJDK;  // a developer kit, whose runtime lies in its "jre" folder
};

}  // namespace jvmhost

class CJavaVM {
  public:
    // Finds an installation for `kind`, loads its VM library and creates the VM from
    // `settings` and the first `optionCount` of `options` (the options go to 1.2 and later
    // VMs only). The outcome shows through hasVM() and getJNIEnv(); failures are in the
    // native log. `settings` is read only; its properties and class path need to live only
    // until the constructor returns, because the VM copies them.
    // REQUIRES: options has kMaxVMOptions slots (a count outside 0..32 is clamped);
    // settings.properties is null or a null-terminated list.
    CJavaVM(JavaVMKind kind, int optionCount, const std::string options[kMaxVMOptions],
            JDK1_1InitArgs& settings);
    // Detaches the calling thread and releases the VM library when no VM was created.
    ~CJavaVM();
    CJavaVM(const CJavaVM&) = delete;
    CJavaVM& operator=(const CJavaVM&) = delete;

    // The calling thread's JNI environment, attaching the thread to the VM when it is not
    // attached yet; null when there is no VM or the thread cannot be attached.
    JNIEnv* getJNIEnv();

    // Detaches the calling thread from the VM, if there is one.
    void detachCurrentThread();

    bool hasVM() const { return jvm_.load() != nullptr; }
    // The installation's Java home; empty for the Microsoft VM and when none was found.
    const std::string& javaHome() const { return javaHome_; }
    // The kind asked for, as discovery and loading adjusted it.
    JavaVMKind vmKind() const { return vmKind_; }
    // The installation's version text ("1.2" when it names none), and what it implies.
    const std::string& version() const { return version_; }
    bool isJDK() const { return isJDK_; }
    bool isVersion11() const { return isVersion11_; }

  private:
    using GetDefaultJavaVMInitArgsFunction = jint(JNICALL*)(void* arguments);
    using CreateJavaVMFunction = jint(JNICALL*)(JavaVM** vm, void** environment, void* arguments);
    using GetCreatedJavaVMsFunction = jint(JNICALL*)(JavaVM** vms, jsize size, jsize* count);

    // The private operations, grouped by the file that holds each; every one of those files
    // lists its functions at its top. The constructor, the destructor, getJNIEnv and
    // detachCurrentThread live in java_vm.cpp.

    // ---- java_discovery.cpp: finding an installation in the registry. Fills isJDK_,
    // isVersion11_, version_ and javaHome_; may change vmKind_.
    bool findJavaInstallation();
    bool findJavaSoftInstallation();
    bool findIBMTechInstallation();
    bool findIBMWin32Installation();
    // Reads the installation below the first of `keys` that opens; *anyKeyOpened tells
    // whether one did.
    bool findInstallation(const jvmhost::InstallationKey* keys, int count, bool* anyKeyOpened);
    bool readJavaVersionAndHome(HKEY key, const std::string& keyPath);

    // ---- java_library.cpp: loading the VM library. Fills vmLibrary_, runtimeLibrary_ and
    // the entry points; may change vmKind_.
    bool loadJavaLibrary();
    bool loadLibraryAt(const std::string& path);
    bool resolveEntryPoints();
    void releaseLibrary();

    // ---- vm_creation_microsoft.cpp: the Microsoft VM.
    void createMicrosoftJavaVM(const JDK1_1InitArgs& settings);

    // ---- vm_creation_jdk11.cpp: a JDK 1.1 VM.
    void createJava11VM(const JDK1_1InitArgs& settings);

    // ---- vm_creation_jdk12.cpp: a 1.2 or later VM.
    void createJava12VM(int optionCount, const std::string options[],
                        const JDK1_1InitArgs& settings);

    // ---- java_vm.cpp: the creation call the three paths above end in.
    void createJavaVM(void* arguments, const char* vmName);
    // The VM this process already holds, as JNI_GetCreatedJavaVMs reports it; null if none.
    JavaVM* createdJavaVM();

    bool isJDK_ = false;
    bool isVersion11_ = false;
    JavaVMKind vmKind_;
    std::string version_;
    std::string javaHome_;
    HMODULE vmLibrary_ = nullptr;
    GetDefaultJavaVMInitArgsFunction jniGetDefaultJavaVMInitArgs_ = nullptr;
    CreateJavaVMFunction jniCreateJavaVM_ = nullptr;
    GetCreatedJavaVMsFunction jniGetCreatedJavaVMs_ = nullptr;
    std::atomic<JavaVM*> jvm_{nullptr};
    HMODULE runtimeLibrary_ = nullptr;
};

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_JVM_JAVA_VM_H
