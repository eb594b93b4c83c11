// What only the tests of response_framing.cpp call.
#ifndef ISAPIHOST_HTTP_RESPONSE_FRAMING_INTERNAL_H
#define ISAPIHOST_HTTP_RESPONSE_FRAMING_INTERNAL_H

#include <string>

namespace isapihost {

// "<html><head><title>404 Not Found</title></head><body><h1>404 Not Found</h1></body></html>"
std::string errorPage(int status);

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_RESPONSE_FRAMING_INTERNAL_H
