// The object behind a file HANDLE of the stand-in.
#ifndef STANDIN_WIN32_FILES_FILE_HANDLE_H
#define STANDIN_WIN32_FILES_FILE_HANDLE_H

#include <cstdint>
#include <mutex>
#include <utility>

#include "stand-ins/win32/src/files/share_modes.h"
#include "stand-ins/win32/src/unique_fd.h"

namespace standin::files {

// An open file as CreateFileA hands it out. Owns the file's descriptor and the handle's
// share reservation; both are released with the object, which goes when CloseHandle has
// dropped it from the handle table and no call on another thread still uses it.
//
// Any thread may use it. Like a synchronous handle on Windows it has one file position,
// which ReadFile, WriteFile and SetFilePointer use and move only while holding ioMutex(),
// so that calls on one handle take effect one after another and two writes never land at
// the same offset.
class FileHandle {
  public:
    FileHandle(UniqueFd fd, bool canRead, bool canWrite, ShareReservation reservation)
        : fd_(std::move(fd)),
          canRead_(canRead),
          canWrite_(canWrite),
          reservation_(std::move(reservation)) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int fd() const { return fd_.get(); }
    bool canRead() const { return canRead_; }
    bool canWrite() const { return canWrite_; }

    std::mutex& ioMutex() { return ioMutex_; }
    // Both require ioMutex() held.
    int64_t position() const { return position_; }
    void setPosition(int64_t position) { position_ = position; }

  private:
    UniqueFd fd_;
    const bool canRead_;
    const bool canWrite_;
    ShareReservation reservation_;  // held for its locks only
    std::mutex ioMutex_;
    int64_t position_ = 0;  // guarded by ioMutex_; never negative
};

}  // namespace standin::files

#endif  // STANDIN_WIN32_FILES_FILE_HANDLE_H
