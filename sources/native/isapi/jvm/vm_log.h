// How the JVM host writes its messages: one native-log entry per message, echoed to the
// debugger output like every message of the connector. Any thread may call; the native
// log serialises the entries.
#ifndef BREVANT_ISAPI_JVM_VM_LOG_H
#define BREVANT_ISAPI_JVM_VM_LOG_H

#include <string>

namespace brevant::isapi::jvmhost {

void logLine(const std::string& text);

// printf-style formatting into a string as long as the text needs. The format is always
// the connector's own; text from the registry, a file or the VM goes in as an argument.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace brevant::isapi::jvmhost

#endif  // BREVANT_ISAPI_JVM_VM_LOG_H
