#include "real_jvm_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <exception>

#include "native/isapi/log/native_log.h"

namespace realjvm {

const std::string& jdkHome() {
    static const std::string home = BREVANT_TEST_JDK_HOME;
    return home;
}

int runInOwnProcess(const std::string& logPath, const std::function<int()>& body) {
    std::fflush(nullptr);  // the child must not write the parent's buffered output again
    pid_t child = fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        int status = 70;
        try {
            brevant::isapi::openNativeLog(logPath);
            status = body();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "child: exception: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "child: unknown exception\n");
        }
        // The log stays open: VM threads may still be writing to it when the child ends.
        std::fflush(nullptr);
        _exit(status);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string systemProperty(JNIEnv* env, const char* name) {
    jclass system = env->FindClass("java/lang/System");
    jmethodID getProperty = system == nullptr
                                ? nullptr
                                : env->GetStaticMethodID(system, "getProperty",
                                                         "(Ljava/lang/String;)Ljava/lang/String;");
    if (getProperty == nullptr) {
        env->ExceptionClear();
        return "<<no System.getProperty>>";
    }
    jstring key = env->NewStringUTF(name);
    auto value = static_cast<jstring>(env->CallStaticObjectMethod(system, getProperty, key));
    std::string result = "(null)";
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        result = "<<exception>>";
    } else if (value != nullptr) {
        const char* chars = env->GetStringUTFChars(value, nullptr);
        result = chars;
        env->ReleaseStringUTFChars(value, chars);
        env->DeleteLocalRef(value);
    }
    env->DeleteLocalRef(key);
    env->DeleteLocalRef(system);
    return result;
}

bool parseInt(JNIEnv* env, const char* text, jint* value) {
    jclass integer = env->FindClass("java/lang/Integer");
    jmethodID method = integer == nullptr
                           ? nullptr
                           : env->GetStaticMethodID(integer, "parseInt", "(Ljava/lang/String;)I");
    if (method == nullptr) {
        env->ExceptionClear();
        return false;
    }
    jstring argument = env->NewStringUTF(text);
    *value = env->CallStaticIntMethod(integer, method, argument);
    bool ok = !env->ExceptionCheck();
    env->ExceptionClear();
    env->DeleteLocalRef(argument);
    env->DeleteLocalRef(integer);
    return ok;
}

}  // namespace realjvm
