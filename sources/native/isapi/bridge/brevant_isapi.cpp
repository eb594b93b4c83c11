// The request context of IIS requests: server variables, the request text, the body IIS
// read ahead, the document root; and the filter's question to the engine.
#include "native/isapi/bridge/brevant_isapi.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "native/isapi/bridge/jni_calls.h"
#include "native/isapi/log/native_log.h"
#include "native/isapi/iisconfig/server_settings.h"

namespace brevant::isapi {

namespace {

constexpr DWORD kVariableSize = 5120;
constexpr DWORD kDocumentRootSize = 4096;

EXTENSION_CONTROL_BLOCK* ecbOf(void* request) {
    return static_cast<EXTENSION_CONTROL_BLOCK*>(request);
}

// A decimal number as the C library's atoi reads it (leading blanks and a sign, up to the
// first non-digit, no digits giving 0), held within 32 bits.
jint decimalNumber(const std::string& text) {
    long number = std::strtol(text.c_str(), nullptr, 10);
    if (number > INT_MAX) {
        return INT_MAX;
    }
    return number < INT_MIN ? INT_MIN : static_cast<jint>(number);
}

// The buffer's text up to its first NUL, never past its end.
std::string textOf(const char* buffer, size_t size) {
    return std::string(buffer, strnlen(buffer, size));
}

// A server variable up to its first NUL; "" when it is missing, empty or unreadable.
std::string getServerVariable(EXTENSION_CONTROL_BLOCK* ecb, const char* name) {
    DWORD size = kVariableSize;
    auto buffer = std::make_unique<char[]>(size);
    // IIS declares the name writable but never writes it.
    LPSTR variable = const_cast<LPSTR>(name);
    if (ecb->GetServerVariable(ecb->ConnID, variable, buffer.get(), &size)) {
        return textOf(buffer.get(), kVariableSize);
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
        return std::string();
    }
    const DWORD needed = size;
    buffer = std::make_unique<char[]>(needed);
    if (!ecb->GetServerVariable(ecb->ConnID, variable, buffer.get(), &size)) {
        return std::string();
    }
    return textOf(buffer.get(), needed);
}

}  // namespace

CBrevantISAPI::CBrevantISAPI() {
    serverType = "Microsoft IIS";
    init("Brevant ISAPI");
}

CBrevantISAPI::~CBrevantISAPI() = default;

std::string CBrevantISAPI::getExtensionURL() {
    return iisconfig::getExtensionURL(modulePath());
}

std::string CBrevantISAPI::getServerSoftware(void* request) {
    return getServerVariable(ecbOf(request), "SERVER_SOFTWARE");
}

std::string CBrevantISAPI::getMimeMap() {
    return iisconfig::getMimeMap();
}

std::string CBrevantISAPI::getRequestHeader(void* request) {
    EXTENSION_CONTROL_BLOCK* ecb = ecbOf(request);
    std::string text = getServerVariable(ecb, "REQUEST_METHOD");
    text += ' ';
    text += getServerVariable(ecb, "URL");
    std::string query = getServerVariable(ecb, "QUERY_STRING");
    if (!query.empty()) {
        text += '?';
        text += query;
    }
    text += ' ';
    text += getServerVariable(ecb, "SERVER_PROTOCOL");
    text += '\n';
    text += getServerVariable(ecb, "ALL_HTTP");
    return text;
}

std::string CBrevantISAPI::getRequestExtra(void*) {
    return std::string();
}

jbyteArray CBrevantISAPI::getPostData(void* request, JNIEnv* env) {
    EXTENSION_CONTROL_BLOCK* ecb = ecbOf(request);
    if (ecb->cbTotalBytes == 0 || ecb->cbAvailable == 0) {
        return nullptr;
    }
    jbyteArray array = ecb->cbAvailable > INT_MAX
                           ? nullptr
                           : env->NewByteArray(static_cast<jsize>(ecb->cbAvailable));
    if (array == nullptr) {
        env->ExceptionClear();  // OutOfMemoryError: the engine still gets the request
        char text[80];
        std::snprintf(text, sizeof text, "failed to create java array for post args, size = %d",
                      static_cast<int>(ecb->cbAvailable));
        logMessage(text);
        return nullptr;
    }
    env->SetByteArrayRegion(array, 0, static_cast<jsize>(ecb->cbAvailable),
                            reinterpret_cast<const jbyte*>(ecb->lpbData));
    return array;
}

std::string CBrevantISAPI::getRemoteAddr(void* request) {
    return getServerVariable(ecbOf(request), "REMOTE_ADDR");
}

std::string CBrevantISAPI::getRemoteHost(void* request) {
    return getServerVariable(ecbOf(request), "REMOTE_HOST");
}

std::string CBrevantISAPI::getRemoteUser(void* request) {
    return getServerVariable(ecbOf(request), "REMOTE_USER");
}

std::string CBrevantISAPI::getAuthPassword(void* request) {
    return getServerVariable(ecbOf(request), "AUTH_PASSWORD");
}

std::string CBrevantISAPI::getServerName(void* request) {
    return getServerVariable(ecbOf(request), "SERVER_NAME");
}

jint CBrevantISAPI::getServerPort(void* request) {
    return decimalNumber(getServerVariable(ecbOf(request), "SERVER_PORT"));
}

std::string CBrevantISAPI::getDocumentRoot(void* request) {
    EXTENSION_CONTROL_BLOCK* ecb = ecbOf(request);
    char buffer[kDocumentRootSize] = "/";
    DWORD size = sizeof buffer;
    if (!ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_MAP_URL_TO_PATH, buffer, &size, nullptr)) {
        return std::string();
    }
    return textOf(buffer, sizeof buffer);
}

bool CBrevantISAPI::isBufferedResponse() {
    return false;
}

void CBrevantISAPI::sendResponse(void*, const jbyte*, jsize) {
    logMessage("sendResponse() was called but it's not implemented!!!");
}

bool CBrevantISAPI::isSecure(void* request) {
    return (decimalNumber(getServerVariable(ecbOf(request), "SERVER_PORT_SECURE")) & 0xff) != 0;
}

void CBrevantISAPI::initDefaultPages() {
    iisconfig::initDefaultPages(&defaultPages);
}

bool CBrevantISAPI::authIISRequest(const char* url, const char* host, const char* user,
                                   const char* password) {
    JNIEnv* env = nullptr;
    jclass cls = nullptr;
    if (!setup(&env, &cls)) {
        return false;
    }
    jmethodID method = findStaticMethod(
        env, cls, "authIISRequest",
        "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)Z");
    if (method == nullptr) {
        logMessage("authIISRequest() failed to get authIISRequest java method.");
        return false;
    }
    jvalue arguments[4];
    arguments[0].l = newJavaString(env, url);
    arguments[1].l = newJavaString(env, host);
    arguments[2].l = newJavaString(env, user);
    arguments[3].l = newJavaString(env, password);
    jboolean answer = env->CallStaticBooleanMethodA(cls, method, arguments);
    // An engine that throws has not allowed the request.
    bool allowed = takePendingException(env).empty() && answer == JNI_TRUE;
    for (const jvalue& argument : arguments) {
        deleteLocalRef(env, argument.l);
    }
    deleteLocalRef(env, cls);
    detach();
    return allowed;
}

}  // namespace brevant::isapi
