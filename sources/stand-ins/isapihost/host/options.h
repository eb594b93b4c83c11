// isapihost's command line.
#ifndef ISAPIHOST_HOST_OPTIONS_H
#define ISAPIHOST_HOST_OPTIONS_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "stand-ins/isapihost/host/configuration.h"

namespace isapihost {

struct Options {
    bool help = false;
    // Quick-start: any of these flags describes the site on the command line; without
    // them the sites come from the metabase STANDIN_METABASE names.
    bool quickStart = false;
    int port = 8080;  // 0 picks a free port
    std::string root = ".";
    std::vector<QuickStart::Directory> directories;
    std::vector<std::string> filters;
    std::vector<std::string> defaultDocuments;
    std::map<std::string, std::string> mimeTypes;
    std::string usersFile;
    // TLS
    int tlsPort = -1;  // none
    std::string certificateFile;
    std::string keyFile;
    std::string clientCaFile;
    // server
    std::string accessLog;
    unsigned threads = 32;
    unsigned connectionTimeoutSeconds = 120;
};

// Parses the arguments; false with *error for a bad one.
bool parseOptions(int argc, char** argv, Options* options, std::string* error);

extern const char kUsage[];

}  // namespace isapihost

#endif  // ISAPIHOST_HOST_OPTIONS_H
