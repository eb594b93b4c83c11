// How the IIS entry points of Brevant_ISAPI report an exception they caught: the entry
// point's name followed by "() caught an exception!!!" and then the exception's own text,
// or by "() caught an unknown exception!!!", in the native log with echo. Any thread.
#ifndef BREVANT_ISAPI_ENTRY_ENTRY_GUARD_H
#define BREVANT_ISAPI_ENTRY_ENTRY_GUARD_H

#include "native/common/basics/entry_guard_template.h"
#include "native/isapi/log/native_log.h"

namespace brevant::isapi {

inline void logCaught(const char* text) {
    logMessage(text);
}

constexpr CaughtMessages kGetFilterVersionCaught{
    "GetFilterVersion() caught an exception!!!",
    "GetFilterVersion() caught an unknown exception!!!"};
constexpr CaughtMessages kHttpFilterProcCaught{"HttpFilterProc() caught an exception!!!",
                                               "HttpFilterProc() caught an unknown exception!!!"};
constexpr CaughtMessages kGetExtensionVersionCaught{
    "GetExtensionVersion() caught an exception!!!",
    "GetExtensionVersion() caught an unknown exception!!!"};
constexpr CaughtMessages kHttpExtensionProcCaught{
    "HttpExtensionProc() caught an exception!!!",
    "HttpExtensionProc() caught an unknown exception!!!"};
constexpr CaughtMessages kTerminateExtensionCaught{
    "TerminateExtension() caught an exception!!!",
    "TerminateExtension() caught an unknown exception!!!"};

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_ENTRY_ENTRY_GUARD_H
