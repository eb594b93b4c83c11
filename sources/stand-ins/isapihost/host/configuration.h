// isapihost's configuration: the sites and filters it serves, read from the metabase, and
// the quick-start flags that write such a metabase.
//
// Thread: the main thread, at start.
#ifndef ISAPIHOST_HOST_CONFIGURATION_H
#define ISAPIHOST_HOST_CONFIGURATION_H

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "stand-ins/isapihost/host/filter_chain.h"
#include "stand-ins/isapihost/host/site.h"

namespace isapihost {

// isapihost's own property of a site key: the file of its users ("name:password" a line)
// against which Basic logons are checked.
constexpr DWORD kUsersFileProperty = 61000;

struct Configuration {
    std::vector<Site> sites;
    std::vector<FilterRegistration> filters;  // enabled filters, in load order
    std::vector<std::string> warnings;        // told to the administrator on stderr
};

// Reads every site under /LM/W3SVC and the filters of /LM/W3SVC/Filters. False with
// *error when the metabase cannot be read or holds no site.
bool readConfiguration(Configuration* configuration, std::string* error);

// What the quick-start flags describe: one site.
struct QuickStart {
    std::vector<uint16_t> ports;        // as bound, so 0 is already resolved
    std::vector<uint16_t> securePorts;  // TLS
    std::string root;
    struct Directory {
        std::string url;  // "/Scripts"
        std::string path;
        bool execute = false;
    };
    std::vector<Directory> directories;
    std::vector<std::string> filters;  // module paths, in load order
    std::vector<std::string> defaultDocuments;
    std::map<std::string, std::string> mimeTypes;  // ".ext" -> type, over the defaults
    std::string usersFile;
};

// Writes the quick-start site into the (empty) metabase STANDIN_METABASE names.
bool writeQuickStart(const QuickStart& quickStart, std::string* error);

// A comma-separated list: items trimmed of blanks, empty items left out (the metabase's
// lists and the --default-doc flag alike).
std::vector<std::string> splitList(const std::string& text);

// Like an installed IIS of the metabase generation: makes sure the registry has
// SYSTEM\CurrentControlSet\Services\W3SVC\Parameters, and warns when it holds what only an
// older IIS has (a "Default Load File" value, an InetInfo MimeMap key), because the
// connectors would then read those instead of the metabase.
void prepareRegistry(std::vector<std::string>* warnings);

}  // namespace isapihost

#endif  // ISAPIHOST_HOST_CONFIGURATION_H
