// What only the tests of site.cpp call.
#ifndef ISAPIHOST_HOST_SITE_INTERNAL_H
#define ISAPIHOST_HOST_SITE_INTERNAL_H

#include <string>

namespace isapihost {

// Percent-decodes a URL path and resolves "." and ".." segments. False when the path
// climbs above "/" or decodes to a NUL byte.
bool normalizeUrlPath(const std::string& raw, std::string* normalized);

}  // namespace isapihost

#endif  // ISAPIHOST_HOST_SITE_INTERNAL_H
