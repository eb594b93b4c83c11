// Owners of what Enlistor opens: a service control manager or service handle and a registry
// key, each released when its owner goes (files: FileHandle). Single-threaded use.
#ifndef BREVANT_INSTALLER_INSTALLER_HANDLES_H
#define BREVANT_INSTALLER_INSTALLER_HANDLES_H

#include <windows.h>

#include "owned_handles.h"

namespace brevant::installer {

using brevant::FileHandle;
using brevant::Owned;

inline void closeService(SC_HANDLE handle) {
    CloseServiceHandle(handle);
}
inline void closeKey(HKEY key) {
    RegCloseKey(key);
}

using ServiceHandle = Owned<SC_HANDLE, nullptr, closeService>;
using RegistryKey = Owned<HKEY, nullptr, closeKey>;

}  // namespace brevant::installer

#endif  // BREVANT_INSTALLER_INSTALLER_HANDLES_H
