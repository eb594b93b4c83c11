// The JVM host's life: construction from discovery to creation, the creation call shared by
// the three creation paths, threads attaching and detaching, and the end.
//
// Contents:
//   CJavaVM::CJavaVM()               discovery, loading, then one of the three creation paths
//   CJavaVM::~CJavaVM()              detaches; releases the library when no VM was created
//   CJavaVM::createJavaVM()          the creation call, or the VM the process already holds
//   CJavaVM::createdJavaVM()         the process's VM, as JNI_GetCreatedJavaVMs reports it
//   CJavaVM::getJNIEnv()             attaches the calling thread, with one retry
//   CJavaVM::detachCurrentThread()
#include "native/isapi/jvm/java_vm.h"

#include "native/isapi/jvm/vm_log.h"

namespace brevant::isapi {

using jvmhost::formatText;
using jvmhost::logLine;

CJavaVM::CJavaVM(JavaVMKind kind, int optionCount, const std::string options[kMaxVMOptions],
                 JDK1_1InitArgs& settings)
    : vmKind_(kind) {
    if (!findJavaInstallation() || !loadJavaLibrary()) {
        return;
    }
    if (vmKind_ == JVM_MICROSOFT) {
        createMicrosoftJavaVM(settings);
    } else if (isVersion11_) {
        createJava11VM(settings);
    } else {
        int count = optionCount < 0 ? 0 : optionCount;
        createJava12VM(count > kMaxVMOptions ? kMaxVMOptions : count, options, settings);
    }
}

CJavaVM::~CJavaVM() {
    detachCurrentThread();
    if (jvm_.load() == nullptr) {
        releaseLibrary();
    }
}

void CJavaVM::createJavaVM(void* arguments, const char* vmName) {
    // A process holds one VM at most: a second engine bridge takes the first one's. It asks
    // before creating, because a current JDK answers a second JNI_CreateJavaVM with -5 and
    // from then on reports no VM at all through JNI_GetCreatedJavaVMs.
    JavaVM* vm = createdJavaVM();
    if (vm == nullptr) {
        void* environment = nullptr;  // the creating thread asks for its own via getJNIEnv
        if (jniCreateJavaVM_(&vm, &environment, arguments) >= 0 && vm != nullptr) {
            jvm_ = vm;
            return;
        }
        vm = createdJavaVM();  // one created meanwhile, by another component of the process
    }
    if (vm == nullptr) {
        logLine(formatText("CJavaVM::createJavaVM(): failed to create %s.", vmName));
        releaseLibrary();
        jvm_ = nullptr;
        return;
    }
    logLine(formatText("CJavaVM::createJavaVM(): using a previously created %s.", vmName));
    jvm_ = vm;
}

JavaVM* CJavaVM::createdJavaVM() {
    JavaVM* vm = nullptr;
    jsize count = 0;
    if (jniGetCreatedJavaVMs_(&vm, 1, &count) < 0 || count < 1) {
        return nullptr;
    }
    return vm;
}

JNIEnv* CJavaVM::getJNIEnv() {
    JavaVM* vm = jvm_.load();
    if (vm == nullptr) {
        return nullptr;
    }
    JNIEnv* environment = nullptr;
    jint result = vm->AttachCurrentThread(reinterpret_cast<void**>(&environment), nullptr);
    if (result == JNI_OK) {
        return environment;
    }
    logLine(formatText("CJavaVM::getJNIEnv(): AttachCurrentThread() failed, error = %ld.",
                       static_cast<long>(result)));
    JavaVM* current = createdJavaVM();
    if (current == nullptr) {
        return nullptr;
    }
    jvm_ = current;
    environment = nullptr;
    if (current->AttachCurrentThread(reinterpret_cast<void**>(&environment), nullptr) != JNI_OK) {
        return nullptr;
    }
    logLine("CJavaVM::getJNIEnv(): AttachCurrentThread() second try success.");
    return environment;
}

void CJavaVM::detachCurrentThread() {
    if (JavaVM* vm = jvm_.load()) {
        vm->DetachCurrentThread();
    }
}

}  // namespace brevant::isapi
