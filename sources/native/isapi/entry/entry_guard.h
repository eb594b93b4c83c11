// How the IIS entry points of Brevant_ISAPI report an exception they caught: the entry
// point's name followed by "() caught an exception!!!" and then the exception's own text,
// or by "() caught an unknown exception!!!", in the native log with echo. Any thread.
#ifndef BREVANT_ISAPI_ENTRY_ENTRY_GUARD_H
#define BREVANT_ISAPI_ENTRY_ENTRY_GUARD_H

#include <exception>

namespace brevant::isapi {

// `caught` is null for an exception that is no std::exception.
void logCaughtException(const char* entryPoint, const std::exception* caught);

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_ENTRY_ENTRY_GUARD_H
