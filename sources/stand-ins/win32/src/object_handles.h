// Handles that stand for objects the stand-in owns (open registry keys, service-manager
// objects): each handle is the address of an object the table owns until it is closed.
// Looking a handle up here first means a stale or foreign handle yields nothing instead of
// a wild dereference. Lookups hand out copies. Any thread may call.
#ifndef STANDIN_WIN32_OBJECT_HANDLES_H
#define STANDIN_WIN32_OBJECT_HANDLES_H

#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

namespace standin {

template <typename Handle, typename Object>
class ObjectHandles {
  public:
    // Never destroyed: threads may still close handles while the process exits.
    static ObjectHandles& instance() {
        static ObjectHandles* table = new ObjectHandles();
        return *table;
    }

    Handle add(Object object) {
        auto owned = std::make_unique<Object>(std::move(object));
        Handle handle = reinterpret_cast<Handle>(owned.get());
        std::lock_guard<std::mutex> lock(mutex_);
        objects_.emplace(handle, std::move(owned));
        return handle;
    }

    // Nothing for a handle that is not open.
    std::optional<Object> find(Handle handle) const {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = objects_.find(handle);
        if (found == objects_.end()) {
            return std::nullopt;
        }
        return *found->second;
    }

    // False for a handle that is not open.
    bool remove(Handle handle) {
        std::unique_ptr<Object> closed;  // freed outside the lock
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = objects_.find(handle);
        if (found == objects_.end()) {
            return false;
        }
        closed = std::move(found->second);
        objects_.erase(found);
        return true;
    }

  private:
    ObjectHandles() = default;

    mutable std::mutex mutex_;
    std::unordered_map<Handle, std::unique_ptr<Object>> objects_;  // guarded by mutex_
};

}  // namespace standin

#endif  // STANDIN_WIN32_OBJECT_HANDLES_H
