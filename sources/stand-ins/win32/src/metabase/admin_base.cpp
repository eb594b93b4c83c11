// The object's identity and life, and the methods the stand-in does not offer.
#include "stand-ins/win32/src/metabase/admin_base.h"

#include "stand-ins/win32/src/metabase/metabase_store.h"
#include "stand-ins/win32/src/metabase/wide_text.h"

namespace standin::metabase {

HRESULT createAdminBase(REFIID iid, void** object) {
    if (iid != IID_IUnknown && iid != IID_IMSAdminBase) {
        return E_NOINTERFACE;
    }
    auto* created = new (std::nothrow) AdminBase();
    if (created == nullptr) {
        return E_OUTOFMEMORY;
    }
    *object = static_cast<IMSAdminBaseW*>(created);
    return S_OK;
}

HRESULT changeKey(const KeyPath& key, const std::function<HRESULT(MetabaseKey& found)>& change) {
    return MetabaseStore::instance().write([&](MetabaseKey& root) {
        MetabaseKey* found = findKey(root, key);
        return found != nullptr ? change(*found) : HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    });
}

HRESULT AdminBase::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (iid != IID_IUnknown && iid != IID_IMSAdminBase) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    *object = static_cast<IMSAdminBaseW*>(this);
    return S_OK;
}

ULONG AdminBase::AddRef() {
    return references_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG AdminBase::Release() {
    ULONG left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT AdminBase::resolve(METADATA_HANDLE handle, LPCWSTR path, DWORD needed, KeyPath* key,
                           size_t* handleDepth) const {
    std::optional<HandleView> view = handles_.find(handle);
    if (!view) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
    }
    if ((view->permissions & needed) != needed) {
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    }
    if (handleDepth != nullptr) {
        *handleDepth = view->path.size();
    }
    *key = std::move(view->path);
    return appendPath(path, key);
}

HRESULT AdminBase::CopyKey(METADATA_HANDLE, LPCWSTR, METADATA_HANDLE, LPCWSTR, BOOL, BOOL) {
    return E_NOTIMPL;
}
HRESULT AdminBase::RenameKey(METADATA_HANDLE, LPCWSTR, LPCWSTR) {
    return E_NOTIMPL;
}
HRESULT AdminBase::GetAllData(METADATA_HANDLE, LPCWSTR, DWORD, DWORD, DWORD, DWORD*, DWORD*, DWORD,
                              unsigned char*, DWORD*) {
    return E_NOTIMPL;
}
HRESULT AdminBase::DeleteAllData(METADATA_HANDLE, LPCWSTR, DWORD, DWORD) {
    return E_NOTIMPL;
}
HRESULT AdminBase::CopyData(METADATA_HANDLE, LPCWSTR, METADATA_HANDLE, LPCWSTR, DWORD, DWORD, DWORD,
                            BOOL) {
    return E_NOTIMPL;
}
HRESULT AdminBase::GetDataPaths(METADATA_HANDLE, LPCWSTR, DWORD, DWORD, DWORD, WCHAR*, DWORD*) {
    return E_NOTIMPL;
}
HRESULT AdminBase::GetHandleInfo(METADATA_HANDLE, PMETADATA_HANDLE_INFO) {
    return E_NOTIMPL;
}
HRESULT AdminBase::GetSystemChangeNumber(DWORD*) {
    return E_NOTIMPL;
}
HRESULT AdminBase::GetDataSetNumber(METADATA_HANDLE, LPCWSTR, DWORD*) {
    return E_NOTIMPL;
}
HRESULT AdminBase::SetLastChangeTime(METADATA_HANDLE, LPCWSTR, PFILETIME, BOOL) {
    return E_NOTIMPL;
}
HRESULT AdminBase::GetLastChangeTime(METADATA_HANDLE, LPCWSTR, PFILETIME, BOOL) {
    return E_NOTIMPL;
}
HRESULT AdminBase::KeyExchangePhase1() {
    return E_NOTIMPL;
}
HRESULT AdminBase::KeyExchangePhase2() {
    return E_NOTIMPL;
}
HRESULT AdminBase::Backup(LPCWSTR, DWORD, DWORD) {
    return E_NOTIMPL;
}
HRESULT AdminBase::Restore(LPCWSTR, DWORD, DWORD) {
    return E_NOTIMPL;
}
HRESULT AdminBase::EnumBackups(LPWSTR, DWORD*, PFILETIME, DWORD) {
    return E_NOTIMPL;
}
HRESULT AdminBase::DeleteBackup(LPCWSTR, DWORD) {
    return E_NOTIMPL;
}
HRESULT AdminBase::UnmarshalInterface(IMSAdminBaseW**) {
    return E_NOTIMPL;
}
HRESULT AdminBase::GetServerGuid() {
    return E_NOTIMPL;
}

}  // namespace standin::metabase
