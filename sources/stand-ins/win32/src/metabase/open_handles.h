// The metabase handles that one IMSAdminBase object has open.
//
// Each handle owns the lock on its key until CloseKey, or until the object goes with its
// last Release, which closes the handles it still has. Handle values are unique in the
// process, so a handle of another object is unknown here, never mistaken for one of ours.
// Lookups hand out copies, so a thread that closes a handle cannot pull its state from
// under another thread still using it. Any thread may call; one mutex guards the table,
// and each handle's own mutex guards its permissions and lock.
#ifndef STANDIN_WIN32_METABASE_OPEN_HANDLES_H
#define STANDIN_WIN32_METABASE_OPEN_HANDLES_H

#include <iadmw.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "stand-ins/win32/src/metabase/key_locks.h"
#include "stand-ins/win32/src/metabase/metabase_tree.h"

namespace standin::metabase {

struct OpenHandle {
    KeyPath path;
    std::mutex mutex;
    DWORD permissions = 0;  // guarded by mutex
    KeyLock lock;           // guarded by mutex
};

// What a call needs to know of a handle.
struct HandleView {
    KeyPath path;
    DWORD permissions = 0;
};

class OpenHandles {
  public:
    METADATA_HANDLE add(std::shared_ptr<OpenHandle> handle);

    // Nothing for a handle that is not open. METADATA_MASTER_ROOT_HANDLE is open for
    // reading, always.
    std::optional<HandleView> find(METADATA_HANDLE handle) const;

    // The handle itself, for a change of its permissions; null when not open.
    std::shared_ptr<OpenHandle> get(METADATA_HANDLE handle) const;

    // False for a handle that is not open.
    bool remove(METADATA_HANDLE handle);

  private:
    mutable std::mutex mutex_;
    std::map<METADATA_HANDLE, std::shared_ptr<OpenHandle>> handles_;  // guarded by mutex_
};

}  // namespace standin::metabase

#endif  // STANDIN_WIN32_METABASE_OPEN_HANDLES_H
