#include "log_entries.h"

#include <cstring>

#include "test_paths.h"

namespace vmtest {

namespace {

constexpr size_t kStampSize = 27;  // "[Sun Dec 06 01:49:33 2026] "
constexpr char kProductPrefix[] = "Brevant: ";

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isStampAt(const std::string& text, size_t at) {
    if (at + kStampSize > text.size()) {
        return false;
    }
    const char* s = text.data() + at;
    return s[0] == '[' && s[4] == ' ' && s[8] == ' ' && isDigit(s[9]) && isDigit(s[10]) &&
           s[11] == ' ' && s[14] == ':' && s[17] == ':' && s[20] == ' ' && isDigit(s[21]) &&
           isDigit(s[24]) && s[25] == ']' && s[26] == ' ';
}

}  // namespace

std::vector<std::string> nativeLogEntries(const std::string& path) {
    const std::string text = testsupport::readFile(path);
    std::vector<std::string> entries;
    size_t at = 0;
    while (at < text.size() && isStampAt(text, at) &&
           text.compare(at + kStampSize, std::strlen(kProductPrefix), kProductPrefix) == 0) {
        size_t begin = at + kStampSize + std::strlen(kProductPrefix);
        size_t end = text.find("\r\n", begin);
        while (end != std::string::npos && end + 2 < text.size() && !isStampAt(text, end + 2)) {
            end = text.find("\r\n", end + 2);
        }
        if (end == std::string::npos) {
            break;
        }
        entries.push_back(text.substr(begin, end - begin));
        at = end + 2;
    }
    if (at != text.size()) {
        entries.push_back("<<not an entry at offset " + std::to_string(at) + ": " +
                          text.substr(at, 80) + ">>");
    }
    if (!entries.empty() && entries.front() == "Logging started") {
        entries.erase(entries.begin());
    }
    return entries;
}

}  // namespace vmtest
