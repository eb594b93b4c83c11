#include "jvm_host_world.h"

#include <regex>

#include "test_paths.h"

namespace vmtest {

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        out += c == '\\' || c == '"' ? std::string{'\\', c} : std::string{c};
    }
    return out + "\"";
}

}  // namespace

std::string installation(const std::string& key, const std::string& version, const char* home) {
    std::string text = "[HKEY_LOCAL_MACHINE\\" + key + "]\n";
    if (!version.empty()) {
        text += "\"CurrentVersion\"=" + quoted(version) + "\n";
    }
    if (home != nullptr) {
        text += "\n[HKEY_LOCAL_MACHINE\\" + key + "\\" + (version.empty() ? "1.2" : version) +
                "]\n\"JavaHome\"=" + quoted(home) + "\n";
    }
    return text + "\n";
}

void writeRegistry(const std::string& path, const std::string& sections) {
    testsupport::writeFile(path, "REGEDIT4\n\n" + sections);
}

brevant::isapi::JDK1_1InitArgs defaultSettings() {
    brevant::isapi::JDK1_1InitArgs settings{};
    settings.version = JNI_VERSION_1_1;
    settings.verifyMode = 1;
    settings.enableClassGC = 1;
    return settings;
}

Lines nativeLogEntries(const std::string& path) {
    static const std::regex stamp(R"((^|\r\n)\[\w{3} \w{3} \d\d \d\d:\d\d:\d\d \d{4}\] Brevant: )");
    const std::string text = testsupport::readFile(path);
    Lines entries;
    size_t from = 0;
    for (std::sregex_iterator it(text.begin(), text.end(), stamp), end; it != end; ++it) {
        const size_t at = static_cast<size_t>(it->position());
        if (at != 0) {
            entries.push_back(from == 0 ? "<<not an entry>>" : text.substr(from, at - from));
        }
        from = at + static_cast<size_t>(it->length());
    }
    if (from != 0) {
        entries.push_back(text.ends_with("\r\n") ? text.substr(from, text.size() - from - 2)
                                                 : "<<no line end>>");
    }
    if (!entries.empty() && entries.front() == "Logging started") {
        entries.erase(entries.begin());
    }
    return entries;
}

PropertyList::PropertyList(Lines properties) : texts_(std::move(properties)) {
    for (std::string& text : texts_) {
        pointers_.push_back(text.data());
    }
    pointers_.push_back(nullptr);
}

}  // namespace vmtest
