// What filter registration writes to the debugger output: messages made of pieces, one
// OutputDebugStringA call per piece, as installers that watch the output expect, and the failure
// messages "Brevant: <call> failed = <HRESULT in lower-case hex> \n". Data (paths, key names, load
// orders) is only ever a piece, never a format. Any thread.
#ifndef BREVANT_ISAPI_IISCONFIG_FILTER_MESSAGES_H
#define BREVANT_ISAPI_IISCONFIG_FILTER_MESSAGES_H

#include <windows.h>

#include <cstdio>
#include <initializer_list>

namespace brevant::isapi::iisconfig {

// The word that begins the messages, and the name of the filter's key and load-order item;
// the same text, with two meanings.
constexpr char kMessageWord[] = "Brevant";
constexpr char kFilterName[] = "Brevant";

inline void debugOut(std::initializer_list<const char*> pieces) {
    for (const char* piece : pieces) {
        OutputDebugStringA(piece);
    }
}

// `call` names what failed, as in "GetData (filter load order)".
inline void reportFailure(const char* call, HRESULT result) {
    char text[256];  // the formatting buffer's size is part of the contract
    std::snprintf(text, sizeof text, "%s: %s failed = %x \n", kMessageWord, call,
                  static_cast<unsigned>(result));
    OutputDebugStringA(text);
}

}  // namespace brevant::isapi::iisconfig

#endif  // BREVANT_ISAPI_IISCONFIG_FILTER_MESSAGES_H
