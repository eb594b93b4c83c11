#include "stand-ins/isapihost/host/configuration.h"

#include <strings.h>

#include <algorithm>
#include <fstream>

#include "native/common/basics/ascii_text.h"
#include "stand-ins/isapihost/host/metabase_session.h"

namespace isapihost {

namespace {

const char kW3svc[] = "/LM/W3SVC";
const char kFilters[] = "/LM/W3SVC/Filters";
const char kMimeMap[] = "/LM/MimeMap";

// The types IIS knows out of the box, for the quick-start MIME map.
const std::map<std::string, std::string> kDefaultMimeTypes = {
    {".htm", "text/html"},
    {".html", "text/html"},
    {".txt", "text/plain"},
    {".css", "text/css"},
    {".js", "application/javascript"},
    {".json", "application/json"},
    {".xml", "text/xml"},
    {".gif", "image/gif"},
    {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".png", "image/png"},
    {".ico", "image/x-icon"},
    {".svg", "image/svg+xml"},
    {".pdf", "application/pdf"},
    {".zip", "application/zip"},
    {".jar", "application/java-archive"},
};

bool allDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "IP:port:host" bindings; the port of each.
std::vector<uint16_t> portsOf(const std::vector<std::string>& bindings) {
    std::vector<uint16_t> ports;
    for (const std::string& binding : bindings) {
        auto first = binding.find(':');
        if (first == std::string::npos)
            continue;
        auto second = binding.find(':', first + 1);
        std::string port = binding.substr(
            first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
        if (allDigits(port) && port.size() <= 5 && std::stoi(port) <= 65535) {
            ports.push_back(static_cast<uint16_t>(std::stoi(port)));
        }
    }
    return ports;
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

void readDirectories(MetabaseSession& metabase, const std::string& rootKey, const std::string& url,
                     Site* site) {
    std::string physical;
    if (!metabase.getString(rootKey, MD_VR_PATH, METADATA_NO_ATTRIBUTES, &physical)) {
        return;  // a key without a path is a folder of its parent, not a virtual directory
    }
    VirtualDirectory directory;
    directory.url = url;
    directory.physicalPath = withoutTrailingSlash(physical);
    metabase.getDword(rootKey, MD_ACCESS_PERM, METADATA_INHERIT, &directory.accessPermissions);
    site->directories.push_back(directory);
    for (const std::string& child : metabase.subkeys(rootKey)) {
        readDirectories(metabase, rootKey + "/" + child, (url == "/" ? "" : url) + "/" + child,
                        site);
    }
}

void readMimeMap(MetabaseSession& metabase, Site* site) {
    std::vector<std::string> entries;
    metabase.getMultiString(kMimeMap, MD_MIME_MAP, METADATA_INHERIT, &entries);
    for (const std::string& entry : entries) {  // ".ext,type"
        auto comma = entry.find(',');
        if (comma == std::string::npos)
            continue;
        std::string extension = entry.substr(0, comma);
        if (!extension.empty() && extension[0] == '.')
            extension.erase(0, 1);
        for (char& c : extension)
            c = brevant::ascii::toLower(c);
        site->mimeTypes[extension] = entry.substr(comma + 1);
    }
}

std::string trim(const std::string& text) {
    auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// One "name:password" a line; blank lines and "#" comments skipped.
bool readUsersFile(const std::string& path, std::map<std::string, std::string>* users,
                   std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read the users file " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (trim(line).empty() || trim(line)[0] == '#')
            continue;
        auto colon = line.find(':');
        if (colon == std::string::npos || colon == 0) {
            *error = path + ":" + std::to_string(number) + ": expected name:password";
            return false;
        }
        (*users)[line.substr(0, colon)] = line.substr(colon + 1);
    }
    return true;
}

bool readSite(MetabaseSession& metabase, const std::string& number, Site* site,
              std::vector<std::string>* warnings) {
    std::string key = std::string(kW3svc) + "/" + number;
    site->number = std::stoi(number);
    std::vector<std::string> bindings, secureBindings;
    metabase.getMultiString(key, MD_SERVER_BINDINGS, METADATA_NO_ATTRIBUTES, &bindings);
    metabase.getMultiString(key, MD_SECURE_BINDINGS, METADATA_NO_ATTRIBUTES, &secureBindings);
    site->ports = portsOf(bindings);
    std::vector<uint16_t> secure = portsOf(secureBindings);
    site->ports.insert(site->ports.end(), secure.begin(), secure.end());
    readDirectories(metabase, key + "/ROOT", "/", site);
    if (site->directories.empty()) {
        warnings->push_back("site " + number + " has no ROOT with MD_VR_PATH; not served");
        return false;
    }
    std::sort(site->directories.begin(), site->directories.end(),
              [](const VirtualDirectory& a, const VirtualDirectory& b) {
                  return a.url.size() > b.url.size();
              });
    std::string documents;
    if (metabase.getString(key + "/ROOT", MD_DEFAULT_LOAD_FILE, METADATA_INHERIT, &documents)) {
        site->defaultDocuments = splitList(documents);
    }
    DWORD browsing = 0;
    if (metabase.getDword(key + "/ROOT", MD_DIRECTORY_BROWSING, METADATA_INHERIT, &browsing)) {
        site->loadDefaultDocuments = (browsing & MD_DIRBROW_LOADDEFAULT) != 0;
    }
    readMimeMap(metabase, site);
    std::string usersFile;
    if (metabase.getString(key, kUsersFileProperty, METADATA_NO_ATTRIBUTES, &usersFile)) {
        std::string error;
        if (!readUsersFile(usersFile, &site->users, &error)) {
            warnings->push_back("site " + number + ": " + error);
        }
    }
    return true;
}

// The load order's names, trimmed, empty items skipped, each matched to its key without
// regard to case; a name without a key is left out with a warning (registrations that
// were undone by hand leave such names behind).
void readFilters(MetabaseSession& metabase, Configuration* configuration) {
    std::string order;
    if (!metabase.getString(kFilters, MD_FILTER_LOAD_ORDER, METADATA_NO_ATTRIBUTES, &order)) {
        return;
    }
    std::vector<std::string> keys = metabase.subkeys(kFilters);
    for (const std::string& name : splitList(order)) {
        auto key = std::find_if(keys.begin(), keys.end(), [&](const std::string& k) {
            return strcasecmp(k.c_str(), name.c_str()) == 0;
        });
        if (key == keys.end()) {
            configuration->warnings.push_back("filter load order names \"" + name +
                                              "\", which has no key under " + kFilters);
            continue;
        }
        std::string path = std::string(kFilters) + "/" + *key;
        DWORD enabled = 1;
        metabase.getDword(path, MD_FILTER_ENABLED, METADATA_NO_ATTRIBUTES, &enabled);
        std::string image;
        if (enabled == 0) {
            continue;
        }
        if (!metabase.getString(path, MD_FILTER_IMAGE_PATH, METADATA_NO_ATTRIBUTES, &image) ||
            image.empty()) {
            configuration->warnings.push_back("filter " + *key + " has no MD_FILTER_IMAGE_PATH");
            continue;
        }
        configuration->filters.push_back({*key, image});
    }
}

}  // namespace

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        std::string item = trim(text.substr(start, comma - start));
        if (!item.empty())
            items.push_back(item);
        start = comma + 1;
    }
    return items;
}

bool readConfiguration(Configuration* configuration, std::string* error) {
    MetabaseSession metabase;
    if (!metabase.connect(error)) {
        return false;
    }
    for (const std::string& name : metabase.subkeys(kW3svc)) {
        if (!allDigits(name)) {
            continue;  // Filters, Info and the like are not sites
        }
        Site site;
        if (readSite(metabase, name, &site, &configuration->warnings)) {
            configuration->sites.push_back(site);
        }
    }
    if (configuration->sites.empty()) {
        *error = "the metabase holds no web site (a key /LM/W3SVC/<number>/ROOT with MD_VR_PATH)";
        return false;
    }
    readFilters(metabase, configuration);
    return true;
}

bool writeQuickStart(const QuickStart& quickStart, std::string* error) {
    MetabaseSession metabase;
    if (!metabase.connect(error)) {
        return false;
    }
    const std::string site = std::string(kW3svc) + "/1";
    std::vector<std::string> bindings, secureBindings;
    for (uint16_t port : quickStart.ports)
        bindings.push_back(":" + std::to_string(port) + ":");
    for (uint16_t port : quickStart.securePorts) {
        secureBindings.push_back(":" + std::to_string(port) + ":");
    }
    std::vector<std::string> mime;
    std::map<std::string, std::string> types = kDefaultMimeTypes;
    for (const auto& [extension, type] : quickStart.mimeTypes)
        types[extension] = type;
    for (const auto& [extension, type] : types)
        mime.push_back(extension + "," + type);

    bool ok = metabase.setMultiString(kMimeMap, MD_MIME_MAP, IIS_MD_UT_FILE, METADATA_INHERIT, mime,
                                      error) &&
              metabase.setMultiString(site, MD_SERVER_BINDINGS, IIS_MD_UT_SERVER,
                                      METADATA_NO_ATTRIBUTES, bindings, error) &&
              (secureBindings.empty() ||
               metabase.setMultiString(site, MD_SECURE_BINDINGS, IIS_MD_UT_SERVER,
                                       METADATA_NO_ATTRIBUTES, secureBindings, error)) &&
              metabase.setString(site + "/ROOT", MD_VR_PATH, IIS_MD_UT_FILE, METADATA_INHERIT,
                                 quickStart.root, error) &&
              metabase.setDword(site + "/ROOT", MD_ACCESS_PERM, IIS_MD_UT_FILE, METADATA_INHERIT,
                                MD_ACCESS_READ, error);
    for (const QuickStart::Directory& directory : quickStart.directories) {
        DWORD permissions = MD_ACCESS_READ;
        if (directory.execute)
            permissions |= MD_ACCESS_EXECUTE | MD_ACCESS_SCRIPT;
        std::string key = site + "/ROOT" + directory.url;
        ok = ok &&
             metabase.setString(key, MD_VR_PATH, IIS_MD_UT_FILE, METADATA_INHERIT, directory.path,
                                error) &&
             metabase.setDword(key, MD_ACCESS_PERM, IIS_MD_UT_FILE, METADATA_INHERIT, permissions,
                               error);
    }
    if (ok && !quickStart.defaultDocuments.empty()) {
        std::string list;
        for (const std::string& name : quickStart.defaultDocuments) {
            list += (list.empty() ? "" : ",") + name;
        }
        ok = metabase.setString(kW3svc, MD_DEFAULT_LOAD_FILE, IIS_MD_UT_FILE, METADATA_INHERIT,
                                list, error) &&
             metabase.setDword(kW3svc, MD_DIRECTORY_BROWSING, IIS_MD_UT_FILE, METADATA_INHERIT,
                               MD_DIRBROW_SHOW_DATE | MD_DIRBROW_SHOW_TIME | MD_DIRBROW_SHOW_SIZE |
                                   MD_DIRBROW_SHOW_EXTENSION | MD_DIRBROW_LOADDEFAULT,
                               error);
    }
    if (ok && !quickStart.usersFile.empty()) {
        ok = metabase.setString(site, kUsersFileProperty, IIS_MD_UT_SERVER, METADATA_NO_ATTRIBUTES,
                                quickStart.usersFile, error);
    }
    std::string order;
    for (const std::string& module : quickStart.filters) {
        std::string name = module.substr(module.find_last_of('/') + 1);
        name.resize(std::min(name.size(), name.find_last_of('.')));
        order += (order.empty() ? "" : ",") + name;
        std::string key = std::string(kFilters) + "/" + name;
        ok = ok &&
             metabase.setString(key, MD_FILTER_IMAGE_PATH, IIS_MD_UT_SERVER, METADATA_NO_ATTRIBUTES,
                                module, error) &&
             metabase.setDword(key, MD_FILTER_ENABLED, IIS_MD_UT_SERVER, METADATA_NO_ATTRIBUTES, 1,
                               error);
    }
    if (ok) {
        ok = metabase.setString(kFilters, MD_FILTER_LOAD_ORDER, IIS_MD_UT_SERVER,
                                METADATA_NO_ATTRIBUTES, order, error);
    }
    return ok;
}

void prepareRegistry(std::vector<std::string>* warnings) {
    const char* parameters = "SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters";
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, parameters, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;  // no registry file: nothing to prepare
    }
    if (RegQueryValueExA(key, "Default Load File", nullptr, nullptr, nullptr, nullptr) ==
        ERROR_SUCCESS) {
        warnings->push_back(std::string("the registry holds ") + parameters +
                            "\\Default Load File, as only an older IIS does");
    }
    RegCloseKey(key);
    const char* mimeMap = "SYSTEM\\CurrentControlSet\\Services\\InetInfo\\Parameters\\MimeMap";
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, mimeMap, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        warnings->push_back(std::string("the registry holds ") + mimeMap +
                            ", as only an older IIS does");
        RegCloseKey(key);
    }
}

}  // namespace isapihost
