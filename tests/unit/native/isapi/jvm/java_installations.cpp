#include "java_installations.h"

#include "test_paths.h"

namespace vmtest {

std::string quotedValue(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string installation(const std::string& key, const std::string& version,
                         const std::string& home) {
    std::string text = "[HKEY_LOCAL_MACHINE\\" + key + "]\n";
    if (!version.empty()) {
        text += "\"CurrentVersion\"=" + quotedValue(version) + "\n";
    }
    text += "\n[HKEY_LOCAL_MACHINE\\" + key + "\\" + (version.empty() ? "1.2" : version) + "]\n";
    text += "\"JavaHome\"=" + quotedValue(home) + "\n\n";
    return text;
}

std::string installationWithoutSubkey(const std::string& key, const std::string& version) {
    return "[HKEY_LOCAL_MACHINE\\" + key + "]\n\"CurrentVersion\"=" + quotedValue(version) + "\n\n";
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

PropertyList::PropertyList(std::vector<std::string> properties) : texts_(std::move(properties)) {
    for (std::string& text : texts_) {
        pointers_.push_back(text.data());
    }
    pointers_.push_back(nullptr);
}

}  // namespace vmtest
