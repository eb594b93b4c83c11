// The engine bridge's calls on behalf of requests: the server software, the request itself,
// and the filter's two questions. Each finds the class and method anew, uses only local
// references and detaches its thread when it reached Java.
#include <cstring>

#include "native/isapi/bridge/brevant.h"
#include "native/isapi/bridge/jni_calls.h"
#include "native/isapi/log/native_log.h"
#include "native/isapi/bridge/request_handles.h"

namespace brevant::isapi {

namespace {

constexpr char kServletPrefix[] = "/servlet/";
constexpr char kProcessRequestSignature[] =
    "(Ljava/lang/String;[BLjava/lang/String;Ljava/lang/String;Ljava/lang/String;II"
    "Ljava/lang/String;ZLjava/lang/String;Ljava/lang/String;)[B";

}  // namespace

void CBrevant::setServerInfo(void* request) {
    JNIEnv* env = nullptr;
    jclass cls = nullptr;
    if (!setup(&env, &cls)) {
        return;
    }
    jmethodID method = findStaticMethod(env, cls, "setServerInfo", "(Ljava/lang/String;)V");
    if (method == nullptr) {
        logMessage("Failed to get setServerInfo() method.");
        return;
    }
    jvalue software;
    software.l = newJavaString(env, getServerSoftware(request));
    env->CallStaticVoidMethodA(cls, method, &software);
    deleteLocalRef(env, software.l);
    deleteLocalRef(env, cls);
    detach();
}

bool CBrevant::processRequest(void* request) {
    JNIEnv* env = nullptr;
    jclass cls = nullptr;
    if (!setup(&env, &cls)) {
        return false;
    }
    jmethodID method = findStaticMethod(env, cls, "ProcessRequest", kProcessRequestSignature);
    if (method == nullptr) {
        logMessage("Failed to get ProcessRequest() method.");
        return false;
    }

    jobject result = nullptr;
    jvalue arguments[11];
    {
        // The engine reaches the request only through this handle, and only while the call
        // runs: afterwards the record belongs to the server again.
        RequestRegistration registration(request);
        arguments[0].l = newJavaString(env, getRequestHeader(request));
        arguments[1].l = getPostData(request, env);
        arguments[2].l = newJavaString(env, getRemoteAddr(request));
        arguments[3].l = newJavaString(env, getRemoteHost(request));
        arguments[4].l = newJavaString(env, getServerName(request));
        arguments[5].i = getServerPort(request);
        arguments[6].i = registration.handle();
        arguments[7].l = newJavaString(env, getDocumentRoot(request));
        arguments[8].z = isSecure(request) ? JNI_TRUE : JNI_FALSE;
        std::string extra = getRequestExtra(request);
        arguments[9].l = extra.empty() ? nullptr : newJavaString(env, extra);
        std::string user = getRemoteUser(request);
        arguments[10].l = user.empty() ? nullptr : newJavaString(env, user);

        result = env->CallStaticObjectMethodA(cls, method, arguments);
        if (isBufferedResponse() && result != nullptr) {
            sendBufferedResponse(env, request, static_cast<jbyteArray>(result));
        }
    }

    for (int i : {0, 1, 2, 3, 4, 7, 9, 10}) {
        deleteLocalRef(env, arguments[i].l);
    }
    deleteLocalRef(env, result);
    deleteLocalRef(env, cls);
    detach();  // also drops an exception the engine let escape
    return true;
}

void CBrevant::sendBufferedResponse(JNIEnv* env, void* request, jbyteArray array) {
    jsize length = env->GetArrayLength(array);
    if (length == 0) {
        logMessage("sendBufferedResponse(): response length is 0.");
        return;
    }
    jbyte* bytes = env->GetByteArrayElements(array, nullptr);
    if (bytes == nullptr) {
        logMessage("sendBufferedResponse(): failed to get response.");
        return;
    }
    sendResponse(request, bytes, length);
    env->ReleaseByteArrayElements(array, bytes, JNI_ABORT);
}

bool CBrevant::isServletAlias(const char* url, const char* host) {
    if (std::strncmp(url, kServletPrefix, sizeof kServletPrefix - 1) == 0) {
        return true;
    }
    JNIEnv* env = nullptr;
    jclass cls = nullptr;
    if (!setup(&env, &cls)) {
        return false;
    }
    jmethodID method =
        findStaticMethod(env, cls, "isServletAlias", "(Ljava/lang/String;Ljava/lang/String;)Z");
    if (method == nullptr) {
        logMessage("Failed to get isServletAlias java method.");
        return false;
    }
    jvalue arguments[2];
    arguments[0].l = newJavaString(env, url);
    arguments[1].l = newJavaString(env, host);
    jboolean answer = env->CallStaticBooleanMethodA(cls, method, arguments);
    // An engine that throws has not claimed the URL.
    bool claimed = takePendingException(env).empty() && answer == JNI_TRUE;
    deleteLocalRef(env, arguments[0].l);
    deleteLocalRef(env, arguments[1].l);
    deleteLocalRef(env, cls);
    detach();
    return claimed;
}

std::string CBrevant::getDefaultURL(const std::string& directoryURL, const char* host,
                                    const char* physicalDirectory) {
    for (const std::string& name : defaultPages) {
        if (physicalDirectory != nullptr) {
            std::string path = std::string(physicalDirectory) + name;
            HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                continue;
            }
            if (!CloseHandle(file)) {
                logMessage("getDefaultURL(): failed to close handle.");
            }
        }
        // Only the first document that exists is asked about.
        std::string candidate = directoryURL + name;
        return isServletAlias(candidate.c_str(), host) ? candidate : std::string();
    }
    return std::string();
}

}  // namespace brevant::isapi
