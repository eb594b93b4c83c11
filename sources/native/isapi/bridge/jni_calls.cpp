#include "native/isapi/bridge/jni_calls.h"

namespace brevant::isapi {

jstring newJavaString(JNIEnv* env, const char* text) {
    return text == nullptr ? nullptr : env->NewStringUTF(text);
}

jmethodID findStaticMethod(JNIEnv* env, jclass cls, const char* name, const char* signature) {
    jmethodID method = env->GetStaticMethodID(cls, name, signature);
    if (method == nullptr) {
        env->ExceptionClear();  // NoSuchMethodError
    }
    return method;
}

void deleteLocalRef(JNIEnv* env, jobject reference) {
    if (reference != nullptr) {
        env->DeleteLocalRef(reference);
    }
}

std::string takePendingException(JNIEnv* env) {
    jthrowable exception = env->ExceptionOccurred();
    if (exception == nullptr) {
        return std::string();
    }
    env->ExceptionClear();
    std::string text;
    jclass throwable = env->FindClass("java/lang/Throwable");
    jmethodID toString = throwable == nullptr
                             ? nullptr
                             : env->GetMethodID(throwable, "toString", "()Ljava/lang/String;");
    jstring description = toString == nullptr
                              ? nullptr
                              : static_cast<jstring>(env->CallObjectMethod(exception, toString));
    if (description != nullptr) {
        if (const char* chars = env->GetStringUTFChars(description, nullptr)) {
            text = chars;
            env->ReleaseStringUTFChars(description, chars);
        }
    }
    env->ExceptionClear();  // whatever describing it raised
    deleteLocalRef(env, description);
    deleteLocalRef(env, throwable);
    deleteLocalRef(env, exception);
    return text;
}

}  // namespace brevant::isapi
