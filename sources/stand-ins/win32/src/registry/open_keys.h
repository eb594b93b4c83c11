// The registry handles the process has open.
//
// Each HKEY that RegOpenKeyExA and RegCreateKeyExA return is the address of an OpenKey
// that this table owns until RegCloseKey. A handle names its key by path, so one whose key
// was deleted, here or by another process, finds nothing there. Lookups hand out copies,
// so a thread that closes a handle cannot pull its state from under another thread still
// using it. Any thread may call; one mutex guards the table.
#ifndef STANDIN_WIN32_REGISTRY_OPEN_KEYS_H
#define STANDIN_WIN32_REGISTRY_OPEN_KEYS_H

#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

#include "registry/registry_tree.h"

namespace standin::registry {

struct OpenKey {
    KeyPath path;
    REGSAM granted = 0;
};

class OpenKeys {
  public:
    static OpenKeys& instance() {
        // Never destroyed: threads may still close handles while the process exits.
        static OpenKeys* keys = new OpenKeys();
        return *keys;
    }

    HKEY add(OpenKey key) {
        auto owned = std::make_unique<OpenKey>(std::move(key));
        HKEY handle = reinterpret_cast<HKEY>(owned.get());
        std::lock_guard<std::mutex> lock(mutex_);
        keys_.emplace(handle, std::move(owned));
        return handle;
    }

    // Nothing for a handle that is not open.
    std::optional<OpenKey> find(HKEY handle) const {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = keys_.find(handle);
        if (found == keys_.end()) {
            return std::nullopt;
        }
        return *found->second;
    }

    // False for a handle that is not open.
    bool remove(HKEY handle) {
        std::unique_ptr<OpenKey> closed;  // freed outside the lock
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = keys_.find(handle);
        if (found == keys_.end()) {
            return false;
        }
        closed = std::move(found->second);
        keys_.erase(found);
        return true;
    }

  private:
    OpenKeys() = default;

    mutable std::mutex mutex_;
    std::unordered_map<HKEY, std::unique_ptr<OpenKey>> keys_;  // guarded by mutex_
};

}  // namespace standin::registry

#endif  // STANDIN_WIN32_REGISTRY_OPEN_KEYS_H
