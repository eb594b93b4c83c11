// The native methods of the engine's class ISAPINativeLib under their JNI names: what the
// engine calls back while its "ProcessRequest" runs. `handle` is the request handle the
// engine was given; a handle that is not live answers as an IIS failure would. The receiver
// (the class) is never used.
//
// Called by any Java thread, several at once for different requests. No exception leaves a
// native: each answers its failure value instead and reports what it caught to the debugger
// output. Exported by the module's definition file on Windows.
#ifndef BREVANT_ISAPI_BRIDGE_ISAPI_NATIVE_LIB_H
#define BREVANT_ISAPI_BRIDGE_ISAPI_NATIVE_LIB_H

#include <jni.h>

extern "C" {

// HSE_REQ_SEND_RESPONSE_HEADER; an empty array, or none, passes a null text.
jboolean JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_writeHeaders(JNIEnv* env, jclass,
                                                                            jint handle,
                                                                            jbyteArray status,
                                                                            jbyteArray headers);
// 0, or the low byte of the IIS error; -2 (-3) for a caught (unknown) exception.
jbyte JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_writeClient(
    JNIEnv* env, jclass, jint handle, jbyteArray data, jint length, jboolean hasStatusLine);
// `length` bytes of the body, or null when the client ends before.
jbyteArray JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_readClient(JNIEnv* env, jclass,
                                                                            jint handle,
                                                                            jint length);
jint JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_bytesAvailable(JNIEnv*, jclass, jint);
void JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_outputDebugString(JNIEnv* env, jclass,
                                                                             jbyteArray message);
// HSE_REQ_MAP_URL_TO_PATH; null for a path of 1024 bytes or more.
jstring JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_getRealPath(JNIEnv* env, jclass,
                                                                          jint handle,
                                                                          jstring virtualPath);
void JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_enableIISSecurity(JNIEnv*, jclass);
void JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_disableIISSecurity(JNIEnv*, jclass);
// The client-certificate descriptor of the request.
jstring JNICALL Java_com_orlena_tessel_brevant_ISAPINativeLib_getClientCertificate(JNIEnv* env,
                                                                                   jclass,
                                                                                   jint handle);
}

#endif  // BREVANT_ISAPI_BRIDGE_ISAPI_NATIVE_LIB_H
