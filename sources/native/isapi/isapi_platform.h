// The differences between the Windows and the Linux build of Brevant_ISAPI, and nowhere
// else: the class-path separator, the default install home, the JVM library and the
// other files the connector looks for under a Java home, and the VM option the platform
// needs.
#ifndef BREVANT_ISAPI_ISAPI_PLATFORM_H
#define BREVANT_ISAPI_ISAPI_PLATFORM_H

#include "native/common/basics/path_separator.h"

namespace brevant::isapi {

// The module's file name is the same on both platforms, and so are the URLs made from it.
constexpr char kModuleFileName[] = "Brevant_ISAPI.dll";

#ifdef _WIN32
constexpr char kClasspathSeparator[] = ";";
constexpr char kDefaultHome[] = "C:\\Brevant ISAPI";
constexpr bool kUsesCurrentJvmLayoutOnly = false;  // the classic/hotspot/1.1 paths come first
// After those, the VM library of current JDKs: under a developer kit's "\\jre" first, then
// under the Java home itself.
constexpr const char* kCurrentJvmLibrary = "\\bin\\server\\jvm.dll";
constexpr bool kCurrentJvmUnderJre = true;
// A current jvm.dll imports the C runtime that its runtime ships in the bin folder above it
// (jre\bin for jre\bin\server\jvm.dll), a folder the system's search does not look in:
// loaded ahead of it, from below the same folder as the library.
constexpr char kJvmRuntimeLibrary[] = "\\bin\\vcruntime140.dll";
// Below a Java home.
constexpr char kJreFolder[] = "\\jre";
constexpr char kToolsJar[] = "\\lib\\tools.jar";
constexpr char kClassesZip[] = "\\lib\\classes.zip";
constexpr char kRtJar[] = "\\lib\\rt.jar";
// None: IIS is not stopped by signals, so the VM may keep its own handling.
constexpr char kPlatformVMOption[] = "";
#else
constexpr char kClasspathSeparator[] = ":";
constexpr char kDefaultHome[] = "/opt/Brevant ISAPI";
// Linux has one layout: the Java home + "/lib/server/libjvm.so", whatever the kind.
constexpr bool kUsesCurrentJvmLayoutOnly = true;
constexpr char kLinuxJvmLibrary[] = "/lib/server/libjvm.so";
constexpr const char* kCurrentJvmLibrary = kLinuxJvmLibrary;
constexpr bool kCurrentJvmUnderJre = false;
constexpr char kJvmRuntimeLibrary[] = "";  // libjvm.so finds its own dependencies
constexpr char kJreFolder[] = "/jre";
constexpr char kToolsJar[] = "/lib/tools.jar";
constexpr char kClassesZip[] = "/lib/classes.zip";
constexpr char kRtJar[] = "/lib/rt.jar";
// isapihost waits for SIGTERM and SIGINT in a thread of its own to stop cleanly; without
// this a VM unblocks them in its threads and its handlers would end the process instead.
constexpr char kPlatformVMOption[] = "-Xrs";
#endif

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_ISAPI_PLATFORM_H
