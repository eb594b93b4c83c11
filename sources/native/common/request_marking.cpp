#include "native/common/request_marking.h"

#include <cstdio>
#include <cstring>

namespace brevant::common {

namespace {

constexpr char kAbsolutePrefix[] = "http://";
constexpr size_t kMarkerNameSize = 32;

}  // namespace

void removeClientHeaders(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers,
                         const char* const (&spellings)[4]) {
    char empty[] = "";
    for (const char* spelling : spellings) {
        char name[kMarkerNameSize];  // IIS takes the name as writable text
        std::snprintf(name, sizeof name, "%s", spelling);
        headers->SetHeader(pfc, name, empty);
    }
}

void stripAbsoluteForm(char* url) {
    constexpr size_t prefixLength = sizeof kAbsolutePrefix - 1;
    if (std::strncmp(url, kAbsolutePrefix, prefixLength) != 0) {
        return;
    }
    const char* path = std::strchr(url + prefixLength, '/');
    if (path == nullptr) {
        url[0] = '\0';
        return;
    }
    std::memmove(url, path, std::strlen(path) + 1);
}

}  // namespace brevant::common
