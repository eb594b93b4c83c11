// Server variables, as IIS gives them to filters and extensions alike.
// Thread: the worker thread serving the request.
#ifndef ISAPIHOST_HOST_SERVER_VARIABLES_H
#define ISAPIHOST_HOST_SERVER_VARIABLES_H

#include <windows.h>

#include <string>

#include "stand-ins/isapihost/host/request_context.h"

namespace isapihost {

// The value of a server variable; false for a name IIS does not know and for an
// HTTP_<NAME> whose header the request does not carry.
bool serverVariable(const RequestContext& request, const std::string& name, std::string* value);

// The GetServerVariable protocol: copies the value with its terminating zero into
// `buffer` and sets *size to the bytes copied. Too small a buffer: FALSE,
// ERROR_INSUFFICIENT_BUFFER and the size needed in *size; an unknown name: FALSE,
// ERROR_INVALID_INDEX.
BOOL copyServerVariable(const RequestContext& request, const char* name, void* buffer, DWORD* size);

// Copies `value` and its terminating zero by the same size protocol.
BOOL copyText(const std::string& value, void* buffer, DWORD* size);

// SERVER_SOFTWARE.
extern const char kServerSoftware[];

}  // namespace isapihost

#endif  // ISAPIHOST_HOST_SERVER_VARIABLES_H
