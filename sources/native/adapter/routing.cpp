// Group selection for the preprocessing notification.
#include "native/adapter/routing.h"

#include <cstring>
#include <string_view>

#include "native/adapter/admin_page.h"

namespace brevant::adapter {

namespace {

constexpr std::string_view kAdminPath = "/servlet/admin";
constexpr std::string_view kAdminGroupPrefix = "/servlet/admin/";

bool servesHost(const AdapterGroup& group, const char* host) {
    for (const std::string& server : group.servers) {
        if (server == "all" || server == host) {
            return true;
        }
    }
    return false;
}

bool hasPrefix(std::string_view text, const std::string& prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

int findAdminGroup(const GroupTable& table, const char* url, HTTP_FILTER_CONTEXT* pfc) {
    std::string_view path(url);
    path = path.substr(0, path.find('?'));
    if (path == kAdminPath && table.adminEnabled) {
        sendAdminPage(table, pfc);
        return kAdminPageSent;
    }
    if (path.substr(0, kAdminGroupPrefix.size()) != kAdminGroupPrefix) {
        return kNoGroup;
    }
    std::string_view rest = path.substr(kAdminGroupPrefix.size());
    for (int i = 0; i < table.groupCount; ++i) {
        std::string_view name(table.groups[i].name);
        if (rest == name || (rest.size() > name.size() && rest.substr(0, name.size()) == name &&
                             rest[name.size()] == '/')) {
            return i;
        }
    }
    return kNoGroup;
}

int selectGroup(const GroupTable& table, const char* url, const char* host) {
    for (int i = 0; i < table.groupCount; ++i) {
        if (servesHost(table.groups[i], host) && matchesApplication(url, table.groups[i])) {
            return i;
        }
    }
    for (int i = 0; i < table.groupCount; ++i) {
        if (servesHost(table.groups[i], host) && matchesAlias(url, table.groups[i])) {
            return i;
        }
    }
    return kNoGroup;
}

bool matchesApplication(const char* url, const AdapterGroup& group) {
    for (const std::string& application : group.applications) {
        if (hasPrefix(url, application)) {
            return true;
        }
    }
    return false;
}

bool matchesAlias(const char* url, const AdapterGroup& group) {
    for (const std::string& alias : group.pathAliases) {
        if (hasPrefix(url, alias)) {
            return true;
        }
    }
    std::string_view path(url);
    path = path.substr(0, path.find_first_of("?;"));
    for (const std::string& alias : group.suffixAliases) {
        if (alias.size() < path.size() && path.substr(path.size() - alias.size()) == alias) {
            return true;
        }
    }
    return false;
}

}  // namespace brevant::adapter
