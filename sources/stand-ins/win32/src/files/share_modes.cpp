// Share-mode arbitration through open-file-description locks on sidecar files.
#include "stand-ins/win32/src/files/share_modes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "stand-ins/win32/src/internal.h"

namespace standin::files {

namespace {

constexpr const char kShareDir[] = "/tmp/.standin-share";

// Byte offsets in a sidecar. Announcements are shared locks, so any number of handles
// can hold the same slot; a probe for an exclusive lock tells whether anyone does.
constexpr off_t kGate = 0;
constexpr off_t kHasRead = 1;
constexpr off_t kHasWrite = 2;
constexpr off_t kDeniesRead = 3;
constexpr off_t kDeniesWrite = 4;

// A bound on retries when the sidecar or its folder vanishes between two calls, e.g.
// under a /tmp cleaner.
constexpr int kOpenAttempts = 8;

// Creates the shared folder when missing. It is world-writable and sticky like /tmp
// itself, so that processes of every user meet in it.
int ensureShareDir() {
    if (mkdir(kShareDir, 01777) == 0) {
        // mkdir applies the umask
        return chmod(kShareDir, 01777) == 0 ? 0 : errno;
    }
    if (errno != EEXIST) {
        return errno;
    }
    struct stat info;
    if (lstat(kShareDir, &info) != 0) {
        return errno;
    }
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

// Opens (creating when needed) the sidecar of a file identity; sets *error on failure.
// Opening an existing sidecar without O_CREAT keeps fs.protected_regular from refusing
// sidecars that another user created; O_NOFOLLOW and the type check keep a planted link
// or FIFO from redirecting us.
UniqueFd openSidecar(dev_t device, ino_t inode, int* error) {
    char path[96];
    int length = std::snprintf(path, sizeof path, "%s/%llx-%llx", kShareDir,
                               static_cast<unsigned long long>(device),
                               static_cast<unsigned long long>(inode));
    if (length < 0 || static_cast<size_t>(length) >= sizeof path) {
        *error = ENAMETOOLONG;
        return UniqueFd();
    }
    const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        UniqueFd sidecar(open(path, flags));
        if (!sidecar.valid() && errno == ENOENT) {
            sidecar.reset(open(path, flags | O_CREAT | O_EXCL, 0666));
            if (sidecar.valid()) {
                // open applies the umask; every user must be able to lock the sidecar
                fchmod(sidecar.get(), 0666);
            } else if (errno == ENOENT) {
                *error = ensureShareDir();
                if (*error != 0) {
                    return UniqueFd();
                }
                continue;
            } else if (errno == EEXIST) {
                continue;  // another opener created it first
            }
        }
        if (!sidecar.valid()) {
            *error = errno;
            return UniqueFd();
        }
        struct stat info;
        if (fstat(sidecar.get(), &info) != 0) {
            *error = errno;
            return UniqueFd();
        }
        if (!S_ISREG(info.st_mode)) {
            *error = EACCES;
            return UniqueFd();
        }
        return sidecar;
    }
    *error = ENOENT;
    return UniqueFd();
}

struct flock slotLock(short type, off_t slot) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = slot;
    lock.l_len = 1;
    lock.l_pid = 0;  // required by the OFD commands
    return lock;
}

// Applies a lock change; returns 0 or errno.
int setLock(int fd, int command, short type, off_t slot) {
    struct flock lock = slotLock(type, slot);
    while (fcntl(fd, command, &lock) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

// Whether another description holds any lock on `slot`; returns 0 or errno.
int slotTaken(int fd, off_t slot, bool* taken) {
    struct flock probe = slotLock(F_WRLCK, slot);
    if (fcntl(fd, F_OFD_GETLK, &probe) != 0) {
        return errno;
    }
    *taken = probe.l_type != F_UNLCK;
    return 0;
}

// Whether an existing reservation conflicts with `request`: one denies what the request
// does, or does what the request denies. Returns 0 or errno.
int findConflict(int fd, const ShareRequest& request, bool* conflict) {
    const struct {
        bool applies;
        off_t slot;
    } checks[] = {
        {request.reads, kDeniesRead},
        {request.writes, kDeniesWrite},
        {!request.sharesRead, kHasRead},
        {!request.sharesWrite, kHasWrite},
    };
    *conflict = false;
    for (const auto& check : checks) {
        if (!check.applies) {
            continue;
        }
        int error = slotTaken(fd, check.slot, conflict);
        if (error != 0 || *conflict) {
            return error;
        }
    }
    return 0;
}

int announce(int fd, const ShareRequest& request) {
    const struct {
        bool applies;
        off_t slot;
    } announcements[] = {
        {request.reads, kHasRead},
        {request.writes, kHasWrite},
        {!request.sharesRead, kDeniesRead},
        {!request.sharesWrite, kDeniesWrite},
    };
    for (const auto& announcement : announcements) {
        if (!announcement.applies) {
            continue;
        }
        int error = setLock(fd, F_OFD_SETLK, F_RDLCK, announcement.slot);
        if (error != 0) {
            return error;
        }
    }
    return 0;
}

}  // namespace

DWORD ShareReservation::acquire(dev_t device, ino_t inode, const ShareRequest& request,
                                ShareReservation* out) {
    int error = 0;
    UniqueFd sidecar = openSidecar(device, inode, &error);
    if (!sidecar.valid()) {
        return win32ErrorFromErrno(error);
    }
    // Held only for a handful of lock calls, and dropped by the kernel should its holder
    // die, so waiting for it cannot hang.
    error = setLock(sidecar.get(), F_OFD_SETLKW, F_WRLCK, kGate);
    if (error != 0) {
        return win32ErrorFromErrno(error);
    }
    bool conflict = false;
    error = findConflict(sidecar.get(), request, &conflict);
    if (error == 0 && conflict) {
        return ERROR_SHARING_VIOLATION;  // closing the sidecar opens the gate
    }
    if (error == 0) {
        error = announce(sidecar.get(), request);
    }
    if (error == 0) {
        error = setLock(sidecar.get(), F_OFD_SETLK, F_UNLCK, kGate);
    }
    if (error != 0) {
        return win32ErrorFromErrno(error);
    }
    *out = ShareReservation(std::move(sidecar));
    return ERROR_SUCCESS;
}

}  // namespace standin::files
