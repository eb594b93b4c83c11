// Running the JVM host against the installed JDK. A process holds one JVM, and a JVM is
// never destroyed, so the VM runs in a child process of its own: the parent seeds the
// registry, forks, and checks what the child reported and left in the native log.
#ifndef TESTS_UNIT_NATIVE_ISAPI_JVM_REAL_JDK_REAL_JVM_PROCESS_H
#define TESTS_UNIT_NATIVE_ISAPI_JVM_REAL_JDK_REAL_JVM_PROCESS_H

#include <jni.h>

#include <functional>
#include <string>

namespace realjvm {

// The installed JDK the tests run.
const std::string& jdkHome();

// Runs `body` in a forked child whose native log is the file `logPath`, and waits for it.
// The child ends with body's result, or with System.exit's code when the VM ends it. The
// result is the child's exit status, or 128 + the signal that ended it.
int runInOwnProcess(const std::string& logPath, const std::function<int()>& body);

// JNI helpers for the child; they clear any exception they cause.
std::string systemProperty(JNIEnv* env, const char* name);  // "(null)" when not set
bool parseInt(JNIEnv* env, const char* text, jint* value);  // java.lang.Integer.parseInt

}  // namespace realjvm

#endif  // TESTS_UNIT_NATIVE_ISAPI_JVM_REAL_JDK_REAL_JVM_PROCESS_H
