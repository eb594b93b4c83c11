// brevant.properties: finding the file beside the module, the line syntax, the keys, and
// the defaults for what the file leaves out. The values themselves are parsed in
// property_values.cpp.
#include "native/adapter/adapter_properties.h"
#include "native/adapter/adapter_properties_internal.h"

#include <algorithm>
#include <cstring>

#include "native/adapter/adapter_groups.h"
#include "native/common/basics/path_separator.h"
#include "native/common/basics/ascii_text.h"
#include "native/adapter/debug_output.h"
#include "native/common/basics/owned_handles.h"
#include "native/adapter/property_values.h"

namespace brevant::adapter {

namespace {

constexpr char kModuleName[] = "Brevant_Adapter.dll";
constexpr char kPropertiesName[] = "brevant.properties";
constexpr DWORD kModulePathSize = 256;  // 255 passed: the last byte stays the terminator
constexpr DWORD kReadPieceSize = 512;   // 511 bytes and the NUL

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The index of the group of that name, appended when new; -1 when the name or the table
// is beyond the limits of the model.
int groupIndex(GroupTable& table, const std::string& name, const PropertySource& source) {
    if (name.size() >= kGroupNameSize) {
        debugOutf(
            "Brevant: brevant.properties line %d: group name longer than %d characters; "
            "key ignored: %.256s\n",
            source.line, static_cast<int>(kGroupNameSize - 1), source.key.c_str());
        return -1;
    }
    for (int i = 0; i < table.groupCount; ++i) {
        if (name == table.groups[i].name) {
            return i;
        }
    }
    if (table.groupCount >= kMaxGroups) {
        debugOutf("Brevant: brevant.properties line %d: more than %d groups; key ignored: %.256s\n",
                  source.line, kMaxGroups, source.key.c_str());
        return -1;
    }
    AdapterGroup& group = table.groups[table.groupCount];
    std::memcpy(group.name, name.c_str(), name.size() + 1);
    return table.groupCount++;
}

void setAdmin(GroupTable& table, std::string_view value) {
    table.adminEnabled = value == "enabled";
    debugOut(table.adminEnabled ? "Brevant admin is enabled\n" : "Brevant admin is disabled\n");
}

// The status page's path: the administrator's own, but never one the admin page's URLs take.
void setStatusPath(GroupTable& table, const std::string& value, int lineNumber) {
    constexpr std::string_view kAdminPath = "/servlet/admin";
    std::string_view path(value);
    bool underAdmin = path.substr(0, kAdminPath.size()) == kAdminPath &&
                      (path.size() == kAdminPath.size() || path[kAdminPath.size()] == '/');
    if (path[0] != '/' || underAdmin) {
        debugOutf(
            "Brevant: brevant.properties line %d: brevant.status must be a URL path that "
            "begins with \"/\" and is not under /servlet/admin; ignored: %.256s\n",
            lineNumber, value.c_str());
        return;
    }
    table.statusPath = value;
    debugOutf("Brevant status page at %.256s\n", value.c_str());
}

// A key of the form prefix.group.property; the prefix is not examined.
void setGroupProperty(GroupTable& table, const PropertySource& source, const std::string& value) {
    const std::string& key = source.key;
    size_t first = key.find('.');
    size_t last = key.rfind('.');
    if (first == std::string::npos || last - first < 2 || key.size() - last < 3) {
        return;  // no group name, or a property of fewer than two characters
    }
    int index = groupIndex(
        table, ascii::lowerCase(std::string_view(key).substr(first + 1, last - first - 1)), source);
    if (index < 0) {
        return;
    }
    AdapterGroup& group = table.groups[index];
    std::string property = ascii::lowerCase(std::string_view(key).substr(last + 1));
    if (property == "instances") {
        parseInstances(group, value, source);
    } else if (property == "retrytime") {
        parseRetryTime(group, value);
    } else if (property == "aliases") {
        parseAliases(group, value);
    } else if (property == "servers" || property == "hosts") {
        parseServers(group, value);
    } else if (property == "applications") {
        parseApplications(group, value);
    } else if (property == "balance") {
        parseBalance(group, value, source);
    } else {
        parseWholeNumberProperty(group, property, value, source);
    }
}

// One line without its line end; it begins with a character that is not blank.
void parseLine(GroupTable& table, std::string_view line, int lineNumber) {
    size_t end = line.size();
    while (end > 0 && isBlank(line[end - 1])) {
        --end;
    }
    line = line.substr(0, end);
    size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals + 1 == line.size()) {
        return;  // no "=", or an empty value
    }
    // Whatever stands between a blank after the key and the "=" is ignored.
    size_t keyEnd = std::min(line.find_first_of(" \t"), equals);
    size_t valueStart = equals + 1;
    while (isBlank(line[valueStart])) {
        ++valueStart;  // stops at the last character at the latest: it is not blank
    }
    std::string_view key = line.substr(0, keyEnd);
    std::string value(line.substr(valueStart));
    if (key == "brevant.admin") {
        setAdmin(table, value);
        return;
    }
    if (key == "brevant.status") {
        setStatusPath(table, value, lineNumber);
        return;
    }
    setGroupProperty(table, PropertySource{std::string(key), lineNumber}, value);
}

}  // namespace

void parseProperties(GroupTable& table, std::string_view text) {
    size_t position = 0;
    size_t counted = 0;  // line feeds before this offset are in lineNumber
    int lineNumber = 1;
    while (true) {
        position = text.find_first_not_of(" \t\r\n", position);
        if (position == std::string_view::npos) {
            return;
        }
        lineNumber +=
            static_cast<int>(std::count(text.begin() + static_cast<ptrdiff_t>(counted),
                                        text.begin() + static_cast<ptrdiff_t>(position), '\n'));
        counted = position;
        // A line ends at CR LF or at a lone LF; a comment ends the same way.
        size_t lineFeed = text.find('\n', position);
        size_t end = lineFeed == std::string_view::npos ? text.size() : lineFeed;
        if (lineFeed != std::string_view::npos && text[lineFeed - 1] == '\r') {
            --end;  // the line starts with a character that is not CR: still inside it
        }
        if (text[position] != '#') {
            parseLine(table, text.substr(position, end - position), lineNumber);
        }
        if (lineFeed == std::string_view::npos) {
            return;
        }
        position = lineFeed + 1;
    }
}

bool readPropertiesFile(const std::string& path, std::string* text) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) {
        return false;
    }
    char piece[kReadPieceSize];
    DWORD count = 0;
    while (ReadFile(file.get(), piece, kReadPieceSize - 1, &count, nullptr) && count > 0) {
        piece[count] = '\0';
        text->append(piece);
    }
    return true;
}

void loadProperties(GroupTable& table) {
    HMODULE module = GetModuleHandleA(kModuleName);
    if (module == nullptr) {
        debugOut("BrevantISAPIAdapter::GetFilterVersion() failed to get the module handle.\n");
        return;
    }
    char modulePath[kModulePathSize] = {};
    DWORD length = GetModuleFileNameA(module, modulePath, kModulePathSize - 1);
    // A full buffer may hold a cut path, whose folder would be the wrong one.
    if (length == 0 || length >= kModulePathSize - 1) {
        debugOut("BrevantISAPIAdapter::GetFilterVersion() failed to get path to Brevant DLL.\n");
        return;
    }
    const char* separator = std::strrchr(modulePath, kPathSeparator);
    std::string path(modulePath, separator == nullptr ? 0 : separator + 1 - modulePath);
    path += kPropertiesName;
    std::string text;
    if (!readPropertiesFile(path, &text)) {
        debugOut("BrevantISAPIAdapter::GetFilterVersion() failed to open brevant.properties.\n");
        return;
    }
    parseProperties(table, text);
}

void supplyDefaults(GroupTable& table) {
    AdapterInstance fallback;
    fallback.address = inet_addr("127.0.0.1");
    fallback.port = htons(kDefaultPort);
    fallback.state = kInstanceUp;
    fallback.entry = "127.0.0.1:8888";
    if (table.groupCount == 0) {
        debugOut("No groups were specified, using default values\n");
        AdapterGroup& group = table.groups[0];
        std::memcpy(group.name, "default", sizeof "default");
        group.instance = fallback;
        group.lastInstance = 0;
        table.groupCount = 1;
        return;
    }
    for (int i = 0; i < table.groupCount; ++i) {
        AdapterGroup& group = table.groups[i];
        if (group.lastInstance == -1) {
            group.instance = fallback;
            group.lastInstance = 0;
        }
        if (group.servers.empty()) {
            group.servers.push_back("all");
        }
    }
}

}  // namespace brevant::adapter
