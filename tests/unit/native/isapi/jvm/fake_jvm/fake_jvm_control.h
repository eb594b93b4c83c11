// The control block of the fake VM library that the JVM host's tests load in place of a
// real one. A test scripts what the three JNI entry points and the fake VM's attach answer,
// lets the JVM host run, and reads back what the host handed over (the records and option
// strings, copied as the fake received them) and the number of calls.
//
// Each copy of the fake (one per fake Java home) has its own block, reached through the
// exported function FakeJvmControlBlock.
#ifndef TESTS_UNIT_NATIVE_ISAPI_JVM_FAKE_JVM_CONTROL_H
#define TESTS_UNIT_NATIVE_ISAPI_JVM_FAKE_JVM_CONTROL_H

#include <jni.h>

#include <string>
#include <vector>

#include "native/isapi/jvm/jdk11_init_args.h"

struct FakeJvmOption {
    std::string text;
    void* extraInfo;
};

struct FakeJvmControl {
    // ---- script --------------------------------------------------------------------------
    jint defaultsResult = JNI_OK;      // JNI_GetDefaultJavaVMInitArgs
    std::string defaultClasspath;      // the defaults' class path; empty: none
    jint createResult = JNI_OK;        // JNI_CreateJavaVM
    jint createdResult = JNI_OK;       // JNI_GetCreatedJavaVMs
    std::vector<jsize> createdCounts;  // VMs it reports, call by call; then the ones
                                       // created so far, as a real VM does
    std::vector<jint> attachResults;   // successive AttachCurrentThread results; 0 after

    // ---- what the fake saw ---------------------------------------------------------------
    int defaultsCalls = 0, createCalls = 0, createdCalls = 0, attachCalls = 0, detachCalls = 0;
    bool vmCreated = false;
    jint defaultsVersion = 0;  // the version the record carried into the defaults call
    jint createVersion = 0;
    jsize createdBufferLength = 0;
    // JNI_CreateJavaVM with a JavaVMInitArgs
    std::vector<FakeJvmOption> options;
    jboolean ignoreUnrecognized = JNI_FALSE;
    // with a JDK1_1InitArgs or the Microsoft record (pointers valid only during the call:
    // see the copies)
    brevant::isapi::JDK1_1InitArgs jdk11{};
    std::string classpath;
    std::vector<std::string> properties;

    // Back to the state of a library just loaded.
    void reset() { *this = FakeJvmControl(); }
};

// The defaults the fake 1.1 VM puts into a JDK1_1InitArgs.
constexpr jint kFakeNativeStackSize = 131072;
constexpr jint kFakeJavaStackSize = 409600;
constexpr jint kFakeMinHeapSize = 1048576;
constexpr jint kFakeMaxHeapSize = 16777216;

extern "C" {
using FakeJvmControlBlockFunction = FakeJvmControl* (*)();
}

#endif  // TESTS_UNIT_NATIVE_ISAPI_JVM_FAKE_JVM_CONTROL_H
