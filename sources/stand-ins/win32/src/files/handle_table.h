// The registry of live file handles.
#ifndef STANDIN_WIN32_FILES_HANDLE_TABLE_H
#define STANDIN_WIN32_FILES_HANDLE_TABLE_H

#include <windows.h>

#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "stand-ins/win32/src/files/file_handle.h"

namespace standin::files {

// The live file handles, keyed by the HANDLE value given out, which is the address of the
// FileHandle. Looking a handle up here first means a stale or foreign HANDLE yields
// ERROR_INVALID_HANDLE instead of a wild dereference. Any thread; guarded by mutex_.
class HandleTable {
  public:
    HANDLE add(std::shared_ptr<FileHandle> file) {
        HANDLE handle = file.get();
        std::lock_guard<std::mutex> lock(mutex_);
        live_.emplace(handle, std::move(file));
        return handle;
    }

    std::shared_ptr<FileHandle> find(HANDLE handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = live_.find(handle);
        return it == live_.end() ? nullptr : it->second;
    }

    // Returned so that the descriptors close after the table's lock is released.
    std::shared_ptr<FileHandle> remove(HANDLE handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = live_.find(handle);
        if (it == live_.end()) {
            return nullptr;
        }
        std::shared_ptr<FileHandle> file = std::move(it->second);
        live_.erase(it);
        return file;
    }

  private:
    std::mutex mutex_;
    std::unordered_map<HANDLE, std::shared_ptr<FileHandle>> live_;
};

// Never destroyed, so that handles stay usable from destructors of other modules that
// run at exit.
inline HandleTable& handles() {
    static HandleTable* table = new HandleTable;
    return *table;
}

}  // namespace standin::files

#endif  // STANDIN_WIN32_FILES_HANDLE_TABLE_H
