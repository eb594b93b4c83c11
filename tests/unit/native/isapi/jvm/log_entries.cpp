#include "log_entries.h"

#include "test_paths.h"

namespace vmtest {

namespace {

constexpr char kLead[] = "] Brevant: ";  // after a stamp "[Sun Dec 06 01:49:33 2026"

bool entryStartsAt(const std::string& text, size_t at) {
    return at + 25 + sizeof kLead - 1 <= text.size() && text[at] == '[' && text[at + 14] == ':' &&
           text[at + 17] == ':' && text.compare(at + 25, sizeof kLead - 1, kLead) == 0;
}

}  // namespace

// An entry runs from its stamp to the CR LF before the next stamp: VM output may hold CR LF.
std::vector<std::string> nativeLogEntries(const std::string& path) {
    const std::string text = testsupport::readFile(path);
    std::vector<std::string> entries;
    size_t at = 0;
    while (entryStartsAt(text, at)) {
        const size_t begin = at + 25 + sizeof kLead - 1;
        size_t end = text.find("\r\n", begin);
        while (end != std::string::npos && end + 2 < text.size() && !entryStartsAt(text, end + 2)) {
            end = text.find("\r\n", end + 2);
        }
        if (end == std::string::npos) {
            break;
        }
        entries.push_back(text.substr(begin, end - begin));
        at = end + 2;
    }
    if (at != text.size()) {
        entries.push_back("<<not an entry: " + text.substr(at, 80) + ">>");
    }
    if (!entries.empty() && entries.front() == "Logging started") {
        entries.erase(entries.begin());
    }
    return entries;
}

}  // namespace vmtest
