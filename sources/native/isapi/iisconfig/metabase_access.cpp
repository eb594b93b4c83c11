// The one source that defines the metabase's GUIDs: initguid.h comes first here only.
#include <initguid.h>
#include <windows.h>
#include <objbase.h>
#include <iadmw.h>

#include "native/isapi/iisconfig/metabase_access.h"

namespace brevant::isapi::iisconfig {

namespace {

// In-process server, in-process handler and local server: wherever the admin object lives.
constexpr DWORD kServerContexts =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
constexpr DWORD kOpenTimeoutMs = 200;
const WCHAR kKeyItself[] = {0};  // the path of the open key itself

}  // namespace

const HRESULT kBufferTooSmall = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

WideText widen(const std::string& text) {
    WideText wide;
    for (unsigned char c : text) {
        wide.push_back(static_cast<WCHAR>(c));
    }
    return wide;
}

std::string narrow(const WCHAR* text, std::size_t count) {
    std::string result;
    for (std::size_t i = 0; i < count && text[i] != 0; ++i) {
        result.push_back(static_cast<char>(text[i] & 0xFF));
    }
    return result;
}

AdminBase::~AdminBase() {
    if (admin_ != nullptr) {
        admin_->Release();
    }
}

bool AdminBase::create(HRESULT* failure) {
    IMSAdminBase* created = nullptr;
    HRESULT result = CoCreateInstance(CLSID_MSAdminBase, nullptr, kServerContexts, IID_IMSAdminBase,
                                      reinterpret_cast<void**>(&created));
    if (SUCCEEDED(result) && created == nullptr) {
        result = E_NOINTERFACE;
    }
    if (FAILED(result)) {
        if (failure != nullptr) {
            *failure = result;
        }
        return false;
    }
    admin_ = created;
    return true;
}

HRESULT AdminBase::getData(const std::string& path, const MetadataItem& item, void* buffer,
                           DWORD length, DWORD* required) const {
    METADATA_RECORD record = {};
    record.dwMDIdentifier = item.identifier;
    record.dwMDAttributes = item.attributes;
    record.dwMDUserType = item.userType;
    record.dwMDDataType = item.dataType;
    record.dwMDDataLen = length;
    record.pbMDData = static_cast<unsigned char*>(buffer);
    WideText widePath = widen(path);
    return admin_->GetData(METADATA_MASTER_ROOT_HANDLE, widePath.c_str(), &record, required);
}

HRESULT MetabaseKey::open(const std::string& path, DWORD permissions) {
    WideText widePath = widen(path);
    METADATA_HANDLE handle = 0;
    HRESULT result = admin_.get()->OpenKey(METADATA_MASTER_ROOT_HANDLE, widePath.c_str(),
                                           permissions, kOpenTimeoutMs, &handle);
    if (SUCCEEDED(result)) {
        handle_ = handle;
        open_ = true;
    }
    return result;
}

void MetabaseKey::close() {
    if (open_) {
        admin_.get()->CloseKey(handle_);
        open_ = false;
    }
}

bool MetabaseKey::subkey(DWORD index, std::string* name) const {
    WCHAR wide[METADATA_MAX_NAME_LEN] = {};
    if (FAILED(admin_.get()->EnumKeys(handle_, kKeyItself, wide, index))) {
        return false;
    }
    *name = narrow(wide, METADATA_MAX_NAME_LEN);
    return true;
}

}  // namespace brevant::isapi::iisconfig
