// A web site as isapihost serves it: its ports, virtual directories, default documents,
// MIME map and users, read from the metabase at start (configuration.cpp) and read-only
// afterwards, so worker threads share it without a lock.
#ifndef ISAPIHOST_HOST_SITE_H
#define ISAPIHOST_HOST_SITE_H

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace isapihost {

struct VirtualDirectory {
    std::string url;              // "/" for the site's ROOT, "/Scripts" for a virtual directory
    std::string physicalPath;     // without a trailing "/"
    DWORD accessPermissions = 0;  // MD_ACCESS_READ, MD_ACCESS_EXECUTE, ...
};

struct Site {
    int number = 1;
    std::vector<uint16_t> ports;
    std::vector<VirtualDirectory> directories;  // longest URL first
    std::vector<std::string> defaultDocuments;
    bool loadDefaultDocuments = false;             // MD_DIRBROW_LOADDEFAULT
    std::map<std::string, std::string> mimeTypes;  // extension in lower case, without "."
    std::map<std::string, std::string> users;      // name -> password, for Basic logons

    // The directory whose URL is the longest prefix of `urlPath` (at a "/" boundary).
    const VirtualDirectory* directoryFor(const std::string& urlPath) const;
    // The content type for a file name, "application/octet-stream" when not mapped.
    std::string contentTypeFor(const std::string& fileName) const;
};

// Where a request's URL leads.
struct Mapping {
    const VirtualDirectory* directory = nullptr;
    std::string physicalPath;  // of the URL path (no existence check)
    bool escapes = false;      // the decoded path climbs above its directory
    bool isExtension = false;  // names a ".dll" module
    std::string modulePath;    // physical path of that module
    std::string pathInfo;      // the URL after the module's name
};

// Maps a URL path (raw, as in the request) onto the site's directories.
Mapping mapUrl(const Site& site, const std::string& urlPath);

// The physical path of any URL path, as HSE_REQ_MAP_URL_TO_PATH answers it ("" when no
// directory holds it).
std::string physicalPathOf(const Site& site, const std::string& urlPath);

}  // namespace isapihost

#endif  // ISAPIHOST_HOST_SITE_H
