// The metabase's COM object: IMSAdminBase over MetabaseStore, with the handles it has
// open and their key locks.
//
// Each call names a key by a handle and a path below it. Reads go through the handle of
// any open key or through METADATA_MASTER_ROOT_HANDLE; changes need a handle opened with
// METADATA_PERMISSION_WRITE and are in the file when the call returns. The object owns
// its handles: CloseKey closes one, and the last Release closes those left.
//
// Any thread may call; the object keeps no state of its own beyond its reference count
// and its handle table, both thread-safe.
#ifndef STANDIN_WIN32_METABASE_ADMIN_BASE_H
#define STANDIN_WIN32_METABASE_ADMIN_BASE_H

#include <iadmw.h>

#include <atomic>
#include <functional>
#include <new>

#include "stand-ins/win32/src/metabase/metabase_tree.h"
#include "stand-ins/win32/src/metabase/open_handles.h"

namespace standin::metabase {

// What CoCreateInstance does for CLSID_MSAdminBase: a new object with one reference,
// asked for as IMSAdminBase or IUnknown (else E_NOINTERFACE).
HRESULT createAdminBase(REFIID iid, void** object);

// No exception crosses the COM interface.
template <typename Body>
HRESULT guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// Changes the key at `key` in the metabase: `change`'s result, ERROR_PATH_NOT_FOUND when
// there is no such key, or the error that kept the change out of the file.
HRESULT changeKey(const KeyPath& key, const std::function<HRESULT(MetabaseKey& found)>& change);

class AdminBase final : public IMSAdminBaseW {
  public:
    AdminBase() = default;
    AdminBase(const AdminBase&) = delete;
    AdminBase& operator=(const AdminBase&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // keys (admin_base_keys.cpp)
    HRESULT STDMETHODCALLTYPE AddKey(METADATA_HANDLE handle, LPCWSTR path) override;
    HRESULT STDMETHODCALLTYPE DeleteKey(METADATA_HANDLE handle, LPCWSTR path) override;
    HRESULT STDMETHODCALLTYPE DeleteChildKeys(METADATA_HANDLE handle, LPCWSTR path) override;
    HRESULT STDMETHODCALLTYPE EnumKeys(METADATA_HANDLE handle, LPCWSTR path, LPWSTR name,
                                       DWORD index) override;
    HRESULT STDMETHODCALLTYPE OpenKey(METADATA_HANDLE handle, LPCWSTR path, DWORD access,
                                      DWORD timeoutMs, PMETADATA_HANDLE opened) override;
    HRESULT STDMETHODCALLTYPE CloseKey(METADATA_HANDLE handle) override;
    HRESULT STDMETHODCALLTYPE ChangePermissions(METADATA_HANDLE handle, DWORD timeoutMs,
                                                DWORD access) override;
    HRESULT STDMETHODCALLTYPE SaveData() override;

    // properties (admin_base_data.cpp)
    HRESULT STDMETHODCALLTYPE SetData(METADATA_HANDLE handle, LPCWSTR path,
                                      PMETADATA_RECORD record) override;
    HRESULT STDMETHODCALLTYPE GetData(METADATA_HANDLE handle, LPCWSTR path, PMETADATA_RECORD record,
                                      DWORD* required) override;
    HRESULT STDMETHODCALLTYPE DeleteData(METADATA_HANDLE handle, LPCWSTR path, DWORD identifier,
                                         DWORD dataType) override;
    HRESULT STDMETHODCALLTYPE EnumData(METADATA_HANDLE handle, LPCWSTR path,
                                       PMETADATA_RECORD record, DWORD index,
                                       DWORD* required) override;

    // not offered: E_NOTIMPL (admin_base.cpp)
    HRESULT STDMETHODCALLTYPE CopyKey(METADATA_HANDLE, LPCWSTR, METADATA_HANDLE, LPCWSTR, BOOL,
                                      BOOL) override;
    HRESULT STDMETHODCALLTYPE RenameKey(METADATA_HANDLE, LPCWSTR, LPCWSTR) override;
    HRESULT STDMETHODCALLTYPE GetAllData(METADATA_HANDLE, LPCWSTR, DWORD, DWORD, DWORD, DWORD*,
                                         DWORD*, DWORD, unsigned char*, DWORD*) override;
    HRESULT STDMETHODCALLTYPE DeleteAllData(METADATA_HANDLE, LPCWSTR, DWORD, DWORD) override;
    HRESULT STDMETHODCALLTYPE CopyData(METADATA_HANDLE, LPCWSTR, METADATA_HANDLE, LPCWSTR, DWORD,
                                       DWORD, DWORD, BOOL) override;
    HRESULT STDMETHODCALLTYPE GetDataPaths(METADATA_HANDLE, LPCWSTR, DWORD, DWORD, DWORD, WCHAR*,
                                           DWORD*) override;
    HRESULT STDMETHODCALLTYPE GetHandleInfo(METADATA_HANDLE, PMETADATA_HANDLE_INFO) override;
    HRESULT STDMETHODCALLTYPE GetSystemChangeNumber(DWORD*) override;
    HRESULT STDMETHODCALLTYPE GetDataSetNumber(METADATA_HANDLE, LPCWSTR, DWORD*) override;
    HRESULT STDMETHODCALLTYPE SetLastChangeTime(METADATA_HANDLE, LPCWSTR, PFILETIME, BOOL) override;
    HRESULT STDMETHODCALLTYPE GetLastChangeTime(METADATA_HANDLE, LPCWSTR, PFILETIME, BOOL) override;
    HRESULT STDMETHODCALLTYPE KeyExchangePhase1() override;
    HRESULT STDMETHODCALLTYPE KeyExchangePhase2() override;
    HRESULT STDMETHODCALLTYPE Backup(LPCWSTR, DWORD, DWORD) override;
    HRESULT STDMETHODCALLTYPE Restore(LPCWSTR, DWORD, DWORD) override;
    HRESULT STDMETHODCALLTYPE EnumBackups(LPWSTR, DWORD*, PFILETIME, DWORD) override;
    HRESULT STDMETHODCALLTYPE DeleteBackup(LPCWSTR, DWORD) override;
    HRESULT STDMETHODCALLTYPE UnmarshalInterface(IMSAdminBaseW**) override;
    HRESULT STDMETHODCALLTYPE GetServerGuid() override;

  private:
    ~AdminBase() = default;  // by Release only

    // The key that `handle` and `path` designate, provided the handle grants `needed`;
    // *handleDepth, when asked for, is the depth of the handle's own key.
    HRESULT resolve(METADATA_HANDLE handle, LPCWSTR path, DWORD needed, KeyPath* key,
                    size_t* handleDepth = nullptr) const;

    // What the methods that name a key share: resolves it, then calls body(key, depth of
    // the handle's own key) unless that failed.
    template <typename Body>
    HRESULT atKey(METADATA_HANDLE handle, LPCWSTR path, DWORD needed, Body body) const noexcept {
        return guarded([&] {
            KeyPath key;
            size_t handleDepth = 0;
            HRESULT result = resolve(handle, path, needed, &key, &handleDepth);
            return FAILED(result) ? result : body(key, handleDepth);
        });
    }

    std::atomic<ULONG> references_{1};
    OpenHandles handles_;
};

}  // namespace standin::metabase

#endif  // STANDIN_WIN32_METABASE_ADMIN_BASE_H
