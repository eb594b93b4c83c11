// The registry handles the process has open.
//
// Each HKEY that RegOpenKeyExA and RegCreateKeyExA return is the address of an OpenKey
// that this table owns until RegCloseKey. A handle names its key by path, so one whose key
// was deleted, here or by another process, finds nothing there. Lookups hand out copies,
// so a thread that closes a handle cannot pull its state from under another thread still
// using it. Any thread may call; one mutex guards the table.
#ifndef STANDIN_WIN32_REGISTRY_OPEN_KEYS_H
#define STANDIN_WIN32_REGISTRY_OPEN_KEYS_H

#include <utility>

#include "stand-ins/win32/src/object_handles.h"
#include "stand-ins/win32/src/registry/registry_tree.h"

namespace standin::registry {

struct OpenKey {
    KeyPath path;
    REGSAM granted = 0;
};

using OpenKeys = ObjectHandles<HKEY, OpenKey>;

}  // namespace standin::registry

#endif  // STANDIN_WIN32_REGISTRY_OPEN_KEYS_H
