// The engine bridge's life: construction with the native log, the start of the VM and the
// engine, the per-operation setup, and the end. The per-request operations are in
// brevant_requests.cpp.
#include "native/isapi/bridge/brevant.h"

#include <cstdio>

#include "native/isapi/isapi_platform.h"
#include "native/isapi/bridge/jni_calls.h"
#include "native/isapi/log/native_log.h"

namespace brevant::isapi {

namespace {

constexpr char kInitSignature[] =
    "(Ljava/lang/String;ILjava/lang/String;ILjava/lang/String;Ljava/lang/String;"
    "Ljava/lang/String;)B";
constexpr char kStringResult[] = "()Ljava/lang/String;";

// "Init failed, code = %ld" with the engine's answer read as a signed byte.
std::string initFailedText(jbyte code) {
    char text[48];
    std::snprintf(text, sizeof text, "Init failed, code = %ld", static_cast<long>(code));
    return text;
}

}  // namespace

CBrevant::CBrevant() {
    // The flavour is not in place yet: this is the base's own install home.
    std::string home = CBrevant::getHomeDirectory();
    if (!home.empty()) {
        openNativeLog(nativeLogPath(home));
    }
    module = GetModuleHandleA(kModuleFileName);
    if (module == nullptr) {
        logMessage("Failed to get handle to module.");
    }
}

CBrevant::~CBrevant() {
    JNIEnv* env = nullptr;
    jclass cls = nullptr;
    if (setup(&env, &cls)) {
        jmethodID shutdown = findStaticMethod(env, cls, "Shutdown", "()V");
        if (shutdown == nullptr) {
            logMessage("Failed to get Shutdown() method.");
        } else {
            env->CallStaticVoidMethod(cls, shutdown);
            takePendingException(env);  // the engine is going either way
        }
        if (endVm_ && javaVM->vmKind() != JVM_MICROSOFT) {
            jclass system = env->FindClass("java/lang/System");
            jmethodID exit = nullptr;
            if (system == nullptr) {
                env->ExceptionClear();
                logMessage("Failed to get System class.");
            } else if ((exit = findStaticMethod(env, system, "exit", "(I)V")) == nullptr) {
                logMessage("Failed to get System.exit() method.");
            } else {
                // The VM's exit hook logs the code; the process ends inside this call.
                env->CallStaticVoidMethod(system, exit, static_cast<jint>(0));
            }
        }
    }
    javaVM.reset();
    closeNativeLog();
}

std::string CBrevant::getClasspath() {
    return brevant::isapi::getClasspath();
}

JavaVMKind CBrevant::getVMSettings(JDK1_1InitArgs* settings) {
    return brevant::isapi::getVMSettings(settings);
}

int CBrevant::getVMOptions(std::string options[kMaxVMOptions]) {
    return brevant::isapi::getVMOptions(options);
}

int CBrevant::getVMProperties(char** properties) {
    return brevant::isapi::getVMProperties(properties);
}

std::string CBrevant::getDataDirectory() {
    return brevant::isapi::getDataDirectory();
}

std::string CBrevant::getServletsDirectory() {
    return brevant::isapi::getServletsDirectory();
}

std::string CBrevant::getHomeDirectory() {
    return brevant::isapi::getHomeDirectory();
}

void CBrevant::init(const char* connectorName) {
    (void)connectorName;  // the engine's int argument cannot carry it: 0 goes there
    // A path that fills the buffer may have been cut: it would name another file.
    DWORD length = GetModuleFileNameA(module, dllPath, sizeof dllPath);
    if (length == 0 || length >= sizeof dllPath) {
        logMessage("Failed to get path to DLL.");
        initMessage += "Failed to get path to DLL.";
        dllPath[0] = '\0';
        return;
    }

    StartupConfiguration startup;
    ConfigurationReaders readers;
    readers.getVMSettings = [this](JDK1_1InitArgs* settings) { return getVMSettings(settings); };
    readers.getVMProperties = [this](char** slots) { return getVMProperties(slots); };
    readers.getClasspath = [this] { return getClasspath(); };
    readers.getVMOptions = [this](std::string* options) { return getVMOptions(options); };
    assembleStartupConfiguration(&startup, readers);

    javaVM = std::make_unique<CJavaVM>(startup.kind, startup.optionCount, startup.options,
                                       startup.settings);
    if (javaVM->getJNIEnv() == nullptr) {
        logMessage("Failed to get JNI environment.");
        initMessage += "Failed to get JNI environment (JavaHome =" + javaVM->javaHome() + ").";
        return;
    }
    startup.releaseProperties();  // the VM has its own copies

    JNIEnv* env = nullptr;
    jclass cls = nullptr;
    if (!setup(&env, &cls)) {
        initMessage += std::string("Failed to get") + kProductWord + " class.";
        return;
    }
    jmethodID initMethod = findStaticMethod(env, cls, "Init", kInitSignature);
    if (initMethod == nullptr) {
        logMessage("Failed to get Init() method.");
        initMessage += "Failed to get Init() method.";
        return;
    }

    jstring type = newJavaString(env, serverType);
    jstring mimeMap = newJavaString(env, getMimeMap());
    jstring data = newJavaString(env, getDataDirectory());
    jstring servlets = newJavaString(env, getServletsDirectory());
    jstring library = newJavaString(env, dllPath);
    jvalue arguments[7];
    arguments[0].l = type;
    arguments[1].i = 0;
    arguments[2].l = mimeMap;
    arguments[3].i = 0;
    arguments[4].l = data;
    arguments[5].l = servlets;
    arguments[6].l = library;
    jbyte result = env->CallStaticByteMethodA(cls, initMethod, arguments);
    std::string thrown = takePendingException(env);

    if (thrown.empty() && result == 0) {
        initialized = true;
    } else if (!thrown.empty()) {
        // An engine that throws answers 0 through JNI: that is no start.
        std::string text = "Init() threw " + thrown;
        logMessage(text);
        initMessage += text + "<br>";
    } else {
        std::string text = initFailedText(result);
        logMessage(text);
        initMessage += text + "<br>";
        appendEngineInitMessage(env, cls);
    }

    for (jstring argument : {type, mimeMap, data, servlets, library}) {
        deleteLocalRef(env, argument);
    }
    deleteLocalRef(env, cls);
    detach();
    initDefaultPages();
}

void CBrevant::appendEngineInitMessage(JNIEnv* env, jclass cls) {
    jmethodID getInitMsg = findStaticMethod(env, cls, "getInitMsg", kStringResult);
    if (getInitMsg == nullptr) {
        logMessage("Failed to get getInitMsg() method.");
        return;
    }
    jstring message = static_cast<jstring>(env->CallStaticObjectMethod(cls, getInitMsg));
    takePendingException(env);
    const char* chars = message == nullptr ? nullptr : env->GetStringUTFChars(message, nullptr);
    if (chars == nullptr) {
        logMessage("Failed to get init message.");
    } else {
        std::string text = chars;
        env->ReleaseStringUTFChars(message, chars);
        logMessage(text);
        initMessage += text;
    }
    deleteLocalRef(env, message);
}

bool CBrevant::setup(JNIEnv** env, jclass* cls) {
    *env = attachedEnvironment();
    if (*env == nullptr) {
        logMessage("setup() failed to get JNI environment.");
        return false;
    }
    *cls = (*env)->FindClass(kEngineClass);
    if (*cls != nullptr) {
        return true;
    }
    logMessage("setup() failed to find main java class.");
    std::string thrown = takePendingException(*env);
    if (!thrown.empty()) {
        OutputDebugStringA("FindClass exception:");
        OutputDebugStringA(thrown.c_str());
        OutputDebugStringA("\n");
    }
    return false;
}

JNIEnv* CBrevant::attachedEnvironment() {
    return javaVM == nullptr ? nullptr : javaVM->getJNIEnv();
}

void CBrevant::detach() {
    if (javaVM != nullptr) {
        javaVM->detachCurrentThread();
    }
}

}  // namespace brevant::isapi
