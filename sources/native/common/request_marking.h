// What both connectors' filters do to a request before they route it: drop the marker
// headers a client may have sent, so that only the filter can mark a request, and reduce an
// absolute request URL to its path and query. Any IIS thread, on its own request.
#ifndef BREVANT_COMMON_REQUEST_MARKING_H
#define BREVANT_COMMON_REQUEST_MARKING_H

#include <windows.h>
#include <httpfilt.h>

namespace brevant::common {

// Every spelling under which IIS hands a client's header to an extension as the server
// variable of a marker ("-" and "_" both become "_").
constexpr const char* kRequestMarkerSpellings[] = {
    "X-Brevant-Request:", "X_Brevant_Request:", "X-Brevant_Request:", "X_Brevant-Request:"};
constexpr const char* kGroupMarkerSpellings[] = {
    "X-Brevant-Group:", "X_Brevant_Group:", "X-Brevant_Group:", "X_Brevant-Group:"};

// Removes the request's headers of these names (SetHeader with an empty value).
void removeClientHeaders(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers,
                         const char* const (&spellings)[4]);

// "http://host/a?b" becomes "/a?b" in place, "http://host" the empty URL; any other URL
// stays. REQUIRES: url is NUL-terminated.
void stripAbsoluteForm(char* url);

}  // namespace brevant::common

#endif  // BREVANT_COMMON_REQUEST_MARKING_H
