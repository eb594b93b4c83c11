// The control block of the fake VM library that the JVM host's tests load in place of a
// real one. A test scripts what the three JNI entry points and the fake VM's attach answer,
// lets the JVM host run, and reads back what the host handed over: the records and option
// strings, copied as the fake received them, and the number of calls.
//
// Each copy of the fake (one per fake Java home) has its own block, reached through the
// exported function FakeJvmControlBlock.
#ifndef TESTS_UNIT_NATIVE_ISAPI_JVM_FAKE_JVM_CONTROL_H
#define TESTS_UNIT_NATIVE_ISAPI_JVM_FAKE_JVM_CONTROL_H

#include <jni.h>

#include <string>
#include <vector>

#include "native/isapi/jvm/jdk11_init_args.h"
#include "native/isapi/jvm/microsoft_init_args.h"

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
    bool messageOnCreate = false;      // creation prints through the vfprintf hook

    // ---- what the fake saw ---------------------------------------------------------------
    int defaultsCalls = 0;
    int createCalls = 0;
    int createdCalls = 0;
    int attachCalls = 0;
    int detachCalls = 0;
    bool vmCreated = false;
    jint defaultsVersion = 0;  // the version the record carried into the defaults call
    jsize createdBufferLength = 0;
    jint messageResult = -1;  // what the vfprintf hook answered

    // JNI_CreateJavaVM with a JavaVMInitArgs
    jint createVersion = 0;
    std::vector<FakeJvmOption> options;
    jboolean ignoreUnrecognized = JNI_FALSE;
    // with a JDK1_1InitArgs (its pointers are valid only during the call: see the copies)
    brevant::isapi::JDK1_1InitArgs jdk11{};
    std::string jdk11Classpath;
    std::vector<std::string> jdk11Properties;
    // with the Microsoft record
    brevant::isapi::MicrosoftInitArgs microsoft{};
    std::string microsoftClasspath;

    // Back to the state of a library just loaded.
    void reset() { *this = FakeJvmControl(); }
};

// The defaults the fake 1.1 VM puts into a JDK1_1InitArgs.
constexpr jint kFakeNativeStackSize = 131072;
constexpr jint kFakeJavaStackSize = 409600;
constexpr jint kFakeMinHeapSize = 1048576;
constexpr jint kFakeMaxHeapSize = 16777216;
// ...and into the Microsoft record's fields of its own.
constexpr jint kFakeMicrosoftFields[3] = {11, 22, 33};

extern "C" {
using FakeJvmControlBlockFunction = FakeJvmControl* (*)();
}

#endif  // TESTS_UNIT_NATIVE_ISAPI_JVM_FAKE_JVM_CONTROL_H
