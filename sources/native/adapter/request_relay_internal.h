// What the relay's tests reach beyond request_relay.h; no other code may use it.
#ifndef BREVANT_ADAPTER_REQUEST_RELAY_INTERNAL_H
#define BREVANT_ADAPTER_REQUEST_RELAY_INTERNAL_H

#include <windows.h>
#include <httpext.h>

#include <cstddef>

namespace brevant::adapter {

// Takes the status of the response from its first piece ("HTTP/1.0 404 ...") into
// dwHttpStatusCode, for IIS's log; leaves it alone when the piece shows none.
void recordStatusCode(EXTENSION_CONTROL_BLOCK* ecb, const char* data, size_t length);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_REQUEST_RELAY_INTERNAL_H
