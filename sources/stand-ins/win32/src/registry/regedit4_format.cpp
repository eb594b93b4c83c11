#include "stand-ins/win32/src/registry/regedit4_format.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "stand-ins/win32/src/text_scanning.h"

namespace standin::registry {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr char kHexDigits[] = "0123456789abcdef";

// ---- writing ------------------------------------------------------------------------------

bool isPrintable(BYTE byte) {
    return byte >= 0x20 && byte != 0x7f;
}

// Only such data reads back from the quoted form byte for byte.
bool fitsQuotedForm(const std::vector<BYTE>& data) {
    return !data.empty() && data.back() == 0 &&
           std::all_of(data.begin(), data.end() - 1, isPrintable);
}

void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
}

void appendHexNumber(std::string& out, DWORD number, int minDigits) {
    char digits[8];
    int count = 0;
    do {
        digits[count++] = kHexDigits[number & 0xf];
        number >>= 4;
    } while (number != 0 && count < 8);
    while (count < minDigits) {
        digits[count++] = '0';
    }
    while (count > 0) {
        out += digits[--count];
    }
}

void appendData(std::string& out, const RegistryValue& value) {
    const std::vector<BYTE>& data = value.data;
    if (value.type == REG_SZ && fitsQuotedForm(data)) {
        appendQuoted(out,
                     std::string_view(reinterpret_cast<const char*>(data.data()), data.size() - 1));
        return;
    }
    if (value.type == REG_DWORD && data.size() == 4) {
        DWORD number =
            DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24;
        out += "dword:";
        appendHexNumber(out, number, 8);
        return;
    }
    if (value.type == REG_BINARY) {
        out += "hex:";
    } else {
        out += "hex(";
        appendHexNumber(out, value.type, 1);
        out += "):";
    }
    for (size_t i = 0; i < data.size(); ++i) {
        if (i != 0) {
            out += ',';
        }
        out += kHexDigits[data[i] >> 4];
        out += kHexDigits[data[i] & 0xf];
    }
}

// `path` is the key's full name; it is extended for the subkeys and restored.
void appendKey(std::string& out, const RegistryKey& key, std::string& path, bool isRoot) {
    // The root exists without a section; writing an empty one would only add noise.
    if (!isRoot || !key.entries().empty()) {
        out += '[';
        out += path;
        out += "]\n";
        for (const RegistryValue& value : key.entries()) {
            if (value.name.empty()) {
                out += '@';
            } else {
                appendQuoted(out, value.name);
            }
            out += '=';
            appendData(out, value);
            out += '\n';
        }
        out += '\n';
    }
    for (const auto& subkey : key.children()) {
        size_t length = path.size();
        path += '\\';
        path += subkey->name();
        appendKey(out, *subkey, path, false);
        path.resize(length);
    }
}

// ---- reading ------------------------------------------------------------------------------

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalIgnoringCase(text.substr(0, prefix.size()), prefix);
}

bool isValueLine(std::string_view line) {
    return !line.empty() && (line.front() == '"' || line.front() == '@');
}

// Lines without their ends and outer blanks, a value line ending in a backslash joined
// with the lines that continue it.
std::vector<std::string> logicalLines(std::string_view text) {
    std::vector<std::string> lines;
    bool continuing = false;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = trimBlanks(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (continuing) {
            lines.back() += line;
        } else {
            lines.emplace_back(line);
        }
        std::string& current = lines.back();
        continuing = isValueLine(current) && !current.empty() && current.back() == '\\';
        if (continuing) {
            current.pop_back();
        }
    }
    return lines;
}

// Takes a quoted string off the front of `rest`. Backslash escapes a quote or a backslash;
// before anything else it stays, as people write "C:\Program Files" by hand.
std::optional<std::string> takeQuoted(std::string_view& rest) {
    if (rest.empty() || rest.front() != '"') {
        return std::nullopt;
    }
    std::string text;
    for (size_t i = 1; i < rest.size(); ++i) {
        char c = rest[i];
        if (c == '"') {
            rest.remove_prefix(i + 1);
            return text;
        }
        if (c == '\\' && i + 1 < rest.size() && (rest[i + 1] == '\\' || rest[i + 1] == '"')) {
            c = rest[++i];
        }
        text += c;
    }
    return std::nullopt;
}

std::optional<DWORD> parseHexNumber(std::string_view digits) {
    digits = trimBlanks(digits);
    if (digits.empty() || digits.size() > 8) {
        return std::nullopt;
    }
    DWORD number = 0;
    for (char c : digits) {
        int digit = hexDigitValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        number = number << 4 | DWORD(digit);
    }
    return number;
}

// "01,02, 3" and a trailing comma, as left by a continued line.
std::optional<std::vector<BYTE>> parseHexBytes(std::string_view list) {
    std::vector<BYTE> bytes;
    list = trimBlanks(list);
    while (!list.empty()) {
        size_t comma = list.find(',');
        std::string_view token = trimBlanks(list.substr(0, comma));
        std::optional<DWORD> byte = token.size() <= 2 ? parseHexNumber(token) : std::nullopt;
        if (!byte) {
            return std::nullopt;
        }
        bytes.push_back(BYTE(*byte));
        list.remove_prefix(comma == std::string_view::npos ? list.size() : comma + 1);
    }
    return bytes;
}

// Applies `"name"=data` to `key`; false when the line is not understood.
bool parseValueLine(std::string_view line, RegistryKey& key) {
    std::string name;
    if (line.front() == '@') {
        line.remove_prefix(1);
    } else {
        std::optional<std::string> quoted = takeQuoted(line);
        if (!quoted) {
            return false;
        }
        name = std::move(*quoted);
    }
    line = trimBlanks(line);
    if (line.empty() || line.front() != '=') {
        return false;
    }
    line = trimBlanks(line.substr(1));

    if (line == "-") {
        return true;  // a deletion: nothing to apply to a tree built from scratch
    }
    if (!line.empty() && line.front() == '"') {
        std::optional<std::string> text = takeQuoted(line);
        if (!text || !trimBlanks(line).empty()) {
            return false;
        }
        std::vector<BYTE> data(text->begin(), text->end());
        data.push_back(0);
        key.setEntry({std::move(name), REG_SZ, std::move(data)});
        return true;
    }
    if (startsWithNoCase(line, "dword:")) {
        std::optional<DWORD> number = parseHexNumber(line.substr(6));
        if (!number) {
            return false;
        }
        std::vector<BYTE> bytes = {BYTE(*number), BYTE(*number >> 8), BYTE(*number >> 16),
                                   BYTE(*number >> 24)};
        key.setEntry({std::move(name), REG_DWORD, std::move(bytes)});
        return true;
    }
    std::optional<DWORD> type;
    if (startsWithNoCase(line, "hex:")) {
        type = REG_BINARY;
        line.remove_prefix(4);
    } else if (startsWithNoCase(line, "hex(")) {
        size_t close = line.find("):");
        if (close != std::string_view::npos) {
            type = parseHexNumber(line.substr(4, close - 4));
            line.remove_prefix(close + 2);
        }
    }
    std::optional<std::vector<BYTE>> bytes = type ? parseHexBytes(line) : std::nullopt;
    if (!bytes) {
        return false;
    }
    key.setEntry({std::move(name), *type, std::move(*bytes)});
    return true;
}

// The key a section line names, created with its parents; null for a section whose values
// are to be skipped.
RegistryKey* openSection(std::string_view line, RegistryKey& root) {
    std::string_view path = line.substr(1, line.size() - 2);
    KeyPath components;
    bool first = true;
    while (true) {
        size_t separator = path.find('\\');
        std::string_view component = path.substr(0, separator);
        if (first) {
            if (!equalIgnoringCase(component, kRootName)) {
                return nullptr;  // another root, or a deletion "[-...]"
            }
            first = false;
        } else if (!component.empty()) {
            components.emplace_back(component);
        }
        if (separator == std::string_view::npos) {
            break;
        }
        path.remove_prefix(separator + 1);
    }
    return &createKey(root, components);
}

}  // namespace

std::string formatRegedit4(const RegistryKey& root) {
    std::string out(kHeader);
    out += "\n\n";
    std::string path(kRootName);
    appendKey(out, root, path, true);
    return out;
}

RegistryKey parseRegedit4(std::string_view text) {
    RegistryKey root{std::string(kRootName)};
    RegistryKey* section = nullptr;
    for (const std::string& line : logicalLines(text)) {
        if (line.empty() || line.front() == ';' || line == kHeader) {
            continue;
        }
        if (line.front() == '[') {
            section = line.back() == ']' ? openSection(line, root) : nullptr;
        } else if (section != nullptr && isValueLine(line)) {
            parseValueLine(line, *section);
        }
    }
    return root;
}

}  // namespace standin::registry
