// The initialisation record of the Microsoft VM (msjava.dll): five fields, of which the
// connector sets the version and the class path; the other three are the VM's own, left as
// JNI_GetDefaultJavaVMInitArgs puts them. The class path is a pointer, pointer-sized like
// those of JDK1_1InitArgs.
#ifndef BREVANT_ISAPI_JVM_MICROSOFT_INIT_ARGS_H
#define BREVANT_ISAPI_JVM_MICROSOFT_INIT_ARGS_H

#include <jni.h>

namespace brevant::isapi {

struct MicrosoftInitArgs {
    jint version;
    jint vmDefined1;
    char* classpath;
    jint vmDefined2;
    jint vmDefined3;
};

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_JVM_MICROSOFT_INIT_ARGS_H
