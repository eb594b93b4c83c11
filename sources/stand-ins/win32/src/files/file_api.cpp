// CreateFileA, ReadFile, WriteFile, SetFilePointer, GetFileSize and CloseHandle over
// POSIX descriptors, with Windows' dispositions, access checks and share modes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "stand-ins/win32/src/files/file_handle.h"
#include "stand-ins/win32/src/files/handle_table.h"
#include "stand-ins/win32/src/files/share_modes.h"
#include "stand-ins/win32/src/internal.h"
#include "stand-ins/win32/src/unique_fd.h"

namespace standin::files {
namespace {

// ---- opening -------------------------------------------------------------------------------

constexpr DWORD kValidShareBits = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Bounds the create-or-open loop when the file keeps appearing and vanishing under us.
constexpr int kCreateAttempts = 16;

struct Access {
    bool read;     // may ReadFile
    bool write;    // may WriteFile
    bool execute;  // counts as reading in share checks, as on Windows
};

Access accessFrom(DWORD desired) {
    const bool all = (desired & GENERIC_ALL) != 0;
    return {all || (desired & GENERIC_READ) != 0, all || (desired & GENERIC_WRITE) != 0,
            all || (desired & GENERIC_EXECUTE) != 0};
}

bool truncatesExisting(DWORD disposition) {
    return disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
}

// open(2) flags for a file that exists: the descriptor allows what the handle may do, plus
// writing when the open truncates. Without data access O_PATH suffices for fstat and does
// not need read permission, as Windows' attribute-only opens do not.
int existingFileFlags(const Access& access, bool truncates) {
    const bool write = access.write || truncates;
    int mode = O_PATH;
    if (access.read && write) {
        mode = O_RDWR;
    } else if (write) {
        mode = O_WRONLY;
    } else if (access.read) {
        mode = O_RDONLY;
    }
    return mode | O_CLOEXEC | O_NOCTTY;
}

// open(2) flags that create the file; O_PATH cannot create, so a no-access creation gets a
// read-only descriptor.
int newFileFlags(const Access& access) {
    int flags = existingFileFlags(access, false);
    if ((flags & O_PATH) != 0) {
        flags = (flags & ~O_PATH) | O_RDONLY;
    }
    return flags | O_CREAT | O_EXCL;
}

struct OpenedFile {
    UniqueFd fd;
    bool existed = false;  // opened a file that was already there
    int error = 0;         // errno when fd is not valid
};

// Opens or creates the file as the disposition says. Creation is tried with O_EXCL first
// so that we know for sure whether the file existed, and nothing is truncated yet: that
// waits for the share check.
OpenedFile openForDisposition(const char* name, DWORD disposition, const Access& access,
                              mode_t createMode) {
    OpenedFile result;
    const int existingFlags = existingFileFlags(access, truncatesExisting(disposition));
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
        result.fd.reset(open(name, existingFlags));
        result.existed = true;
    } else if (disposition == CREATE_NEW) {
        result.fd.reset(open(name, newFileFlags(access), createMode));
    } else {
        for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
            result.fd.reset(open(name, newFileFlags(access), createMode));
            result.existed = !result.fd.valid() && errno == EEXIST;
            if (!result.existed) {
                break;
            }
            result.fd.reset(open(name, existingFlags));
            if (result.fd.valid() || errno != ENOENT) {
                break;  // opened, or failed for a reason that another try will not change
            }
        }
    }
    result.error = result.fd.valid() ? 0 : errno;
    return result;
}

// ENOENT stands for both of Windows' "file not found" and "path not found"; which one
// depends on whether the containing folder exists.
DWORD missingFileError(const char* name) {
    const std::string_view path(name);
    const size_t slash = path.find_last_of('/');
    if (slash == std::string_view::npos) {
        return ERROR_FILE_NOT_FOUND;  // the current folder exists
    }
    const std::string folder(path.substr(0, slash == 0 ? 1 : slash));
    struct stat info;
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                     : ERROR_PATH_NOT_FOUND;
}

HANDLE fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE createFile(const char* name, DWORD desiredAccess, DWORD shareMode, DWORD disposition,
                  DWORD flagsAndAttributes) {
    if (name == nullptr || disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
        (shareMode & ~kValidShareBits) != 0) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (name[0] == '\0') {
        return fail(ERROR_PATH_NOT_FOUND);
    }
    const Access access = accessFrom(desiredAccess);
    // Windows documents GENERIC_WRITE as a requirement of TRUNCATE_EXISTING; without it a
    // read-only handle would destroy the content.
    if (disposition == TRUNCATE_EXISTING && !access.write) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const mode_t createMode = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;

    OpenedFile opened = openForDisposition(name, disposition, access, createMode);
    if (!opened.fd.valid()) {
        return fail(opened.error == ENOENT ? missingFileError(name)
                                           : win32ErrorFromErrno(opened.error));
    }
    const bool created = !opened.existed;
    struct stat info;
    if (fstat(opened.fd.get(), &info) != 0) {
        return fail(setLastErrorFromErrno());
    }
    if (S_ISDIR(info.st_mode)) {
        return fail(ERROR_ACCESS_DENIED);
    }

    // Opens without data access take no part in share checks, on either side.
    ShareReservation reservation;
    const bool dataAccess = access.read || access.write || access.execute;
    if (dataAccess) {
        const ShareRequest request{access.read || access.execute, access.write,
                                   (shareMode & FILE_SHARE_READ) != 0,
                                   (shareMode & FILE_SHARE_WRITE) != 0};
        DWORD error = ShareReservation::acquire(info.st_dev, info.st_ino, request, &reservation);
        if (error != ERROR_SUCCESS) {
            // A file we made but cannot hand out is removed again, unless another handle
            // already holds it.
            if (created && error != ERROR_SHARING_VIOLATION) {
                unlink(name);
            }
            return fail(error);
        }
    }
    if (opened.existed && truncatesExisting(disposition) && ftruncate(opened.fd.get(), 0) != 0) {
        return fail(setLastErrorFromErrno());
    }

    auto file = std::make_shared<FileHandle>(std::move(opened.fd), access.read, access.write,
                                             std::move(reservation));
    HANDLE handle = handles().add(std::move(file));
    const bool reportsExisting = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    SetLastError(opened.existed && reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

// ---- reading and writing -------------------------------------------------------------------

// The file offset `done` bytes past the handle's position, or false when it would not fit.
bool offsetAfter(int64_t position, DWORD done, off_t* offset) {
    int64_t sum = 0;
    if (__builtin_add_overflow(position, static_cast<int64_t>(done), &sum)) {
        return false;
    }
    *offset = static_cast<off_t>(sum);
    return true;
}

// Reads or writes `count` bytes at the handle's position, looping over short transfers and
// interruptions, and moves the position by what was transferred. A read stops early only
// at the end of the file. Returns ERROR_SUCCESS or the error that stopped the transfer.
template <typename Transfer>
DWORD transfer(FileHandle& file, DWORD count, DWORD* done, Transfer&& step) {
    std::lock_guard<std::mutex> lock(file.ioMutex());
    DWORD error = ERROR_SUCCESS;
    *done = 0;
    while (*done < count) {
        off_t offset = 0;
        if (!offsetAfter(file.position(), *done, &offset)) {
            error = ERROR_INVALID_PARAMETER;
            break;
        }
        ssize_t moved = step(*done, static_cast<size_t>(count - *done), offset);
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved < 0) {
            error = win32ErrorFromErrno(errno);
            break;
        }
        if (moved == 0) {
            break;  // end of file for a read; a write that makes no progress is reported below
        }
        *done += static_cast<DWORD>(moved);
    }
    file.setPosition(file.position() + *done);
    return error;
}

// Shared checks of ReadFile and WriteFile. Windows documents the count pointer as required
// without an OVERLAPPED, and some versions fault without it; here its absence is refused.
// Overlapped I/O is not offered, as every handle is synchronous.
DWORD checkTransfer(const std::shared_ptr<FileHandle>& file, bool allowed, const void* buffer,
                    DWORD count, const DWORD* done, LPOVERLAPPED overlapped) {
    if (overlapped != nullptr || done == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!file) {
        return ERROR_INVALID_HANDLE;
    }
    if (!allowed) {
        return ERROR_ACCESS_DENIED;
    }
    if (buffer == nullptr && count > 0) {
        return ERROR_NOACCESS;
    }
    return ERROR_SUCCESS;
}

BOOL finishTransfer(DWORD error) {
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

// ---- position and size ---------------------------------------------------------------------

DWORD fileSize(int fd, int64_t* size) {
    struct stat info;
    if (fstat(fd, &info) != 0) {
        return win32ErrorFromErrno(errno);
    }
    *size = info.st_size;
    return ERROR_SUCCESS;
}

// Moves the handle's position; on failure it stays where it was.
DWORD movePosition(FileHandle& file, int64_t distance, DWORD method, bool wide, int64_t* result) {
    std::lock_guard<std::mutex> lock(file.ioMutex());
    int64_t base = 0;
    if (method == FILE_CURRENT) {
        base = file.position();
    } else if (method == FILE_END) {
        DWORD error = fileSize(file.fd(), &base);
        if (error != ERROR_SUCCESS) {
            return error;
        }
    } else if (method != FILE_BEGIN) {
        return ERROR_INVALID_PARAMETER;
    }
    int64_t target = 0;
    if (__builtin_add_overflow(base, distance, &target)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (target < 0) {
        return ERROR_NEGATIVE_SEEK;
    }
    // A caller without the high part could not learn a position beyond 32 bits.
    if (!wide && target > static_cast<int64_t>(UINT32_MAX)) {
        return ERROR_INVALID_PARAMETER;
    }
    file.setPosition(target);
    *result = target;
    return ERROR_SUCCESS;
}

}  // namespace
}  // namespace standin::files

using standin::guarded;
using standin::files::FileHandle;
using standin::files::handles;

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES /*security*/, DWORD creationDisposition,
                          DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
    STANDIN_INJECTION_POINT("CreateFileA", INVALID_HANDLE_VALUE);
    return guarded(INVALID_HANDLE_VALUE, [&] {
        return standin::files::createFile(fileName, desiredAccess, shareMode, creationDisposition,
                                          flagsAndAttributes);
    });
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                     LPOVERLAPPED overlapped) {
    STANDIN_INJECTION_POINT("ReadFile", FALSE);
    return guarded(FALSE, [&] {
        if (bytesRead != nullptr) {
            *bytesRead = 0;
        }
        std::shared_ptr<FileHandle> handle = handles().find(file);
        DWORD error = standin::files::checkTransfer(handle, handle && handle->canRead(), buffer,
                                                    bytesToRead, bytesRead, overlapped);
        if (error == ERROR_SUCCESS) {
            char* bytes = static_cast<char*>(buffer);
            error = standin::files::transfer(
                *handle, bytesToRead, bytesRead, [&](DWORD done, size_t size, off_t offset) {
                    return pread(handle->fd(), bytes + done, size, offset);
                });
        }
        return standin::files::finishTransfer(error);
    });
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      LPOVERLAPPED overlapped) {
    STANDIN_INJECTION_POINT("WriteFile", FALSE);
    return guarded(FALSE, [&] {
        if (bytesWritten != nullptr) {
            *bytesWritten = 0;
        }
        std::shared_ptr<FileHandle> handle = handles().find(file);
        DWORD error = standin::files::checkTransfer(handle, handle && handle->canWrite(), buffer,
                                                    bytesToWrite, bytesWritten, overlapped);
        if (error == ERROR_SUCCESS) {
            const char* bytes = static_cast<const char*>(buffer);
            error = standin::files::transfer(
                *handle, bytesToWrite, bytesWritten, [&](DWORD done, size_t size, off_t offset) {
                    return pwrite(handle->fd(), bytes + done, size, offset);
                });
            // pwrite returns 0 for a regular file only when it cannot store anything more
            if (error == ERROR_SUCCESS && *bytesWritten < bytesToWrite) {
                error = ERROR_DISK_FULL;
            }
        }
        return standin::files::finishTransfer(error);
    });
}

DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod) {
    STANDIN_INJECTION_POINT("SetFilePointer", INVALID_SET_FILE_POINTER);
    return guarded(INVALID_SET_FILE_POINTER, [&]() -> DWORD {
        std::shared_ptr<FileHandle> handle = handles().find(file);
        if (!handle) {
            SetLastError(ERROR_INVALID_HANDLE);
            return INVALID_SET_FILE_POINTER;
        }
        int64_t move = distance;
        if (distanceHigh != nullptr) {
            const uint64_t high = static_cast<uint32_t>(*distanceHigh);
            move = static_cast<int64_t>((high << 32) | static_cast<uint32_t>(distance));
        }
        int64_t position = 0;
        DWORD error = standin::files::movePosition(*handle, move, moveMethod,
                                                   distanceHigh != nullptr, &position);
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return INVALID_SET_FILE_POINTER;
        }
        if (distanceHigh != nullptr) {
            *distanceHigh = static_cast<LONG>(position >> 32);
        }
        const DWORD low = static_cast<DWORD>(position);
        if (low == INVALID_SET_FILE_POINTER) {
            SetLastError(ERROR_SUCCESS);  // lets the caller tell this position from a failure
        }
        return low;
    });
}

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
    STANDIN_INJECTION_POINT("GetFileSize", INVALID_FILE_SIZE);
    return guarded(INVALID_FILE_SIZE, [&]() -> DWORD {
        std::shared_ptr<FileHandle> handle = handles().find(file);
        int64_t size = 0;
        DWORD error = handle ? standin::files::fileSize(handle->fd(), &size) : ERROR_INVALID_HANDLE;
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return INVALID_FILE_SIZE;
        }
        if (fileSizeHigh != nullptr) {
            *fileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(size) >> 32);
        }
        const DWORD low = static_cast<DWORD>(size);
        if (low == INVALID_FILE_SIZE) {
            SetLastError(ERROR_SUCCESS);  // lets the caller tell this size from a failure
        }
        return low;
    });
}

BOOL WINAPI CloseHandle(HANDLE object) {
    STANDIN_INJECTION_POINT("CloseHandle", FALSE);
    return guarded(FALSE, [&] {
        if (!handles().remove(object)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        return TRUE;
    });
}

}  // extern "C"
