// JDK1_1InitArgs, the JNI 1.1 initialisation record, which current JDKs' jni.h no longer
// declares. The connector uses it as the carrier of every VM setting, whatever the kind of
// VM (the 1.1 creation path hands it to the VM as it is). Pointer fields are
// pointer-sized; the 32-bit integer fields are jint.
#ifndef BREVANT_ISAPI_JVM_JDK11_INIT_ARGS_H
#define BREVANT_ISAPI_JVM_JDK11_INIT_ARGS_H

#include <jni.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace brevant::isapi {

struct JDK1_1InitArgs {
    jint version;
    char** properties;
    jint checkSource;
    jint nativeStackSize;
    jint javaStackSize;
    jint minHeapSize;
    jint maxHeapSize;
    jint verifyMode;
    char* classpath;
    jint(JNICALL* vfprintf)(FILE* stream, const char* format, va_list arguments);
    void(JNICALL* exit)(jint code);
    void(JNICALL* abort)(void);
    jint enableClassGC;
    jint enableVerboseGC;
    jint disableAsyncGC;
    jint verbose;
    jboolean debugging;
    jint debugPort;
};

// The JIT is on when the first property is one of the JIT-on texts (IBM's or everyone
// else's); no list, or any other first entry, leaves it off.
inline bool isJitOn(char* const* properties) {
    return properties != nullptr && properties[0] != nullptr &&
           (std::strcmp(properties[0], "java.compiler=symcjit") == 0 ||
            std::strcmp(properties[0], "java.compiler=ibmjitc") == 0);
}

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_JVM_JDK11_INIT_ARGS_H
