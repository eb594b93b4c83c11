// The hooks through which the VM's own output, exit and abort reach the native log. The VM
// calls them through JNICALL pointers (handed over as the "vfprintf", "exit" and "abort"
// options, or in the 1.1 record), on whatever VM thread writes, exits or aborts; they only
// log, and never throw back into the VM.
#ifndef BREVANT_ISAPI_JVM_VM_HOOKS_H
#define BREVANT_ISAPI_JVM_VM_HOOKS_H

#include <jni.h>

#include <cstdarg>
#include <cstdio>

namespace brevant::isapi {

// Formats the VM's text and logs it as one entry, "Java VM message: " and the text, its
// single trailing line feed dropped (unless the text is that line feed alone or it follows a
// carriage return) and every other line feed written as CR LF. Returns the number of
// characters formatted, as vfprintf does: a current JDK takes 0 as a failed write. `stream`
// is ignored: everything the VM prints goes to the log.
jint JNICALL vmMessage(FILE* stream, const char* format, va_list arguments);

// Logs "Java VM exit code = <code>" and returns to the VM, which then ends the process.
void JNICALL vmExit(jint code);

// Logs "Java VM aborted." and returns to the VM.
void JNICALL vmAbort(void);

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_JVM_VM_HOOKS_H
