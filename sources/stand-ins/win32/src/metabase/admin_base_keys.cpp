// The methods of IMSAdminBase that open, lock, make, list and remove keys.
//
// Where IIS's answer was not worth copying, the stand-in is stricter, so that code which
// works on it also works there: DeleteKey with an empty path (the handle's own key) is
// E_INVALIDARG, and OpenKey asks for METADATA_PERMISSION_READ, _WRITE or both, nothing
// else.
#include <algorithm>
#include <memory>
#include <string>

#include "stand-ins/win32/src/metabase/admin_base.h"
#include "stand-ins/win32/src/metabase/key_locks.h"
#include "stand-ins/win32/src/metabase/metabase_store.h"
#include "stand-ins/win32/src/metabase/wide_text.h"

namespace standin::metabase {

namespace {

constexpr DWORD kPermissions = METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE;

HRESULT keyExists(const KeyPath& key) {
    return MetabaseStore::instance().read([&](const MetabaseKey& root) {
        return findKey(root, key) != nullptr ? S_OK : HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    });
}

LockMode lockModeFor(DWORD access) {
    return (access & METADATA_PERMISSION_WRITE) != 0 ? LockMode::kWrite : LockMode::kRead;
}

}  // namespace

HRESULT AdminBase::OpenKey(METADATA_HANDLE handle, LPCWSTR path, DWORD access, DWORD timeoutMs,
                           PMETADATA_HANDLE opened) {
    if (opened == nullptr || (access & kPermissions) == 0 || (access & ~kPermissions) != 0) {
        return E_INVALIDARG;
    }
    *opened = METADATA_MASTER_ROOT_HANDLE;
    return guarded([&] {
        auto open = std::make_shared<OpenHandle>();
        HRESULT result = resolve(handle, path, 0, &open->path);
        if (SUCCEEDED(result)) {
            result = keyExists(open->path);
        }
        if (FAILED(result)) {
            return result;
        }
        open->permissions = access;
        // A metabase without a file has no other users to keep out.
        if (std::optional<std::string> file = metabasePath()) {
            result = KeyLock::acquire(*file + ".handles", open->path, lockModeFor(access),
                                      timeoutMs, &open->lock);
            if (SUCCEEDED(result)) {
                result = keyExists(open->path);  // it may have gone while we waited
            }
            if (FAILED(result)) {
                return result;
            }
        }
        *opened = handles_.add(std::move(open));
        return S_OK;
    });
}

HRESULT AdminBase::CloseKey(METADATA_HANDLE handle) {
    return guarded(
        [&] { return handles_.remove(handle) ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE); });
}

HRESULT AdminBase::ChangePermissions(METADATA_HANDLE handle, DWORD timeoutMs, DWORD access) {
    if ((access & kPermissions) == 0 || (access & ~kPermissions) != 0) {
        return E_INVALIDARG;
    }
    return guarded([&] {
        std::shared_ptr<OpenHandle> open = handles_.get(handle);
        if (open == nullptr) {
            return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
        }
        std::lock_guard<std::mutex> lock(open->mutex);
        if (open->lock.holds()) {
            HRESULT result = open->lock.change(lockModeFor(access), timeoutMs);
            if (FAILED(result)) {
                return result;
            }
        }
        open->permissions = access;
        return S_OK;
    });
}

HRESULT AdminBase::AddKey(METADATA_HANDLE handle, LPCWSTR path) {
    if (path == nullptr) {
        return E_INVALIDARG;
    }
    return atKey(handle, path, METADATA_PERMISSION_WRITE, [&](const KeyPath& key, size_t depth) {
        if (key.size() > kMaxKeyDepth || !std::all_of(key.begin(), key.end(), isStorableName)) {
            return E_INVALIDARG;
        }
        const KeyPath handleKey(key.begin(), key.begin() + ptrdiff_t(depth));
        return MetabaseStore::instance().write([&](MetabaseKey& root) {
            if (findKey(root, handleKey) == nullptr) {
                return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
            }
            bool created = false;
            createKey(root, key, &created);
            return created ? S_OK : HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
        });
    });
}

HRESULT AdminBase::DeleteKey(METADATA_HANDLE handle, LPCWSTR path) {
    if (path == nullptr) {
        return E_INVALIDARG;
    }
    return atKey(handle, path, METADATA_PERMISSION_WRITE, [&](const KeyPath& key, size_t depth) {
        if (key.size() == depth) {
            return E_INVALIDARG;
        }
        const KeyPath parentPath(key.begin(), key.end() - 1);
        return changeKey(parentPath, [&](MetabaseKey& parent) {
            if (parent.findChild(key.back()) == nullptr) {
                return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
            }
            parent.removeChild(key.back());
            return S_OK;
        });
    });
}

HRESULT AdminBase::DeleteChildKeys(METADATA_HANDLE handle, LPCWSTR path) {
    return atKey(handle, path, METADATA_PERMISSION_WRITE, [](const KeyPath& key, size_t) {
        return changeKey(key, [](MetabaseKey& found) {
            found.removeChildren();
            return S_OK;
        });
    });
}

HRESULT AdminBase::EnumKeys(METADATA_HANDLE handle, LPCWSTR path, LPWSTR name, DWORD index) {
    if (name == nullptr) {
        return E_INVALIDARG;
    }
    return atKey(handle, path, METADATA_PERMISSION_READ, [&](const KeyPath& key, size_t) {
        std::u16string child;
        HRESULT result = MetabaseStore::instance().read([&](const MetabaseKey& root) {
            const MetabaseKey* found = findKey(root, key);
            if (found == nullptr) {
                return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
            }
            if (index >= found->children().size()) {
                return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
            }
            return utf8ToUtf16(found->children()[index]->name(), &child) ? S_OK : E_FAIL;
        });
        if (FAILED(result)) {
            return result;
        }
        // Names are made to fit; the bound is for the buffer's sake all the same.
        size_t length = std::min<size_t>(child.size(), METADATA_MAX_NAME_LEN - 1);
        std::copy_n(child.begin(), length, name);
        name[length] = 0;
        return S_OK;
    });
}

HRESULT AdminBase::SaveData() {
    return S_OK;  // every change is in the file when its call returns
}

}  // namespace standin::metabase
