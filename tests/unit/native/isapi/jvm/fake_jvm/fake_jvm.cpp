// A VM library for the JVM host's tests: the three entry points of the JNI invocation
// interface and a VM whose attach and detach only count, all answering as the test's
// script in FakeJvmControl says. Built in variants: as a 1.2 / 1.1 VM (it tells the records
// apart by their version), as the Microsoft VM (FAKE_JVM_MICROSOFT), and without one of the
// entry points (FAKE_JVM_WITHOUT_DEFAULTS, _CREATE, _CREATED).
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "fake_jvm_control.h"

namespace {

FakeJvmControl control;

using brevant::isapi::JDK1_1InitArgs;
using brevant::isapi::MicrosoftInitArgs;
using VfprintfHook = jint(JNICALL*)(FILE*, const char*, va_list);

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

jint callVfprintf(VfprintfHook hook, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    jint result = hook(stdout, format, arguments);
    va_end(arguments);
    return result;
}

// A real VM prints through its hook while it starts, when the script asks for it.
void printThrough(VfprintfHook vfprintfHook, int optionCount) {
    if (control.messageOnCreate && vfprintfHook != nullptr) {
        control.messageResult =
            callVfprintf(vfprintfHook, "fake VM %s with %d options\n", "created", optionCount);
    }
}

[[maybe_unused]] void recordJava12(const JavaVMInitArgs& arguments) {
    control.createVersion = arguments.version;
    control.ignoreUnrecognized = arguments.ignoreUnrecognized;
    VfprintfHook vfprintfHook = nullptr;
    for (jint i = 0; i < arguments.nOptions; ++i) {
        const JavaVMOption& option = arguments.options[i];
        control.options.push_back({option.optionString, option.extraInfo});
        if (std::strcmp(option.optionString, "vfprintf") == 0) {
            vfprintfHook = reinterpret_cast<VfprintfHook>(option.extraInfo);
        }
    }
    printThrough(vfprintfHook, arguments.nOptions);
}

[[maybe_unused]] void recordJava11(const JDK1_1InitArgs& arguments) {
    control.createVersion = arguments.version;
    control.jdk11 = arguments;
    control.jdk11Classpath = arguments.classpath != nullptr ? arguments.classpath : "(null)";
    for (char** property = arguments.properties; property != nullptr && *property != nullptr;
         ++property) {
        control.jdk11Properties.emplace_back(*property);
    }
    printThrough(arguments.vfprintf, 0);
}

[[maybe_unused]] void recordMicrosoft(const MicrosoftInitArgs& arguments) {
    control.createVersion = arguments.version;
    control.microsoft = arguments;
    control.microsoftClasspath = arguments.classpath != nullptr ? arguments.classpath : "(null)";
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
    auto* arguments = static_cast<MicrosoftInitArgs*>(record);
    arguments->vmDefined1 = kFakeMicrosoftFields[0];
    arguments->classpath = classpath;
    arguments->vmDefined2 = kFakeMicrosoftFields[1];
    arguments->vmDefined3 = kFakeMicrosoftFields[2];
#else
    auto* arguments = static_cast<JDK1_1InitArgs*>(record);
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
JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** environment, void* record) {
    ++control.createCalls;
    if (*static_cast<jint*>(record) == JNI_VERSION_1_2) {
        recordJava12(*static_cast<JavaVMInitArgs*>(record));
    } else {
#ifdef FAKE_JVM_MICROSOFT
        recordMicrosoft(*static_cast<MicrosoftInitArgs*>(record));
#else
        recordJava11(*static_cast<JDK1_1InitArgs*>(record));
#endif
    }
    if (control.createResult < 0) {
        *vm = nullptr;
        *environment = nullptr;
        return control.createResult;
    }
    *vm = &fakeVm;
    *environment = &fakeEnvironment;
    control.vmCreated = true;
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
    jsize reported = control.vmCreated ? 1 : 0;
    if (!control.createdCounts.empty()) {
        reported = control.createdCounts.front();
        control.createdCounts.erase(control.createdCounts.begin());
    }
    *count = reported;
    if (reported > 0 && size > 0) {
        vms[0] = &fakeVm;
    }
    return control.createdResult;
}
#endif

}  // extern "C"
