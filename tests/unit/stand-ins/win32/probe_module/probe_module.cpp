// A module for the module tests: loaded by file name, looked up by GetModuleHandleA, its
// exports resolved by GetProcAddress. Its module-definition file exercises the export
// naming of the real modules (plain stdcall names, and the decorated name of a JNI native).
#include <windows.h>

extern "C" {

DWORD WINAPI ProbeAnswer(DWORD question) {
    return question + 42;
}

// Shaped like a JNI native method: a 32-bit JVM looks such functions up by the decorated
// name "_Name@N".
BYTE WINAPI Java_probe_ProbeNative_answer(void* environment, void* receiver) {
    return environment == receiver ? 1 : 0;
}

}  // extern "C"
