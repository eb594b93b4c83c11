// getMimeMap: the MIME map as the Java engine takes it, "type,ext;" per entry. Older IIS
// names each mapping by a value name of its InetInfo MimeMap key; newer IIS keeps a
// multi-string ".ext,type" list in the metabase. Failures are silent: the engine then
// starts with an empty map.
#include <windows.h>
#include <iadmw.h>
#include <iiscnfg.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "native/isapi/iisconfig/metabase_access.h"
#include "native/isapi/registry/registry_text.h"
#include "native/isapi/iisconfig/server_settings.h"

namespace brevant::isapi::iisconfig {

namespace {

constexpr char kMimeMapKey[] = "SYSTEM\\CurrentControlSet\\Services\\InetInfo\\Parameters\\MimeMap";
constexpr DWORD kValueNameSize = 64;

constexpr char kMimeMapPath[] = "/LM/MimeMap";
constexpr MetadataItem kMimeMapItem = {MD_MIME_MAP, METADATA_INHERIT, IIS_MD_UT_FILE,
                                       MULTISZ_METADATA};
// The fields an entry is collected in hold this many characters.
constexpr std::size_t kExtensionChars = 15;
constexpr std::size_t kTypeChars = 63;

// A value name "type,ext,,x": the part before its second comma, or the whole name when it
// has fewer commas.
std::string typeAndExtension(const char* name, DWORD length) {
    int commas = 0;
    for (DWORD i = 0; i < length; ++i) {
        if (name[i] == ',' && ++commas == 2) {
            return std::string(name, i);
        }
    }
    return std::string(name, length);
}

std::string registryMimeMap(HKEY key) {
    std::string map;
    for (DWORD index = 0;; ++index) {
        char name[kValueNameSize];
        DWORD length = kValueNameSize;
        LONG status = RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) {
            continue;  // a name longer than the buffer is no mapping we can read
        }
        if (status != ERROR_SUCCESS) {
            return map;  // past the last value, or the key cannot be read further
        }
        map += typeAndExtension(name, std::min(length, kValueNameSize - 1)) + ";";
    }
}

// One ".ext,type" entry as it is collected from the list. An entry whose extension or type
// does not fit its field is left out whole: a cut type would be sent to browsers as a
// content type that exists nowhere.
class MimeEntry {
  public:
    void add(char c) {
        if (inType_) {
            addBounded(&type_, kTypeChars, c);
        } else if (c == ',') {
            inType_ = true;
        } else if (c != '.') {  // the dot goes, wherever it stands in the extension
            addBounded(&extension_, kExtensionChars, c);
        }
    }
    // Ends the entry: appends "type,ext;" when it was whole. An entry ended before its comma
    // (no type), and the empty string ending the list, add nothing.
    void end(std::string* map) {
        if (inType_ && fits_) {
            *map += type_ + "," + extension_ + ";";
        }
        *this = MimeEntry();
    }

  private:
    void addBounded(std::string* field, std::size_t capacity, char c) {
        if (field->size() < capacity) {
            field->push_back(c);
        } else {
            fits_ = false;
        }
    }

    std::string extension_;
    std::string type_;
    bool inType_ = false;
    bool fits_ = true;
};

std::string mimeMapFromList(const std::vector<WCHAR>& list, std::size_t count) {
    std::string map;
    MimeEntry entry;
    for (std::size_t i = 0; i < count; ++i) {
        char c = static_cast<char>(list[i] & 0xFF);
        if (c == '\0') {
            entry.end(&map);
        } else {
            entry.add(c);
        }
    }
    return map;
}

std::string metabaseMimeMap() {
    AdminBase admin;
    if (!admin.create()) {
        return "";
    }
    DWORD bytes = 0;
    if (admin.getData(kMimeMapPath, kMimeMapItem, nullptr, 0, &bytes) != kBufferTooSmall) {
        return "";
    }
    std::vector<WCHAR> list((bytes + 1) / sizeof(WCHAR));
    DWORD required = 0;
    if (FAILED(admin.getData(kMimeMapPath, kMimeMapItem, list.data(), bytes, &required))) {
        return "";
    }
    return mimeMapFromList(list, bytes / sizeof(WCHAR));
}

}  // namespace

std::string getMimeMap() {
    RegistryKey key;
    if (key.open(kMimeMapKey)) {
        return registryMimeMap(key.get());  // the registry decides, even when it holds nothing
    }
    return metabaseMimeMap();
}

}  // namespace brevant::isapi::iisconfig
