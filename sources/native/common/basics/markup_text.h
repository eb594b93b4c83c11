// Text from a file, a client or an instance placed inside an HTML page or a JSON document, so
// that it reads as the text it is and never as markup. Header-only, for the connectors and the
// stand-ins alike. Pure; any thread.
#ifndef BREVANT_COMMON_MARKUP_TEXT_H
#define BREVANT_COMMON_MARKUP_TEXT_H

#include <cstdio>
#include <string>
#include <string_view>

namespace brevant::markup {

// For element content and quoted attribute values.
inline std::string htmlEscaped(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// A JSON string, quotes included. Bytes of 0x80 and above pass unchanged: the texts are the
// administrator's own, UTF-8 or not.
inline std::string jsonString(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[7];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

}  // namespace brevant::markup

#endif  // BREVANT_COMMON_MARKUP_TEXT_H
