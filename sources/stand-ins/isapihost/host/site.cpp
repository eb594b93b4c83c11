#include "stand-ins/isapihost/host/site.h"
#include "stand-ins/isapihost/host/site_internal.h"

#include <strings.h>

#include "native/common/basics/ascii_text.h"

namespace isapihost {

namespace {

bool endsWithDll(const std::string& segment) {
    return segment.size() > 4 && strcasecmp(segment.c_str() + segment.size() - 4, ".dll") == 0;
}

bool isUnder(const std::string& path, const std::string& directoryUrl) {
    if (directoryUrl == "/") {
        return true;
    }
    if (strncasecmp(path.c_str(), directoryUrl.c_str(), directoryUrl.size()) != 0) {
        return false;
    }
    return path.size() == directoryUrl.size() || path[directoryUrl.size()] == '/';
}

}  // namespace

const VirtualDirectory* Site::directoryFor(const std::string& urlPath) const {
    for (const VirtualDirectory& directory : directories) {
        if (isUnder(urlPath, directory.url)) {
            return &directory;
        }
    }
    return nullptr;
}

std::string Site::contentTypeFor(const std::string& fileName) const {
    auto dot = fileName.find_last_of('.');
    auto slash = fileName.find_last_of('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        std::string extension = fileName.substr(dot + 1);
        for (char& c : extension) {
            c = brevant::ascii::toLower(c);
        }
        auto found = mimeTypes.find(extension);
        if (found != mimeTypes.end()) {
            return found->second;
        }
    }
    return "application/octet-stream";
}

bool normalizeUrlPath(const std::string& raw, std::string* normalized) {
    std::string decoded;
    decoded.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '%' && i + 2 < raw.size() && brevant::ascii::hexDigitValue(raw[i + 1]) >= 0 &&
            brevant::ascii::hexDigitValue(raw[i + 2]) >= 0) {
            char c = static_cast<char>(brevant::ascii::hexDigitValue(raw[i + 1]) * 16 +
                                       brevant::ascii::hexDigitValue(raw[i + 2]));
            if (c == '\0') {
                return false;
            }
            decoded += c;
            i += 2;
        } else {
            decoded += raw[i] == '\\' ? '/' : raw[i];  // IIS treats "\" as a separator
        }
    }
    std::vector<std::string> segments;
    size_t start = 0;
    while (start <= decoded.size()) {
        size_t end = decoded.find('/', start);
        if (end == std::string::npos)
            end = decoded.size();
        std::string segment = decoded.substr(start, end - start);
        if (segment == "..") {
            if (segments.empty()) {
                return false;
            }
            segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& segment : segments) {
        result += "/" + segment;
    }
    bool directory = !decoded.empty() && decoded.back() == '/';
    if (result.empty() || directory) {
        result += "/";
    }
    *normalized = result;
    return true;
}

std::string physicalPathOf(const Site& site, const std::string& urlPath) {
    std::string path;
    if (!normalizeUrlPath(urlPath, &path)) {
        return std::string();
    }
    const VirtualDirectory* directory = site.directoryFor(path);
    if (directory == nullptr) {
        return std::string();
    }
    std::string rest = directory->url == "/" ? path : path.substr(directory->url.size());
    return directory->physicalPath + rest;
}

Mapping mapUrl(const Site& site, const std::string& urlPath) {
    Mapping mapping;
    std::string path;
    if (!normalizeUrlPath(urlPath, &path)) {
        mapping.escapes = true;
        return mapping;
    }
    mapping.directory = site.directoryFor(path);
    if (mapping.directory == nullptr) {
        return mapping;
    }
    const std::string& base = mapping.directory->url;
    std::string rest = base == "/" ? path : path.substr(base.size());
    mapping.physicalPath = mapping.directory->physicalPath + rest;

    // The first segment that names a ".dll" makes the request an extension call; what
    // follows it is the path info.
    size_t start = 1;
    while (start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (endsWithDll(path.substr(start, end - start))) {
            mapping.isExtension = true;
            mapping.modulePath = physicalPathOf(site, path.substr(0, end));
            mapping.pathInfo = path.substr(end);
            break;
        }
        start = end + 1;
    }
    return mapping;
}

}  // namespace isapihost
