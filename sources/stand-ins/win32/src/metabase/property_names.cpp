#include "stand-ins/win32/src/metabase/property_names.h"

#include <iadmw.h>
#include <iiscnfg.h>

#include <cstdio>

#include "stand-ins/win32/src/metabase/metabase_tree.h"
#include "stand-ins/win32/src/text_scanning.h"

namespace standin::metabase {

namespace {

struct Named {
    const char* name;
    DWORD value;
};

#define STANDIN_NAMED(identifier) \
    Named {                       \
#identifier, identifier   \
    }

constexpr Named kIdentifiers[] = {
    STANDIN_NAMED(MD_MAX_BANDWIDTH),
    STANDIN_NAMED(MD_KEY_TYPE),
    STANDIN_NAMED(MD_SERVER_COMMAND),
    STANDIN_NAMED(MD_CONNECTION_TIMEOUT),
    STANDIN_NAMED(MD_MAX_CONNECTIONS),
    STANDIN_NAMED(MD_SERVER_COMMENT),
    STANDIN_NAMED(MD_SERVER_STATE),
    STANDIN_NAMED(MD_SERVER_AUTOSTART),
    STANDIN_NAMED(MD_SERVER_SIZE),
    STANDIN_NAMED(MD_SERVER_LISTEN_BACKLOG),
    STANDIN_NAMED(MD_SERVER_LISTEN_TIMEOUT),
    STANDIN_NAMED(MD_SERVER_BINDINGS),
    STANDIN_NAMED(MD_SECURE_BINDINGS),
    STANDIN_NAMED(MD_FILTER_LOAD_ORDER),
    STANDIN_NAMED(MD_FILTER_IMAGE_PATH),
    STANDIN_NAMED(MD_FILTER_STATE),
    STANDIN_NAMED(MD_FILTER_ENABLED),
    STANDIN_NAMED(MD_FILTER_FLAGS),
    STANDIN_NAMED(MD_FILTER_DESCRIPTION),
    STANDIN_NAMED(MD_FILTER_ENABLE_CACHE),
    STANDIN_NAMED(MD_IN_PROCESS_ISAPI_APPS),
    STANDIN_NAMED(MD_APP_FRIENDLY_NAME),
    STANDIN_NAMED(MD_APP_ROOT),
    STANDIN_NAMED(MD_APP_ISOLATED),
    STANDIN_NAMED(MD_VR_PATH),
    STANDIN_NAMED(MD_VR_USERNAME),
    STANDIN_NAMED(MD_VR_PASSWORD),
    STANDIN_NAMED(MD_LOG_TYPE),
    STANDIN_NAMED(MD_LOGFILE_DIRECTORY),
    STANDIN_NAMED(MD_AUTHORIZATION),
    STANDIN_NAMED(MD_REALM),
    STANDIN_NAMED(MD_HTTP_EXPIRES),
    STANDIN_NAMED(MD_HTTP_CUSTOM),
    STANDIN_NAMED(MD_DIRECTORY_BROWSING),
    STANDIN_NAMED(MD_DEFAULT_LOAD_FILE),
    STANDIN_NAMED(MD_CUSTOM_ERROR),
    STANDIN_NAMED(MD_HTTP_REDIRECT),
    STANDIN_NAMED(MD_LOGON_METHOD),
    STANDIN_NAMED(MD_SCRIPT_MAPS),
    STANDIN_NAMED(MD_MIME_MAP),
    STANDIN_NAMED(MD_ACCESS_PERM),
    STANDIN_NAMED(MD_ANONYMOUS_USER_NAME),
    STANDIN_NAMED(MD_ANONYMOUS_PWD),
    STANDIN_NAMED(MD_DONT_LOG),
    STANDIN_NAMED(MD_SSL_ACCESS_PERM),
    STANDIN_NAMED(MD_ALLOW_KEEPALIVES),
};

constexpr Named kUserTypes[] = {
    {"SERVER", IIS_MD_UT_SERVER},
    {"FILE", IIS_MD_UT_FILE},
    {"WAM", IIS_MD_UT_WAM},
    {"APP", ASP_MD_UT_APP},
};

constexpr Named kAttributes[] = {
    {"INHERIT", METADATA_INHERIT},
    {"PARTIAL_PATH", METADATA_PARTIAL_PATH},
    {"SECURE", METADATA_SECURE},
    {"REFERENCE", METADATA_REFERENCE},
    {"VOLATILE", METADATA_VOLATILE},
    {"ISINHERITED", METADATA_ISINHERITED},
    {"INSERT_PATH", METADATA_INSERT_PATH},
    {"LOCAL_MACHINE_ONLY", METADATA_LOCAL_MACHINE_ONLY},
    {"NON_SECURE_ONLY", METADATA_NON_SECURE_ONLY},
};

constexpr Named kDataTypes[] = {
    {"DWORD", DWORD_METADATA},       {"STRING", STRING_METADATA},   {"BINARY", BINARY_METADATA},
    {"EXPANDSZ", EXPANDSZ_METADATA}, {"MULTISZ", MULTISZ_METADATA},
};

template <size_t N>
const Named* byValue(const Named (&table)[N], DWORD value) {
    for (const Named& entry : table) {
        if (entry.value == value) {
            return &entry;
        }
    }
    return nullptr;
}

template <size_t N>
const Named* byName(const Named (&table)[N], std::string_view name) {
    for (const Named& entry : table) {
        if (equalIgnoringCase(entry.name, name)) {
            return &entry;
        }
    }
    return nullptr;
}

// A name from the table or a number.
template <size_t N>
bool parseNamed(const Named (&table)[N], std::string_view text, DWORD* value) {
    if (const Named* entry = byName(table, text)) {
        *value = entry->value;
        return true;
    }
    return parseNumber(text, value);
}

std::string hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", unsigned(value));
    return text;
}

}  // namespace

bool parseNumber(std::string_view text, DWORD* value) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return false;
    }
    uint64_t result = 0;
    for (char c : text) {
        int value = hexDigitValue(c);
        unsigned digit = value < 0 ? 16 : unsigned(value);
        if (digit >= base) {
            return false;
        }
        result = result * base + digit;
        if (result > 0xFFFFFFFFu) {
            return false;
        }
    }
    *value = DWORD(result);
    return true;
}

std::string formatIdentifier(DWORD identifier) {
    std::string number = std::to_string(identifier);
    const Named* entry = byValue(kIdentifiers, identifier);
    return entry == nullptr ? number : std::string(entry->name) + "=" + number;
}

bool parseIdentifier(std::string_view text, DWORD* identifier) {
    size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        return parseNamed(kIdentifiers, text, identifier);
    }
    std::string_view name = text.substr(0, equals);
    DWORD number = 0;
    if (name.empty() || !parseNumber(text.substr(equals + 1), &number)) {
        return false;
    }
    // A name the stand-in does not know is the writer's own comment.
    const Named* entry = byName(kIdentifiers, name);
    if (entry != nullptr && entry->value != number) {
        return false;
    }
    *identifier = number;
    return true;
}

std::string formatUserType(DWORD userType) {
    const Named* entry = byValue(kUserTypes, userType);
    return entry == nullptr ? std::to_string(userType) : entry->name;
}

bool parseUserType(std::string_view text, DWORD* userType) {
    return parseNamed(kUserTypes, text, userType);
}

std::string formatAttributes(DWORD attributes) {
    std::string text;
    DWORD unnamed = attributes;
    for (const Named& entry : kAttributes) {
        if ((attributes & entry.value) != 0) {
            text += text.empty() ? "" : "|";
            text += entry.name;
            unnamed &= ~entry.value;
        }
    }
    if (unnamed != 0) {
        text += text.empty() ? "" : "|";
        text += hex(unnamed);
    }
    return text.empty() ? "NONE" : text;
}

bool parseAttributes(std::string_view text, DWORD* attributes) {
    if (equalIgnoringCase(text, "NONE")) {
        *attributes = METADATA_NO_ATTRIBUTES;
        return true;
    }
    DWORD result = 0;
    for (;;) {
        size_t bar = text.find('|');
        DWORD bits = 0;
        if (!parseNamed(kAttributes, text.substr(0, bar), &bits)) {
            return false;
        }
        result |= bits;
        if (bar == std::string_view::npos) {
            break;
        }
        text.remove_prefix(bar + 1);
    }
    *attributes = result;
    return true;
}

const char* dataTypeName(DWORD dataType) {
    const Named* entry = byValue(kDataTypes, dataType);
    return entry == nullptr ? "" : entry->name;
}

bool parseDataType(std::string_view text, DWORD* dataType) {
    const Named* entry = byName(kDataTypes, text);
    if (entry == nullptr) {
        return false;
    }
    *dataType = entry->value;
    return true;
}

}  // namespace standin::metabase
