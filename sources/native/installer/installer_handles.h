// Owners of what Enlistor opens: a service control manager or service handle, a registry
// key and a file handle, each released when its owner goes. Single-threaded use.
#ifndef BREVANT_INSTALLER_INSTALLER_HANDLES_H
#define BREVANT_INSTALLER_INSTALLER_HANDLES_H

#include <windows.h>

namespace brevant::installer {

// REQUIRES: `Close` releases a value of type T that is not `Empty`.
template <typename T, T Empty, auto Close>
class Owned {
  public:
    explicit Owned(T value = Empty) : value_(value) {}
    ~Owned() {
        if (value_ != Empty) {
            Close(value_);
        }
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    T get() const { return value_; }
    T* receive() { return &value_; }  // for calls that return the value through a pointer
    explicit operator bool() const { return value_ != Empty; }

  private:
    T value_;
};

inline void closeService(SC_HANDLE handle) {
    CloseServiceHandle(handle);
}
inline void closeKey(HKEY key) {
    RegCloseKey(key);
}

using ServiceHandle = Owned<SC_HANDLE, nullptr, closeService>;
using RegistryKey = Owned<HKEY, nullptr, closeKey>;

// CreateFileA reports failure with INVALID_HANDLE_VALUE, not null.
class FileHandle {
  public:
    explicit FileHandle(HANDLE file) : file_(file) {}
    ~FileHandle() {
        if (file_ != INVALID_HANDLE_VALUE) {
            CloseHandle(file_);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    explicit operator bool() const { return file_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE file_;
};

}  // namespace brevant::installer

#endif  // BREVANT_INSTALLER_INSTALLER_HANDLES_H
