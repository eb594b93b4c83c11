// A VM library for the JVM host's tests: the three entry points of the JNI invocation
// interface and a VM whose attach and detach only count, all answering as the test's
// script in FakeJvmControl says. Built in variants: as a 1.2 / 1.1 VM (it tells the records
// apart by their version), as the Microsoft VM (FAKE_JVM_MICROSOFT), and without one of the
// entry points (FAKE_JVM_WITHOUT_DEFAULTS, _CREATE, _CREATED).
#include "fake_jvm_control.h"
#include "native/isapi/jvm/microsoft_init_args.h"

namespace {

FakeJvmControl control;
JNIEnv fakeEnvironment{};

jint JNICALL attachCurrentThread(JavaVM*, void** environment, void*) {
    size_t call = static_cast<size_t>(control.attachCalls++);
    jint result = call < control.attachResults.size() ? control.attachResults[call] : JNI_OK;
    if (result == JNI_OK) {
        *environment = &fakeEnvironment;
    }
    return result;
}

jint JNICALL detachCurrentThread(JavaVM*) {
    ++control.detachCalls;
    return JNI_OK;
}

const JNIInvokeInterface_ invokeInterface = {
    nullptr, nullptr, nullptr, nullptr, attachCurrentThread, detachCurrentThread, nullptr, nullptr};
JavaVM fakeVm{&invokeInterface};

[[maybe_unused]] std::string orNull(const char* text) {
    return text != nullptr ? text : "(null)";
}

[[maybe_unused]] void record(void* arguments) {
    control.createVersion = *static_cast<jint*>(arguments);
    if (control.createVersion == JNI_VERSION_1_2) {
        const auto& modern = *static_cast<JavaVMInitArgs*>(arguments);
        control.ignoreUnrecognized = modern.ignoreUnrecognized;
        for (jint i = 0; i < modern.nOptions; ++i) {
            control.options.push_back(
                {modern.options[i].optionString, modern.options[i].extraInfo});
        }
        return;
    }
#ifdef FAKE_JVM_MICROSOFT
    control.classpath =
        orNull(static_cast<brevant::isapi::MicrosoftInitArgs*>(arguments)->classpath);
#else
    control.jdk11 = *static_cast<brevant::isapi::JDK1_1InitArgs*>(arguments);
    control.classpath = orNull(control.jdk11.classpath);
    for (char** p = control.jdk11.properties; p != nullptr && *p != nullptr; ++p) {
        control.properties.emplace_back(*p);
    }
#endif
}

}  // namespace

extern "C" {

JNIEXPORT FakeJvmControl* FakeJvmControlBlock() {
    return &control;
}

#ifndef FAKE_JVM_WITHOUT_DEFAULTS
JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* record) {
    ++control.defaultsCalls;
    control.defaultsVersion = *static_cast<jint*>(record);
    if (control.defaultsResult < 0) {
        return control.defaultsResult;
    }
    char* classpath = control.defaultClasspath.empty() ? nullptr : control.defaultClasspath.data();
#ifdef FAKE_JVM_MICROSOFT
    static_cast<brevant::isapi::MicrosoftInitArgs*>(record)->classpath = classpath;
#else
    auto* arguments = static_cast<brevant::isapi::JDK1_1InitArgs*>(record);
    arguments->nativeStackSize = kFakeNativeStackSize;
    arguments->javaStackSize = kFakeJavaStackSize;
    arguments->minHeapSize = kFakeMinHeapSize;
    arguments->maxHeapSize = kFakeMaxHeapSize;
    arguments->verifyMode = 1;
    arguments->enableClassGC = 1;
    arguments->classpath = classpath;
#endif
    return control.defaultsResult;
}
#endif

#ifndef FAKE_JVM_WITHOUT_CREATE
JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** environment, void* arguments) {
    ++control.createCalls;
    record(arguments);
    control.vmCreated = control.createResult >= 0;
    *vm = control.vmCreated ? &fakeVm : nullptr;
    *environment = control.vmCreated ? &fakeEnvironment : nullptr;
    return control.createResult;
}
#endif

#ifndef FAKE_JVM_WITHOUT_CREATED
JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize size, jsize* count) {
    ++control.createdCalls;
    control.createdBufferLength = size;
    if (control.createdResult < 0) {
        return control.createdResult;
    }
    *count = control.vmCreated ? 1 : 0;
    if (!control.createdCounts.empty()) {
        *count = control.createdCounts.front();
        control.createdCounts.erase(control.createdCounts.begin());
    }
    if (*count > 0 && size > 0) {
        vms[0] = &fakeVm;
    }
    return control.createdResult;
}
#endif

}  // extern "C"
