// Windows share modes for the stand-in's files, enforced between all handles of all
// processes of the machine.
//
// Every handle with data access keeps a sidecar file open, one sidecar per file identity
// (device + inode) in /tmp/.standin-share, through an open file description of its own. On
// it the handle announces what it does and what it denies, as shared Linux open-file-
// description locks on single-byte slots. A new open reads the slots and announces itself
// while it holds an exclusive lock on a gate byte, so check and announce are one step for
// every opener, in this process or another. The kernel drops the locks when the
// description closes, also when a process dies, so nothing stale remains; sidecars stay
// behind, empty and harmless.
//
// A child forked without exec shares its parent's open file descriptions and so keeps the
// parent's reservations until it closes them or exits, much like an inherited handle.
#ifndef STANDIN_WIN32_FILES_SHARE_MODES_H
#define STANDIN_WIN32_FILES_SHARE_MODES_H

#include <sys/types.h>

#include <utility>

#include <windows.h>

#include "stand-ins/win32/src/unique_fd.h"

namespace standin::files {

// What an open does with the file and what it lets others do, in terms of share checks.
struct ShareRequest {
    bool reads = false;  // read or execute access
    bool writes = false;
    bool sharesRead = false;
    bool sharesWrite = false;
};

// One handle's announcement. Owns the sidecar descriptor that carries the locks; they go
// when the object goes. Owned by one file handle and not touched concurrently.
class ShareReservation {
  public:
    // No reservation: what handles without data access hold, as they take part in no
    // share checks.
    ShareReservation() = default;

    // Checks `request` against every live reservation of the file (device, inode) and,
    // when none conflicts, announces it in *out. Returns ERROR_SUCCESS,
    // ERROR_SHARING_VIOLATION, or the error that kept the sidecar from working.
    static DWORD acquire(dev_t device, ino_t inode, const ShareRequest& request,
                         ShareReservation* out);

  private:
    explicit ShareReservation(UniqueFd sidecar) : sidecar_(std::move(sidecar)) {}

    UniqueFd sidecar_;
};

}  // namespace standin::files

#endif  // STANDIN_WIN32_FILES_SHARE_MODES_H
