// Metabase client code as the product writes it, one source for both platforms: it must
// compile against Windows' headers (mingw-w64) and against the Linux stand-in's alike.
// Nothing runs it; Wine has no metabase.
#include <initguid.h>
#include <windows.h>
#include <objbase.h>
#include <iadmw.h>
#include <iiscnfg.h>

#include <cstdio>

namespace {

// Wide literals differ between the platforms (wchar_t is 16 bits on Windows only), so the
// product builds its metabase paths from narrow ASCII text.
void widen(const char* text, WCHAR* out, size_t capacity) {
    size_t i = 0;
    for (; text[i] != '\0' && i + 1 < capacity; ++i) {
        out[i] = WCHAR(text[i]);
    }
    out[i] = 0;
}

HRESULT listSites(IMSAdminBase* admin) {
    WCHAR path[METADATA_MAX_NAME_LEN];
    widen("/LM/W3SVC", path, METADATA_MAX_NAME_LEN);
    WCHAR name[METADATA_MAX_NAME_LEN];
    HRESULT hr = S_OK;
    for (DWORD index = 0;
         SUCCEEDED(hr = admin->EnumKeys(METADATA_MASTER_ROOT_HANDLE, path, name, index)); ++index) {
        std::printf("site key %lu\n", static_cast<unsigned long>(index));
    }
    return hr == HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS) ? S_OK : hr;
}

HRESULT readLoadOrder(IMSAdminBase* admin, METADATA_HANDLE filters) {
    BYTE buffer[1024];
    METADATA_RECORD record = {};
    record.dwMDIdentifier = MD_FILTER_LOAD_ORDER;
    record.dwMDAttributes = METADATA_INHERIT | METADATA_PARTIAL_PATH;
    record.dwMDUserType = IIS_MD_UT_SERVER;
    record.dwMDDataType = STRING_METADATA;
    record.dwMDDataLen = sizeof buffer;
    record.pbMDData = buffer;
    DWORD required = 0;
    HRESULT hr = admin->GetData(filters, nullptr, &record, &required);
    if (hr == static_cast<HRESULT>(MD_ERROR_DATA_NOT_FOUND)) {
        return S_FALSE;
    }
    return hr;
}

HRESULT enableFilter(IMSAdminBase* admin, METADATA_HANDLE filters) {
    WCHAR name[METADATA_MAX_NAME_LEN];
    widen("Brevant_ISAPI", name, METADATA_MAX_NAME_LEN);
    DWORD enabled = TRUE;
    METADATA_RECORD record = {};
    record.dwMDIdentifier = MD_FILTER_ENABLED;
    record.dwMDAttributes = METADATA_NO_ATTRIBUTES;
    record.dwMDUserType = IIS_MD_UT_SERVER;
    record.dwMDDataType = DWORD_METADATA;
    record.dwMDDataLen = sizeof enabled;
    record.pbMDData = reinterpret_cast<unsigned char*>(&enabled);
    return admin->SetData(filters, name, &record);
}

}  // namespace

int main() {
    HRESULT hr = CoInitialize(nullptr);
    if (FAILED(hr)) {
        return 1;
    }
    IMSAdminBase* admin = nullptr;
    hr = CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_ALL, IID_IMSAdminBase,
                          reinterpret_cast<void**>(&admin));
    if (SUCCEEDED(hr)) {
        hr = listSites(admin);
        WCHAR path[METADATA_MAX_NAME_LEN];
        widen("/LM/W3SVC/Filters", path, METADATA_MAX_NAME_LEN);
        METADATA_HANDLE filters = 0;
        if (SUCCEEDED(hr)) {
            hr = admin->OpenKey(METADATA_MASTER_ROOT_HANDLE, path,
                                METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE, 5000,
                                &filters);
        }
        if (SUCCEEDED(hr)) {
            hr = readLoadOrder(admin, filters);
            if (SUCCEEDED(hr)) {
                hr = enableFilter(admin, filters);
            }
            admin->CloseKey(filters);
        }
        if (SUCCEEDED(hr)) {
            hr = admin->SaveData();
        }
        admin->Release();
    }
    CoUninitialize();
    return SUCCEEDED(hr) ? 0 : 1;
}
