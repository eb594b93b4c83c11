// Small JNI steps that the engine bridge, the request context and the native methods all
// take: 8-bit text to Java strings, static method lookups, local references and the text
// of a pending Java exception. Each works on the calling thread's own environment.
#ifndef BREVANT_ISAPI_BRIDGE_JNI_CALLS_H
#define BREVANT_ISAPI_BRIDGE_JNI_CALLS_H

#include <jni.h>

#include <string>

namespace brevant::isapi {

// NewStringUTF of the 8-bit text as it stands; null for a null text.
jstring newJavaString(JNIEnv* env, const char* text);
inline jstring newJavaString(JNIEnv* env, const std::string& text) {
    return newJavaString(env, text.c_str());
}

// The static method, or null. A failed lookup leaves no exception pending: the thread may
// stay attached and make further calls.
jmethodID findStaticMethod(JNIEnv* env, jclass cls, const char* name, const char* signature);

// DeleteLocalRef when there is a reference.
void deleteLocalRef(JNIEnv* env, jobject reference);

// Clears a pending Java exception and answers its toString() text; "" when none was
// pending or the text cannot be had.
std::string takePendingException(JNIEnv* env);

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_BRIDGE_JNI_CALLS_H
