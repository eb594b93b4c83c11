#include "stand-ins/win32/src/metabase/wide_text.h"

#include <iadmw.h>

namespace standin::metabase {

namespace {

bool isHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void appendUtf8(char32_t code, std::string* out) {
    if (code < 0x80) {
        out->push_back(char(code));
    } else if (code < 0x800) {
        out->push_back(char(0xC0 | (code >> 6)));
        out->push_back(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(char(0xE0 | (code >> 12)));
        out->push_back(char(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(char(0x80 | (code & 0x3F)));
    } else {
        out->push_back(char(0xF0 | (code >> 18)));
        out->push_back(char(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(char(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(char(0x80 | (code & 0x3F)));
    }
}

}  // namespace

bool utf16ToUtf8(std::u16string_view text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            ++i;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            return false;
        }
        appendUtf8(unit, out);
    }
    return true;
}

bool utf8ToUtf16(std::string_view text, std::u16string* out) {
    out->clear();
    size_t i = 0;
    while (i < text.size()) {
        auto lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80           ? 1
                        : (lead >> 5) == 0x6  ? 2
                        : (lead >> 4) == 0xE  ? 3
                        : (lead >> 3) == 0x1E ? 4
                                              : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode's end are not well-formed.
        static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        if (code >= 0x10000) {
            out->push_back(char16_t(0xD800 + ((code - 0x10000) >> 10)));
            out->push_back(char16_t(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out->push_back(char16_t(code));
        }
        i += length;
    }
    return true;
}

HRESULT appendPath(LPCWSTR path, KeyPath* out) {
    if (path == nullptr) {
        return S_OK;
    }
    std::u16string_view rest(path);
    while (!rest.empty()) {
        size_t separator = rest.find_first_of(u"/\\");
        std::u16string_view component = rest.substr(0, separator);
        if (!component.empty()) {
            std::string name;
            if (!utf16ToUtf8(component, &name)) {
                return E_INVALIDARG;
            }
            out->push_back(std::move(name));
        }
        rest.remove_prefix(separator == std::u16string_view::npos ? rest.size() : separator + 1);
    }
    return S_OK;
}

bool isStorableName(std::string_view name) {
    std::u16string wide;
    if (name.empty() || !utf8ToUtf16(name, &wide) || wide.size() >= METADATA_MAX_NAME_LEN) {
        return false;
    }
    for (char16_t unit : wide) {
        if (unit < 0x20 || unit == 0x7F || unit == u'/' || unit == u'\\') {
            return false;
        }
    }
    return true;
}

}  // namespace standin::metabase
