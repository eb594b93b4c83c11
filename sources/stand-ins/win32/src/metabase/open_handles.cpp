#include "stand-ins/win32/src/metabase/open_handles.h"

#include <atomic>
#include <utility>

namespace standin::metabase {

namespace {

METADATA_HANDLE nextHandleValue() {
    static std::atomic<METADATA_HANDLE> last{METADATA_MASTER_ROOT_HANDLE};
    METADATA_HANDLE value = ++last;
    // After four billion opens the count comes round; the master root keeps its value.
    return value != METADATA_MASTER_ROOT_HANDLE ? value : ++last;
}

}  // namespace

METADATA_HANDLE OpenHandles::add(std::shared_ptr<OpenHandle> handle) {
    METADATA_HANDLE value = nextHandleValue();
    std::lock_guard<std::mutex> lock(mutex_);
    handles_[value] = std::move(handle);
    return value;
}

std::optional<HandleView> OpenHandles::find(METADATA_HANDLE handle) const {
    if (handle == METADATA_MASTER_ROOT_HANDLE) {
        return HandleView{{}, METADATA_PERMISSION_READ};
    }
    std::shared_ptr<OpenHandle> open = get(handle);
    if (open == nullptr) {
        return std::nullopt;
    }
    std::lock_guard<std::mutex> lock(open->mutex);
    return HandleView{open->path, open->permissions};
}

std::shared_ptr<OpenHandle> OpenHandles::get(METADATA_HANDLE handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = handles_.find(handle);
    return found == handles_.end() ? nullptr : found->second;
}

bool OpenHandles::remove(METADATA_HANDLE handle) {
    std::shared_ptr<OpenHandle> closed;  // released outside the lock
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = handles_.find(handle);
    if (found == handles_.end()) {
        return false;
    }
    closed = std::move(found->second);
    handles_.erase(found);
    return true;
}

}  // namespace standin::metabase
