// Reading the metabase file, forgiving what people write by hand: comments, blank lines,
// continued lines, CR LF line ends, names and words in any case.
#include "stand-ins/win32/src/metabase/metabase_text.h"

#include <iadmw.h>

#include "stand-ins/win32/src/metabase/property_names.h"
#include "stand-ins/win32/src/metabase/property_records.h"
#include "stand-ins/win32/src/metabase/wide_text.h"
#include "stand-ins/win32/src/text_scanning.h"

namespace standin::metabase {

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Appends the text and its terminating zero.
void appendUnits(std::u16string_view units, std::vector<BYTE>* data) {
    const auto* bytes = reinterpret_cast<const BYTE*>(units.data());
    data->insert(data->end(), bytes, bytes + units.size() * sizeof(char16_t));
    data->push_back(0);
    data->push_back(0);
}

struct LogicalLine {
    size_t number = 0;  // of its first physical line
    std::string text;
};

// Whether `text` ends in a backslash outside quotes, which continues it on the next line;
// if so the backslash goes.
bool takeContinuation(std::string* text) {
    bool quoted = false;
    for (size_t i = 0; i < text->size(); ++i) {
        char c = (*text)[i];
        if (quoted && c == '\\') {
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        }
    }
    size_t last = text->find_last_not_of(" \t");
    if (quoted || last == std::string::npos || (*text)[last] != '\\') {
        return false;
    }
    text->erase(last);
    return true;
}

// The file's lines with continuations joined, without blank lines and comments.
std::vector<LogicalLine> logicalLines(std::string_view text) {
    std::vector<LogicalLine> lines;
    LogicalLine pending;
    bool continuing = false;
    size_t number = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        std::string_view content = trim(line);
        if (content.empty() && continuing) {
            lines.push_back(std::move(pending));
            continuing = false;
        }
        if (content.empty() || content.front() == '#') {
            continue;
        }
        if (continuing) {
            pending.text.push_back(' ');
        } else {
            pending = LogicalLine{number, {}};
        }
        pending.text += content;
        continuing = takeContinuation(&pending.text);
        if (!continuing) {
            lines.push_back(std::move(pending));
        }
    }
    if (continuing) {
        lines.push_back(std::move(pending));
    }
    return lines;
}

struct Token {
    bool quoted = false;
    std::string word;      // unquoted
    std::u16string units;  // quoted
};

// Moves the UTF-8 text gathered so far into `units`.
bool flushUtf8(std::string* utf8, std::u16string* units) {
    std::u16string converted;
    if (!utf8ToUtf16(*utf8, &converted)) {
        return false;
    }
    *units += converted;
    utf8->clear();
    return true;
}

// Reads the string that starts after the quote at text[*i]; *i ends past its closing quote.
bool readQuoted(std::string_view text, size_t* i, std::u16string* units, std::string* error) {
    std::string utf8;
    for (++*i; *i < text.size();) {
        char c = text[(*i)++];
        if (c == '"') {
            if (!flushUtf8(&utf8, units)) {
                *error = "a string that is not UTF-8";
                return false;
            }
            return true;
        }
        if (c != '\\') {
            utf8.push_back(c);
            continue;
        }
        if (!flushUtf8(&utf8, units)) {
            *error = "a string that is not UTF-8";
            return false;
        }
        char escaped = *i < text.size() ? text[(*i)++] : '\0';
        if (escaped == '\\' || escaped == '"') {
            units->push_back(char16_t(escaped));
            continue;
        }
        int unit = 0;
        for (int k = 0; escaped == 'u' && k < 4; ++k) {
            int digit = *i < text.size() ? hexDigitValue(text[*i]) : -1;
            unit = digit < 0 ? -1 : unit * 16 + digit;
            if (digit < 0) {
                break;
            }
            ++*i;
        }
        if (escaped != 'u' || unit < 0) {
            *error = "an escape other than \\\\, \\\" or \\uXXXX";
            return false;
        }
        units->push_back(char16_t(unit));
    }
    *error = "a string without its closing quote";
    return false;
}

bool tokenize(std::string_view text, std::vector<Token>* tokens, std::string* error) {
    size_t i = 0;
    for (;;) {
        while (i < text.size() && isBlank(text[i])) {
            ++i;
        }
        if (i == text.size()) {
            return true;
        }
        Token token;
        if (text[i] == '"') {
            token.quoted = true;
            if (!readQuoted(text, &i, &token.units, error)) {
                return false;
            }
            if (i < text.size() && !isBlank(text[i])) {
                *error = "no blank after a string";
                return false;
            }
        } else {
            size_t start = i;
            while (i < text.size() && !isBlank(text[i])) {
                if (text[i++] == '"') {
                    *error = "a quote inside a word";
                    return false;
                }
            }
            token.word = text.substr(start, i - start);
        }
        tokens->push_back(std::move(token));
    }
}

bool parseBinary(const std::vector<Token>& values, std::vector<BYTE>* data, std::string* error) {
    std::string digits;
    for (const Token& value : values) {
        if (value.quoted) {
            *error = "a string in binary data";
            return false;
        }
        digits += value.word;
    }
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        int high = hexDigitValue(digits[i]);
        int low = hexDigitValue(digits[i + 1]);
        if (high < 0 || low < 0) {
            break;
        }
        data->push_back(BYTE(high * 16 + low));
    }
    if (data->size() * 2 != digits.size()) {
        *error = "binary data that is not pairs of hexadecimal digits";
        return false;
    }
    return true;
}

// The data of a property line's values for `dataType`.
bool parseData(DWORD dataType, const std::vector<Token>& values, std::vector<BYTE>* data,
               std::string* error) {
    if (dataType == BINARY_METADATA) {
        return parseBinary(values, data, error);
    }
    if (dataType == DWORD_METADATA) {
        DWORD value = 0;
        if (values.size() != 1 || values[0].quoted || !parseNumber(values[0].word, &value)) {
            *error = "a DWORD needs one number";
            return false;
        }
        const auto* bytes = reinterpret_cast<const BYTE*>(&value);
        data->assign(bytes, bytes + sizeof value);
        return true;
    }
    bool multi = dataType == MULTISZ_METADATA;
    if (!multi && values.size() != 1) {
        *error = "a string type needs one string";
        return false;
    }
    for (const Token& value : values) {
        if (!value.quoted || value.units.find(u'\0') != std::u16string::npos ||
            (multi && value.units.empty())) {
            *error = multi ? "a MULTISZ needs non-empty strings without \\u0000"
                           : "a string type needs one string without \\u0000";
            return false;
        }
        appendUnits(value.units, data);
    }
    if (multi) {
        data->push_back(0);
        data->push_back(0);
    }
    return true;
}

bool parseProperty(std::string_view text, Property* property, std::string* error) {
    std::vector<Token> tokens;
    if (!tokenize(text, &tokens, error)) {
        return false;
    }
    if (tokens.size() < 4 || tokens[0].quoted || tokens[1].quoted || tokens[2].quoted ||
        tokens[3].quoted) {
        *error = "not a property: identifier user-type attributes data-type value";
        return false;
    }
    if (!parseIdentifier(tokens[0].word, &property->identifier)) {
        *error = "bad identifier \"" + tokens[0].word + "\"";
        return false;
    }
    if (!parseUserType(tokens[1].word, &property->userType)) {
        *error = "bad user type \"" + tokens[1].word + "\"";
        return false;
    }
    if (!parseAttributes(tokens[2].word, &property->attributes)) {
        *error = "bad attributes \"" + tokens[2].word + "\"";
        return false;
    }
    property->attributes = storedAttributes(property->attributes);
    if (!parseDataType(tokens[3].word, &property->dataType)) {
        *error = "bad data type \"" + tokens[3].word + "\"";
        return false;
    }
    std::vector<Token> values(tokens.begin() + 4, tokens.end());
    return parseData(property->dataType, values, &property->data, error);
}

bool parseSection(std::string_view text, KeyPath* path, std::string* error) {
    if (text.size() < 2 || text.back() != ']') {
        *error = "a section needs a closing ]";
        return false;
    }
    std::string_view rest = text.substr(1, text.size() - 2);
    while (!rest.empty()) {
        size_t separator = rest.find_first_of("/\\");
        std::string_view name = rest.substr(0, separator);
        if (!name.empty() && !isStorableName(name)) {
            *error = "bad key name \"" + std::string(name) + "\"";
            return false;
        }
        if (!name.empty()) {
            path->emplace_back(name);
        }
        rest.remove_prefix(separator == std::string_view::npos ? rest.size() : separator + 1);
    }
    if (path->size() > kMaxKeyDepth) {
        *error = "keys nested too deeply";
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<MetabaseKey> parseMetabase(std::string_view text,
                                           std::vector<ParseProblem>* problems) {
    auto root = std::make_unique<MetabaseKey>(std::string());
    MetabaseKey* key = nullptr;
    bool inBadSection = false;
    for (const LogicalLine& line : logicalLines(text)) {
        std::string error;
        if (line.text.front() == '[') {
            KeyPath path;
            bool created = false;
            inBadSection = !parseSection(line.text, &path, &error);
            key = inBadSection ? nullptr : &createKey(*root, path, &created);
        } else if (key == nullptr) {
            // The properties of a bad section go with it, reported once.
            if (!inBadSection) {
                error = "a property before the first section";
            }
        } else {
            Property property;
            if (parseProperty(line.text, &property, &error)) {
                if (key->findEntry(property.identifier) != nullptr) {
                    problems->push_back({line.number,
                                         "identifier " + std::to_string(property.identifier) +
                                             " again in this key; the earlier line is ignored",
                                         false});
                }
                key->setEntry(std::move(property));
            }
        }
        if (!error.empty()) {
            problems->push_back({line.number, std::move(error)});
        }
    }
    return root;
}

}  // namespace standin::metabase
