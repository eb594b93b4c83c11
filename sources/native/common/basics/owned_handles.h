// Owners of what the deliverables open through the Windows API, each released on every way
// out of the function that opened it, and a keeper of the caller's last error across
// calls that would change it. Not copyable; an owner belongs to one thread.
#ifndef BREVANT_COMMON_OWNED_HANDLES_H
#define BREVANT_COMMON_OWNED_HANDLES_H

#include <windows.h>
#include <winsvc.h>

namespace brevant {

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

inline void closeServiceHandle(SC_HANDLE handle) {
    CloseServiceHandle(handle);
}
inline void closeRegistryKey(HKEY key) {
    RegCloseKey(key);
}

// The service control manager or one of its services.
using ServiceHandle = Owned<SC_HANDLE, nullptr, closeServiceHandle>;
// An open registry key.
using RegistryKeyHandle = Owned<HKEY, nullptr, closeRegistryKey>;

// A file from CreateFileA, which reports failure with INVALID_HANDLE_VALUE, not null (that
// constant cannot be a template argument, hence a class of its own).
class FileHandle {
  public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (valid()) {
            CloseHandle(handle_);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    explicit operator bool() const { return valid(); }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

// Restores GetLastError's value when it goes: for diagnostics written between a failure and
// the caller that reports the failure's code.
class LastErrorKeeper {
  public:
    LastErrorKeeper() : saved_(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(saved_); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

  private:
    DWORD saved_;
};

}  // namespace brevant

#endif  // BREVANT_COMMON_OWNED_HANDLES_H
