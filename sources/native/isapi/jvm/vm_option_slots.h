// How many options from vmoptions.properties the configuration reads and the JVM host
// passes on: one limit for both, so that no option read is dropped on the way.
#ifndef BREVANT_ISAPI_JVM_VM_OPTION_SLOTS_H
#define BREVANT_ISAPI_JVM_VM_OPTION_SLOTS_H

namespace brevant::isapi {

constexpr int kMaxVMOptions = 32;

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_JVM_VM_OPTION_SLOTS_H
