#include "stand-ins/isapihost/host/metabase_session.h"

#include <cstdio>
#include <cstring>

namespace isapihost {

namespace {

constexpr DWORD kOpenTimeoutMs = 5000;

std::string hresultText(HRESULT result) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(result));
    return text;
}

// Splits "/LM/W3SVC/1/ROOT" into its parent "/LM/W3SVC/1" and the name "ROOT".
void splitPath(const std::string& path, std::string* parent, std::string* name) {
    auto slash = path.find_last_of('/');
    *parent = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
    *name = path.substr(slash == std::string::npos ? 0 : slash + 1);
}

}  // namespace

std::basic_string<WCHAR> widen(const std::string& text) {
    std::basic_string<WCHAR> wide;
    wide.reserve(text.size());
    for (unsigned char c : text) {
        wide.push_back(static_cast<WCHAR>(c));
    }
    return wide;
}

std::string narrow(const WCHAR* text) {
    std::string result;
    for (; text != nullptr && *text != 0; ++text) {
        result.push_back(static_cast<char>(*text & 0xFF));
    }
    return result;
}

MetabaseSession::~MetabaseSession() {
    if (admin_ != nullptr) {
        admin_->Release();
    }
}

bool MetabaseSession::connect(std::string* error) {
    HRESULT result = CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_ALL, IID_IMSAdminBase,
                                      reinterpret_cast<void**>(&admin_));
    if (FAILED(result)) {
        admin_ = nullptr;
        *error = "cannot create IMSAdminBase (" + hresultText(result) + ")";
        return false;
    }
    return true;
}

std::vector<std::string> MetabaseSession::subkeys(const std::string& path) {
    std::vector<std::string> names;
    std::basic_string<WCHAR> widePath = widen(path);
    WCHAR name[METADATA_MAX_NAME_LEN];
    for (DWORD index = 0;; ++index) {
        if (FAILED(admin_->EnumKeys(METADATA_MASTER_ROOT_HANDLE, widePath.c_str(), name, index))) {
            break;
        }
        name[METADATA_MAX_NAME_LEN - 1] = 0;
        names.push_back(narrow(name));
    }
    return names;
}

bool MetabaseSession::getRaw(const std::string& path, DWORD id, DWORD attributes, DWORD dataType,
                             std::vector<unsigned char>* data) {
    std::basic_string<WCHAR> widePath = widen(path);
    data->assign(256, 0);
    for (int attempt = 0; attempt < 2; ++attempt) {
        METADATA_RECORD record{};
        record.dwMDIdentifier = id;
        record.dwMDAttributes = attributes;
        record.dwMDUserType = ALL_METADATA;
        record.dwMDDataType = dataType;
        record.dwMDDataLen = static_cast<DWORD>(data->size());
        record.pbMDData = data->data();
        DWORD required = 0;
        HRESULT result =
            admin_->GetData(METADATA_MASTER_ROOT_HANDLE, widePath.c_str(), &record, &required);
        if (SUCCEEDED(result)) {
            data->resize(record.dwMDDataLen);
            return true;
        }
        if (result != HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)) {
            return false;
        }
        data->assign(required, 0);
    }
    return false;
}

bool MetabaseSession::getString(const std::string& path, DWORD id, DWORD attributes,
                                std::string* value) {
    std::vector<unsigned char> data;
    if (!getRaw(path, id, attributes, STRING_METADATA, &data)) {
        return false;
    }
    data.resize(data.size() + sizeof(WCHAR), 0);  // a terminator even for a stored one without
    *value = narrow(reinterpret_cast<const WCHAR*>(data.data()));
    return true;
}

bool MetabaseSession::getDword(const std::string& path, DWORD id, DWORD attributes, DWORD* value) {
    std::vector<unsigned char> data;
    if (!getRaw(path, id, attributes, DWORD_METADATA, &data) || data.size() != sizeof(DWORD)) {
        return false;
    }
    std::memcpy(value, data.data(), sizeof(DWORD));
    return true;
}

bool MetabaseSession::getMultiString(const std::string& path, DWORD id, DWORD attributes,
                                     std::vector<std::string>* values) {
    std::vector<unsigned char> data;
    if (!getRaw(path, id, attributes, MULTISZ_METADATA, &data)) {
        return false;
    }
    values->clear();
    size_t count = data.size() / sizeof(WCHAR);
    std::vector<WCHAR> wide(count + 1, 0);
    std::memcpy(wide.data(), data.data(), count * sizeof(WCHAR));
    for (size_t i = 0; i < count && wide[i] != 0;) {
        std::string entry = narrow(&wide[i]);
        i += entry.size() + 1;
        values->push_back(entry);
    }
    return true;
}

bool MetabaseSession::setRaw(const std::string& path, METADATA_RECORD* record, std::string* error) {
    std::string parent, name;
    splitPath(path, &parent, &name);
    METADATA_HANDLE handle = 0;
    HRESULT result = admin_->OpenKey(METADATA_MASTER_ROOT_HANDLE, widen("/").c_str(),
                                     METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE,
                                     kOpenTimeoutMs, &handle);
    if (FAILED(result)) {
        *error = "cannot open the metabase for writing (" + hresultText(result) + ")";
        return false;
    }
    std::basic_string<WCHAR> widePath = widen(path);
    result = admin_->AddKey(handle, widePath.c_str());
    if (FAILED(result) && result != HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)) {
        *error = "cannot create " + path + " (" + hresultText(result) + ")";
        admin_->CloseKey(handle);
        return false;
    }
    result = admin_->SetData(handle, widePath.c_str(), record);
    admin_->CloseKey(handle);
    if (FAILED(result)) {
        *error = "cannot set property " + std::to_string(record->dwMDIdentifier) + " of " + path +
                 " (" + hresultText(result) + ")";
        return false;
    }
    return true;
}

bool MetabaseSession::setString(const std::string& path, DWORD id, DWORD userType, DWORD attributes,
                                const std::string& value, std::string* error) {
    std::basic_string<WCHAR> wide = widen(value);
    METADATA_RECORD record{id,
                           attributes,
                           userType,
                           STRING_METADATA,
                           static_cast<DWORD>((wide.size() + 1) * sizeof(WCHAR)),
                           reinterpret_cast<unsigned char*>(wide.data()),
                           0};
    return setRaw(path, &record, error);
}

bool MetabaseSession::setDword(const std::string& path, DWORD id, DWORD userType, DWORD attributes,
                               DWORD value, std::string* error) {
    METADATA_RECORD record{id,
                           attributes,
                           userType,
                           DWORD_METADATA,
                           sizeof value,
                           reinterpret_cast<unsigned char*>(&value),
                           0};
    return setRaw(path, &record, error);
}

bool MetabaseSession::setMultiString(const std::string& path, DWORD id, DWORD userType,
                                     DWORD attributes, const std::vector<std::string>& values,
                                     std::string* error) {
    std::basic_string<WCHAR> wide;
    for (const std::string& value : values) {
        wide += widen(value);
        wide.push_back(0);
    }
    wide.push_back(0);
    METADATA_RECORD record{id,
                           attributes,
                           userType,
                           MULTISZ_METADATA,
                           static_cast<DWORD>(wide.size() * sizeof(WCHAR)),
                           reinterpret_cast<unsigned char*>(wide.data()),
                           0};
    return setRaw(path, &record, error);
}

}  // namespace isapihost
