// The machine-dependent part of jni.h for Windows (x86 and x64), which the JDK ships only
// with its Windows builds: the JNI calling convention is stdcall, jint is a 32-bit long and
// jlong 64 bits, exports are dllexport. Used by the cross-build with the JDK's own jni.h.
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef __int64 jlong;
typedef signed char jbyte;

#endif  // _JAVASOFT_JNI_MD_H_
