// The kind of Java VM the administrator asked for in VMSettings.pref.
#ifndef BREVANT_ISAPI_JVM_JAVA_VM_KIND_H
#define BREVANT_ISAPI_JVM_JAVA_VM_KIND_H

#include <cstdint>

namespace brevant::isapi {

enum JavaVMKind : int32_t {
    JVM_DEFAULT = 0,
    JVM_HOTSPOT = 1,
    JVM_IBM = 2,
    JVM_MICROSOFT = 3,
};

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_JVM_JAVA_VM_KIND_H
