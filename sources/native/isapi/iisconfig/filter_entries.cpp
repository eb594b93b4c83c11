// The steps of filter registration on the open key /LM/W3SVC/Filters: findFilterEntry,
// addFilterEntry and removeFilterEntry, and the reads and writes of the key's properties in
// fixed sizes.
#include <windows.h>
#include <iadmw.h>
#include <iiscnfg.h>

#include <algorithm>
#include <cstddef>
#include <string>

#include "native/isapi/iisconfig/filter_entries.h"
#include "native/isapi/iisconfig/filter_messages.h"
#include "native/isapi/iisconfig/metabase_access.h"

namespace brevant::isapi::iisconfig {

namespace {

// A string is read into 2048 bytes of which 1024 are offered to the metabase; one is
// written from 1024 zero-filled characters, with its zero.
constexpr DWORD kReadBufferBytes = 2048;
constexpr DWORD kReadDataBytes = 1024;
constexpr std::size_t kWriteChars = 1024;

constexpr char kKeyItself[] = "";  // the sub-path of the open key itself

// The sub-path of the filter's key, and its item in the load order.
const std::string kFilterKey = std::string("/") + kFilterName;
const std::string kLoadOrderItem = std::string(",") + kFilterName;

// The Filters key as one step sees it: the handle, and the admin base, on which the step
// holds a reference of its own while it runs.
class FiltersKey {
  public:
    FiltersKey(IMSAdminBase* admin, METADATA_HANDLE handle) : admin_(admin), handle_(handle) {
        admin_->AddRef();
    }
    ~FiltersKey() { admin_->Release(); }
    FiltersKey(const FiltersKey&) = delete;
    FiltersKey& operator=(const FiltersKey&) = delete;

    // The name of the subkey at `index`; false when EnumKeys fails, as it does past the last.
    bool subkey(DWORD index, WideText* name) const {
        WCHAR buffer[METADATA_MAX_NAME_LEN] = {};
        if (FAILED(admin_->EnumKeys(handle_, widen(kKeyItself).c_str(), buffer, index))) {
            return false;
        }
        buffer[METADATA_MAX_NAME_LEN - 1] = 0;
        *name = buffer;
        return true;
    }

    // A STRING property of the key at `subPath` (kKeyItself, or "/" and a subkey's name),
    // narrowed.
    HRESULT getString(const WideText& subPath, DWORD identifier, std::string* text) const {
        WCHAR buffer[kReadBufferBytes / sizeof(WCHAR)] = {};
        METADATA_RECORD record = recordOf(identifier, STRING_METADATA);
        record.dwMDDataLen = kReadDataBytes;
        record.pbMDData = reinterpret_cast<unsigned char*>(buffer);
        DWORD required = 0;
        HRESULT result = admin_->GetData(handle_, subPath.c_str(), &record, &required);
        if (SUCCEEDED(result)) {
            *text = narrow(buffer, kReadDataBytes / sizeof(WCHAR));
        }
        return result;
    }

    // A text that does not fit the write buffer with its zero is not written: the metabase
    // would hold a path that names no file.
    HRESULT setString(const WideText& subPath, DWORD identifier, const std::string& text) const {
        WCHAR buffer[kWriteChars] = {};
        if (text.size() >= kWriteChars) {
            return kBufferTooSmall;
        }
        const WideText wide = widen(text);
        std::copy(wide.begin(), wide.end(), buffer);
        const DWORD length = static_cast<DWORD>((wide.size() + 1) * sizeof(WCHAR));
        return setData(subPath, identifier, STRING_METADATA, buffer, length);
    }

    HRESULT setDword(const WideText& subPath, DWORD identifier, DWORD value) const {
        return setData(subPath, identifier, DWORD_METADATA, &value, sizeof value);
    }

    HRESULT addKey(const WideText& subPath) const {
        return admin_->AddKey(handle_, subPath.c_str());
    }
    HRESULT deleteKey(const WideText& subPath) const {
        return admin_->DeleteKey(handle_, subPath.c_str());
    }

  private:
    // The filters' properties: server settings, no attributes.
    static METADATA_RECORD recordOf(DWORD identifier, DWORD dataType) {
        METADATA_RECORD record = {};
        record.dwMDIdentifier = identifier;
        record.dwMDAttributes = METADATA_NO_ATTRIBUTES;
        record.dwMDUserType = IIS_MD_UT_SERVER;
        record.dwMDDataType = dataType;
        return record;
    }

    HRESULT setData(const WideText& subPath, DWORD identifier, DWORD dataType, void* data,
                    DWORD length) const {
        METADATA_RECORD record = recordOf(identifier, dataType);
        record.dwMDDataLen = length;
        record.pbMDData = static_cast<unsigned char*>(data);
        return admin_->SetData(handle_, subPath.c_str(), &record);
    }

    IMSAdminBase* admin_;
    METADATA_HANDLE handle_;
};

// False, after the failure message naming `call`, when `result` is a failure.
bool succeeded(HRESULT result, const char* call) {
    if (FAILED(result)) {
        reportFailure(call, result);
        return false;
    }
    return true;
}

std::string narrowName(const WideText& name) {
    return narrow(name.c_str(), name.size());
}

bool namesTheFilter(const std::string& text) {
    return text.find(kFilterName) != std::string::npos;
}

// The load order less the item ",Brevant" where it stands last; "" when it does not stand
// in the order, or when nothing else does.
std::string withoutLastItem(const std::string& order) {
    const std::size_t itemLength = kLoadOrderItem.size();
    std::string result;
    for (std::size_t position = 0; position + itemLength <= order.size(); ++position) {
        if (order.compare(position, itemLength, kLoadOrderItem) == 0) {
            result = order.substr(0, position) + order.substr(position + itemLength);
        }
    }
    return result;
}

void reportNotFound() {
    debugOut({kMessageWord, ": Didn't find metabase filter entry for ", kFilterName, ".\n"});
}

}  // namespace

bool findFilterEntry(IMSAdminBase* admin, METADATA_HANDLE filters) {
    const FiltersKey key(admin, filters);
    bool found = false;
    WideText name;
    for (DWORD index = 0; key.subkey(index, &name); ++index) {
        std::string imagePath;
        if (FAILED(key.getString(widen("/") + name, MD_FILTER_IMAGE_PATH, &imagePath))) {
            continue;
        }
        debugOut({kMessageWord, ": ", narrowName(name).c_str(), " = ", imagePath.c_str(), "\n"});
        found = found || namesTheFilter(imagePath);  // the enumeration goes on to the end
    }
    if (!found) {
        reportNotFound();
        return false;
    }
    std::string order;
    if (succeeded(key.getString(widen(kKeyItself), MD_FILTER_LOAD_ORDER, &order),
                  "GetData (filter load order)")) {
        debugOut({kMessageWord, ": Current Filter Load Order = ", order.c_str(), "\n"});
    }
    debugOut({kMessageWord, ": Found metabase filter entry for ", kFilterName, ".\n"});
    return true;
}

bool addFilterEntry(IMSAdminBase* admin, METADATA_HANDLE filters, const char* filterPath) {
    const FiltersKey key(admin, filters);
    const WideText filterKey = widen(kFilterKey);
    const WideText itself = widen(kKeyItself);
    if (!succeeded(key.addKey(filterKey), "AddKey") ||
        !succeeded(key.setString(filterKey, MD_FILTER_IMAGE_PATH, filterPath),
                   "SetData (filter path)") ||
        !succeeded(key.setDword(filterKey, MD_FILTER_ENABLED, 1), "SetData (enabled)")) {
        return false;
    }
    std::string order;
    if (!succeeded(key.getString(itself, MD_FILTER_LOAD_ORDER, &order),
                   "GetData (filter load order)")) {
        return false;
    }
    debugOut({kMessageWord, ": Current Filter Load Order = ", order.c_str(), "\n"});
    order += kLoadOrderItem;  // whatever the order holds: the filter comes last
    debugOut({kMessageWord, ": New Filter Load Order = ", order.c_str(), "\n"});
    return succeeded(key.setString(itself, MD_FILTER_LOAD_ORDER, order),
                     "SetData (filter load order)");
}

bool removeFilterEntry(IMSAdminBase* admin, METADATA_HANDLE filters) {
    const FiltersKey key(admin, filters);
    bool found = false;
    for (DWORD index = 0;; ++index) {
        debugOut({"Retrieving filter name\n"});
        WideText name;
        if (!key.subkey(index, &name)) {
            break;
        }
        const std::string narrowed = narrowName(name);
        debugOut(
            {"Retrieved filter name\n", kMessageWord, ": filter name = ", narrowed.c_str(), "\n"});
        found = found || namesTheFilter(narrowed);
    }
    if (!found) {
        reportNotFound();
        return true;  // nothing to remove
    }
    if (!succeeded(key.deleteKey(widen(kFilterKey)), "DeleteKey")) {
        return false;
    }
    debugOut({kMessageWord, ": Removed metabase filter entry for ", kFilterName, ".\n"});
    const WideText itself = widen(kKeyItself);
    std::string order;
    if (!succeeded(key.getString(itself, MD_FILTER_LOAD_ORDER, &order),
                   "GetData (filter load order)")) {
        return false;
    }
    debugOut({kMessageWord, ": Current Filter Load Order = ", order.c_str(), "\n"});
    const std::string newOrder = withoutLastItem(order);
    if (newOrder.empty()) {
        return true;  // the item was not there, or nothing else was: the order stays
    }
    debugOut({kMessageWord, ": New Filter Load Order = ", newOrder.c_str(), "\n"});
    return succeeded(key.setString(itself, MD_FILTER_LOAD_ORDER, newOrder),
                     "SetData (filter load order)");
}

}  // namespace brevant::isapi::iisconfig
