// Reading an IIS server variable through an extension's control block into a fixed buffer,
// the way both connectors read them: the size passed to IIS is given by the caller (the
// contracts fix it per variable), and the answer never reaches past the buffer, whatever
// size IIS reports.
//
// Any thread that serves the request may call it; it keeps no state.
#ifndef BREVANT_COMMON_SERVER_VARIABLE_H
#define BREVANT_COMMON_SERVER_VARIABLE_H

#include <windows.h>
#include <httpext.h>

#include <cstring>
#include <optional>
#include <string_view>

namespace brevant::common {

// The value of `name`, up to its NUL, when GetServerVariable succeeds and reports a size
// other than 0; nothing otherwise (GetLastError then tells why, when IIS said).
// REQUIRES: 0 < sizePassed <= bufferSize.
inline std::optional<std::string_view> readServerVariable(EXTENSION_CONTROL_BLOCK* ecb,
                                                          const char* name, char* buffer,
                                                          size_t bufferSize, DWORD sizePassed) {
    buffer[0] = '\0';
    DWORD size = sizePassed;
    // IIS declares the name writable but never writes it.
    if (!ecb->GetServerVariable(ecb->ConnID, const_cast<LPSTR>(name), buffer, &size) || size == 0) {
        return std::nullopt;
    }
    size_t limit = size < sizePassed ? size : sizePassed;
    if (limit > bufferSize) {
        limit = bufferSize;
    }
    const void* end = std::memchr(buffer, '\0', limit);
    size_t length =
        end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - buffer) : limit;
    return std::string_view(buffer, length);
}

}  // namespace brevant::common

#endif  // BREVANT_COMMON_SERVER_VARIABLE_H
