// Writing the metabase file: every key in a section of its own, depth first in creation
// order, each property in the form that reads back byte for byte.
#include "stand-ins/win32/src/metabase/metabase_text.h"

#include <iadmw.h>

#include <cstdio>
#include <cstring>

#include "stand-ins/win32/src/metabase/property_names.h"
#include "stand-ins/win32/src/metabase/wide_text.h"

namespace standin::metabase {

namespace {

constexpr char kHeader[] =
    "# The IIS metabase of the Linux stand-in; the format is described in docs/metabase.md.\n"
    "# Programs rewrite this file when they change the metabase: comments are not kept.\n";

// Binary data goes on continuation lines of this many bytes once it is longer.
constexpr size_t kBytesPerLine = 32;

std::u16string unitsOf(const std::vector<BYTE>& data) {
    std::u16string units(data.size() / sizeof(char16_t), u'\0');
    std::memcpy(units.data(), data.data(), units.size() * sizeof(char16_t));
    return units;
}

bool isSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

// Text as UTF-8 in quotes. Control characters and surrogates without their partner, which
// UTF-8 cannot carry, become \uXXXX.
void appendQuoted(std::u16string_view text, std::string* out) {
    out->push_back('"');
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t unit = text[i];
        size_t length = 1;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            length = 2;
        } else if (unit == u'"' || unit == u'\\') {
            out->push_back('\\');
        } else if (unit < 0x20 || unit == 0x7F || isSurrogate(unit)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", unsigned(unit));
            *out += escape;
            continue;
        }
        std::string utf8;
        utf16ToUtf8(text.substr(i, length), &utf8);
        *out += utf8;
        i += length - 1;
    }
    out->push_back('"');
}

void appendValue(const Property& property, std::string* out) {
    switch (property.dataType) {
        case DWORD_METADATA: {
            DWORD value = 0;
            std::memcpy(&value, property.data.data(), sizeof value);
            char text[16];
            std::snprintf(text, sizeof text, " 0x%08x", unsigned(value));
            *out += text;
            break;
        }
        case STRING_METADATA:
        case EXPANDSZ_METADATA: {
            std::u16string units = unitsOf(property.data);
            out->push_back(' ');
            appendQuoted(std::u16string_view(units).substr(0, units.size() - 1), out);
            break;
        }
        case MULTISZ_METADATA: {
            std::u16string units = unitsOf(property.data);
            std::vector<std::u16string_view> strings;
            std::u16string_view rest = std::u16string_view(units).substr(0, units.size() - 1);
            while (!rest.empty()) {
                size_t end = rest.find(u'\0');
                strings.push_back(rest.substr(0, end));
                rest.remove_prefix(end + 1);
            }
            for (std::u16string_view text : strings) {
                *out += strings.size() > 1 ? " \\\n    " : " ";
                appendQuoted(text, out);
            }
            break;
        }
        default: {  // BINARY_METADATA
            for (size_t i = 0; i < property.data.size(); ++i) {
                if (i % kBytesPerLine == 0 && property.data.size() > kBytesPerLine) {
                    *out += " \\\n   ";
                }
                char text[4];
                std::snprintf(text, sizeof text, " %02x", unsigned(property.data[i]));
                *out += text;
            }
            break;
        }
    }
}

void appendProperty(const Property& property, std::string* out) {
    *out += formatIdentifier(property.identifier);
    *out += ' ';
    *out += formatUserType(property.userType);
    *out += ' ';
    *out += formatAttributes(property.attributes);
    *out += ' ';
    *out += dataTypeName(property.dataType);
    appendValue(property, out);
    out->push_back('\n');
}

void appendKey(const MetabaseKey& key, const std::string& path, std::string* out) {
    *out += "\n[" + path + "]\n";
    for (const Property& property : key.entries()) {
        appendProperty(property, out);
    }
    for (const auto& child : key.children()) {
        appendKey(*child, path + "/" + child->name(), out);
    }
}

}  // namespace

std::string formatMetabase(const MetabaseKey& root) {
    std::string text = kHeader;
    if (!root.entries().empty()) {
        text += "\n[/]\n";
        for (const Property& property : root.entries()) {
            appendProperty(property, &text);
        }
    }
    for (const auto& child : root.children()) {
        appendKey(*child, "/" + child->name(), &text);
    }
    return text;
}

}  // namespace standin::metabase
