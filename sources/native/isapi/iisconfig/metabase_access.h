// The metabase as the server-settings lookups and filter registration reach it:
// IMSAdminBase and its open keys in holders that release them on every way out, reads by
// full path through the master root handle, and the conversion of the metabase's UTF-16
// text to and from 8-bit text.
//
// Used on a thread that has initialised COM (the one that loads the filter, or the caller
// of the registration exports); a holder belongs to one thread and cannot be copied.
#ifndef BREVANT_ISAPI_IISCONFIG_METABASE_ACCESS_H
#define BREVANT_ISAPI_IISCONFIG_METABASE_ACCESS_H

#include <windows.h>
#include <objbase.h>
#include <iadmw.h>

#include <cstddef>
#include <string>

namespace brevant::isapi::iisconfig {

using WideText = std::basic_string<WCHAR>;

// 8-bit text as metabase text, each byte one character.
WideText widen(const std::string& text);

// Metabase text as 8-bit text, keeping the low byte of each character: up to the first
// zero, and never more than `count` characters.
std::string narrow(const WCHAR* text, std::size_t count);

// What a read asks for besides the path: the property and the types it must have.
struct MetadataItem {
    DWORD identifier;
    DWORD attributes;
    DWORD userType;
    DWORD dataType;
};

// HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER): the answer to a read that asks for the size.
extern const HRESULT kBufferTooSmall;

// Owns one IMSAdminBase and releases it when it goes.
class AdminBase {
  public:
    AdminBase() = default;
    ~AdminBase();
    AdminBase(const AdminBase&) = delete;
    AdminBase& operator=(const AdminBase&) = delete;

    // Creates the metabase's admin object; false when CoCreateInstance fails, with its
    // HRESULT in *failure when asked for.
    // REQUIRES: nothing created yet.
    bool create(HRESULT* failure = nullptr);

    // REQUIRES: create() succeeded.
    IMSAdminBase* get() const { return admin_; }

    // GetData of `item` at the full `path`, into `length` bytes at `buffer` (null with 0
    // to learn the size, which comes in *required with kBufferTooSmall).
    // REQUIRES: create() succeeded.
    HRESULT getData(const std::string& path, const MetadataItem& item, void* buffer, DWORD length,
                    DWORD* required) const;

  private:
    IMSAdminBase* admin_ = nullptr;
};

// One open metabase key; closed by close() or when the holder goes.
// REQUIRES: the AdminBase outlives the holder.
class MetabaseKey {
  public:
    explicit MetabaseKey(const AdminBase& admin) : admin_(admin) {}
    ~MetabaseKey() { close(); }
    MetabaseKey(const MetabaseKey&) = delete;
    MetabaseKey& operator=(const MetabaseKey&) = delete;

    // OpenKey of the full `path` with `permissions` (METADATA_PERMISSION_READ and/or
    // _WRITE), waiting at most 200 milliseconds for other handles to let go.
    // REQUIRES: the key is not open.
    HRESULT open(const std::string& path, DWORD permissions = METADATA_PERMISSION_READ);
    void close();

    // REQUIRES: the key is open.
    METADATA_HANDLE handle() const { return handle_; }

    // The name of the subkey at `index`; false when EnumKeys fails, as it does past the last.
    // REQUIRES: the key is open.
    bool subkey(DWORD index, std::string* name) const;

  private:
    const AdminBase& admin_;
    METADATA_HANDLE handle_ = 0;
    bool open_ = false;
};

}  // namespace brevant::isapi::iisconfig

#endif  // BREVANT_ISAPI_IISCONFIG_METABASE_ACCESS_H
