// The native methods of the engine's class ISAPINativeLib: how the engine answers the client
// and reads the rest of the body while its "ProcessRequest" runs. Each reaches the request
// through its handle's lease. Each native runs under the entry-point guard; all diagnostics
// go straight to the debugger output, except the IIS-security switches and CERT_FLAGS, which
// go to the native log.
#include "native/isapi/bridge/isapi_native_lib.h"

#include <jni.h>
#include <windows.h>
#include <httpext.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "native/common/basics/entry_guard_template.h"
#include "native/common/client_certificate.h"
#include "native/isapi/bridge/iis_security.h"
#include "native/isapi/bridge/jni_calls.h"
#include "native/isapi/log/native_log.h"
#include "native/isapi/bridge/request_handles.h"

namespace brevant::isapi {

std::atomic<bool> iisSecurityEnabled{false};

namespace {

constexpr jbyte kInvalidHandle = ERROR_INVALID_HANDLE;
constexpr jbyte kInvalidLength = ERROR_INVALID_PARAMETER;
constexpr jbyte kCaughtException = -2;
constexpr jbyte kCaughtUnknownException = -3;
constexpr DWORD kRealPathSize = 1024;
constexpr int kStatusDigits = 3;

EXTENSION_CONTROL_BLOCK* ecbOf(const RequestLease& lease) {
    return static_cast<EXTENSION_CONTROL_BLOCK*>(lease.request());
}

void toDebugger(const char* text) {
    OutputDebugStringA(text);
}

// What a native reports to the debugger output when its body throws: "<native>() caught an
// exception!!!\n", the exception's text and "\n"; or the unknown form.
constexpr CaughtMessages kWriteHeadersCaught{"writeHeaders() caught an exception!!!\n",
                                             "writeHeaders() caught an unknown exception!!!\n",
                                             "\n"};
constexpr CaughtMessages kWriteClientCaught{"writeClient() caught an exception!!!\n",
                                            "writeClient() caught an unknown exception!!!\n", "\n"};
constexpr CaughtMessages kReadClientCaught{"readClient() caught an exception!!!\n",
                                           "readClient() caught an unknown exception!!!\n", "\n"};
constexpr CaughtMessages kOutputDebugStringCaught{
    "outputDebugString() caught an exception!!!\n",
    "outputDebugString() caught an unknown exception!!!\n", "\n"};
constexpr CaughtMessages kGetRealPathCaught{"getRealPath() caught an exception!!!\n",
                                            "getRealPath() caught an unknown exception!!!\n", "\n"};
constexpr CaughtMessages kEnableIISSecurityCaught{
    "enableIISSecurity() caught an exception!!!\n",
    "enableIISSecurity() caught an unknown exception!!!\n", "\n"};
constexpr CaughtMessages kDisableIISSecurityCaught{
    "disableIISSecurity() caught an exception!!!\n",
    "disableIISSecurity() caught an unknown exception!!!\n", "\n"};
constexpr CaughtMessages kGetClientCertificateCaught{
    "getClientCertificate() caught an exception!!!\n",
    "getClientCertificate() caught an unknown exception!!!\n", "\n"};

// The first `length` bytes of the array, followed by a NUL.
std::unique_ptr<char[]> terminatedCopy(JNIEnv* env, jbyteArray array, jsize length) {
    auto copy = std::make_unique<char[]>(static_cast<size_t>(length) + 1);
    env->GetByteArrayRegion(array, 0, length, reinterpret_cast<jbyte*>(copy.get()));
    copy[length] = '\0';
    return copy;
}

// The status code of "HTTP/1.0 404 Not Found": the three bytes after the first blank, when
// they lie well inside the data; 0 when there is none.
DWORD statusCodeOf(const char* data, jint length) {
    const void* blank = std::memchr(data, ' ', static_cast<size_t>(length));
    jint start = blank != nullptr ? static_cast<jint>(static_cast<const char*>(blank) - data) + 1
                                  : length + 1;
    if (start >= length - 2) {
        return 0;
    }
    char digits[kStatusDigits + 1] = {};
    std::memcpy(digits, data + start, kStatusDigits);
    long code = std::strtol(digits, nullptr, 10);
    return code > 0 ? static_cast<DWORD>(code) : 0;
}

// HSE_REQ_SEND_RESPONSE_HEADER with the status and the headers; an empty array, or none,
// passes a null text.
jboolean sendHeaders(JNIEnv* env, jint handle, jbyteArray status, jbyteArray headers) {
    RequestLease lease(handle);
    EXTENSION_CONTROL_BLOCK* ecb = ecbOf(lease);
    if (ecb == nullptr) {
        return JNI_FALSE;
    }
    jsize statusLength = status != nullptr ? env->GetArrayLength(status) : 0;
    jsize headersLength = headers != nullptr ? env->GetArrayLength(headers) : 0;
    std::unique_ptr<char[]> statusText, headerText;
    if (statusLength > 0) {
        statusText = terminatedCopy(env, status, statusLength);
    }
    if (headersLength > 0) {
        headerText = terminatedCopy(env, headers, headersLength);
    }
    DWORD size = static_cast<DWORD>(statusLength);
    return ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, statusText.get(),
                                      &size, reinterpret_cast<LPDWORD>(headerText.get()))
               ? JNI_TRUE
               : JNI_FALSE;
}

jbyte writeToClient(JNIEnv* env, jint handle, jbyteArray data, jint length,
                    jboolean hasStatusLine) {
    RequestLease lease(handle);
    EXTENSION_CONTROL_BLOCK* ecb = ecbOf(lease);
    if (ecb == nullptr) {
        return kInvalidHandle;
    }
    if (data == nullptr || length < 0 || length > env->GetArrayLength(data)) {
        return kInvalidLength;  // an engine's mistake must not end the web server
    }
    std::unique_ptr<char[]> buffer = terminatedCopy(env, data, length);
    if (hasStatusLine) {
        // The IIS log then shows the engine's status.
        if (DWORD code = statusCodeOf(buffer.get(), length)) {
            ecb->dwHttpStatusCode = code;
        }
    }
    DWORD count = static_cast<DWORD>(length);
    if (ecb->WriteClient(ecb->ConnID, buffer.get(), &count, HSE_IO_SYNC)) {
        return 0;
    }
    // A failure must never read as success, also when the error's low byte is 0.
    jbyte code = static_cast<jbyte>(GetLastError() & 0xff);
    return code != 0 ? code : static_cast<jbyte>(ERROR_GEN_FAILURE);
}

jbyteArray readFromClient(JNIEnv* env, jint handle, jint length) {
    RequestLease lease(handle);
    EXTENSION_CONTROL_BLOCK* ecb = ecbOf(lease);
    if (ecb == nullptr || length < 0) {
        return nullptr;
    }
    jbyteArray array = env->NewByteArray(length);
    if (array == nullptr) {
        env->ExceptionClear();
        return nullptr;
    }
    auto buffer = std::make_unique<char[]>(static_cast<size_t>(length));
    jint total = 0;
    while (total < length) {
        DWORD count = static_cast<DWORD>(length - total);
        // A client that ends early yields null, never a shorter body.
        if (!ecb->ReadClient(ecb->ConnID, buffer.get(), &count) || count == 0 ||
            count > static_cast<DWORD>(length - total)) {
            env->DeleteLocalRef(array);
            return nullptr;
        }
        env->SetByteArrayRegion(array, total, static_cast<jsize>(count),
                                reinterpret_cast<const jbyte*>(buffer.get()));
        total += static_cast<jint>(count);
    }
    return array;
}

jstring realPathOf(JNIEnv* env, jint handle, jstring virtualPath) {
    RequestLease lease(handle);
    EXTENSION_CONTROL_BLOCK* ecb = ecbOf(lease);
    if (ecb == nullptr || virtualPath == nullptr) {
        return nullptr;
    }
    const char* chars = env->GetStringUTFChars(virtualPath, nullptr);
    if (chars == nullptr) {
        return nullptr;
    }
    char buffer[kRealPathSize];
    size_t length = std::strlen(chars);
    bool fits = length < sizeof buffer;  // a longer path has no answer rather than a cut one
    if (fits) {
        std::memcpy(buffer, chars, length + 1);
    }
    env->ReleaseStringUTFChars(virtualPath, chars);
    DWORD size = kRealPathSize;
    if (!fits ||
        !ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_MAP_URL_TO_PATH, buffer, &size, nullptr)) {
        return nullptr;
    }
    buffer[kRealPathSize - 1] = '\0';
    return env->NewStringUTF(buffer);
}

jstring clientCertificateOf(JNIEnv* env, jint handle) {
    RequestLease lease(handle);
    EXTENSION_CONTROL_BLOCK* ecb = ecbOf(lease);
    if (ecb == nullptr) {
        return nullptr;
    }
    char descriptor[common::kCertificateDescriptorSize];
    common::buildClientCertificate(
        [ecb](const char* name, char* buffer, DWORD* size) {
            return ecb->GetServerVariable(ecb->ConnID, const_cast<LPSTR>(name), buffer, size) !=
                   FALSE;
        },
        [](const char* flags) { logMessage(std::string("CERT_FLAGS=") + flags); }, descriptor);
    return env->NewStringUTF(descriptor);
}

}  // namespace

}  // namespace brevant::isapi

using brevant::guardEntryPoint;
using brevant::isapi::iisSecurityEnabled;
using brevant::isapi::logMessage;
using brevant::isapi::toDebugger;

// On Linux every function of the module is visible.

extern "C" jboolean JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_writeHeaders(
    JNIEnv* env, jclass, jint handle, jbyteArray status, jbyteArray headers) {
    OutputDebugStringA("Called writeHeaders.\n");
    return guardEntryPoint(
        jboolean(JNI_FALSE), brevant::isapi::kWriteHeadersCaught, toDebugger,
        [&]() -> jboolean { return brevant::isapi::sendHeaders(env, handle, status, headers); });
}

extern "C" jbyte JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_writeClient(
    JNIEnv* env, jclass, jint handle, jbyteArray data, jint length, jboolean hasStatusLine) {
    return guardEntryPoint(
        brevant::FailedAnswers<jbyte>{brevant::isapi::kCaughtException,
                                      brevant::isapi::kCaughtUnknownException},
        brevant::isapi::kWriteClientCaught, toDebugger,
        [&] { return brevant::isapi::writeToClient(env, handle, data, length, hasStatusLine); });
}

extern "C" jbyteArray JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_readClient(
    JNIEnv* env, jclass, jint handle, jint length) {
    return guardEntryPoint(jbyteArray(nullptr), brevant::isapi::kReadClientCaught, toDebugger,
                           [&] { return brevant::isapi::readFromClient(env, handle, length); });
}

extern "C" jint JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_bytesAvailable(JNIEnv*,
                                                                                     jclass, jint) {
    return 1;
}

extern "C" void JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_outputDebugString(
    JNIEnv* env, jclass, jbyteArray message) {
    guardEntryPoint(0, brevant::isapi::kOutputDebugStringCaught, toDebugger, [&] {
        auto text = brevant::isapi::terminatedCopy(env, message, env->GetArrayLength(message));
        OutputDebugStringA(text.get());
        return 0;
    });
}

extern "C" jstring JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_getRealPath(
    JNIEnv* env, jclass, jint handle, jstring virtualPath) {
    return guardEntryPoint(jstring(nullptr), brevant::isapi::kGetRealPathCaught, toDebugger,
                           [&] { return brevant::isapi::realPathOf(env, handle, virtualPath); });
}

// The log records each change once.
extern "C" void JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_enableIISSecurity(JNIEnv*,
                                                                                        jclass) {
    guardEntryPoint(0, brevant::isapi::kEnableIISSecurityCaught, toDebugger, [] {
        if (!iisSecurityEnabled.exchange(true)) {
            logMessage("IIS Security is being used.");
        }
        return 0;
    });
}

extern "C" void JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_disableIISSecurity(JNIEnv*,
                                                                                         jclass) {
    guardEntryPoint(0, brevant::isapi::kDisableIISSecurityCaught, toDebugger, [] {
        if (iisSecurityEnabled.exchange(false)) {
            logMessage("IIS Security is not being used.");
        }
        return 0;
    });
}

extern "C" jstring JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_getClientCertificate(
    JNIEnv* env, jclass, jint handle) {
    return guardEntryPoint(jstring(nullptr), brevant::isapi::kGetClientCertificateCaught,
                           toDebugger,
                           [&] { return brevant::isapi::clientCertificateOf(env, handle); });
}
