// What the JVM host's tests (and the engine bridge's) put in front of it and read back: Java
// installations and other registry sections as REGEDIT4 text for the registry stand-in, the
// settings record the configuration readers leave without VMSettings.pref, and the native log's
// entries without their stamps.
#ifndef TESTS_UNIT_NATIVE_ISAPI_JVM_JVM_HOST_WORLD_H
#define TESTS_UNIT_NATIVE_ISAPI_JVM_JVM_HOST_WORLD_H

#include <regex>
#include <string>
#include <vector>

#include "native/isapi/jvm/jdk11_init_args.h"
#include "test_paths.h"

namespace vmtest {

using Lines = std::vector<std::string>;

// The registry keys the JVM host searches.
constexpr char kJavaSoftKit[] = "SOFTWARE\\JavaSoft\\Java Development Kit";
constexpr char kJavaSoftRuntime[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
constexpr char kCurrentKit[] = "SOFTWARE\\JavaSoft\\JDK";
constexpr char kCurrentRuntime[] = "SOFTWARE\\JavaSoft\\JRE";
constexpr char kIBMTechKit[] = "SOFTWARE\\IBM\\IBM Developer Kit, Java(TM) Tech. Edition";
constexpr char kIBMTechRuntime[] = "SOFTWARE\\IBM\\IBM Runtime Environment, Java(TM) Tech. Edition";
constexpr char kIBMWin32Kit[] = "SOFTWARE\\IBM\\IBM WIN32 Developer Kit, Java(TM) Edition";
constexpr char kIBMWin32Runtime[] =
    "SOFTWARE\\IBM\\IBM WIN32 Runtime Environment, Java(TM) Edition";

inline std::string quoted(const std::string& text) {
    return "\"" + std::regex_replace(text, std::regex(R"(["\\])"), "\\$&") + "\"";
}

// A REGEDIT4 section of HKEY_LOCAL_MACHINE\<key> with one text value.
inline std::string section(const std::string& key, const std::string& name,
                           const std::string& value) {
    return "[HKEY_LOCAL_MACHINE\\" + key + "]\n" + quoted(name) + "=" + quoted(value) + "\n\n";
}

// An installation as installers write it: the key with "CurrentVersion" (none for an empty
// `version`) and, unless `home` is null, the version subkey ("1.2" without one) with "JavaHome".
inline std::string installation(const std::string& key, const std::string& version,
                                const char* home) {
    return (version.empty() ? "[HKEY_LOCAL_MACHINE\\" + key + "]\n\n"
                            : section(key, "CurrentVersion", version)) +
           (home ? section(key + "\\" + (version.empty() ? "1.2" : version), "JavaHome", home)
                 : "");
}

inline void writeRegistry(const std::string& path, const std::string& sections) {
    testsupport::writeFile(path, "REGEDIT4\n\n" + sections);
}

inline brevant::isapi::JDK1_1InitArgs defaultSettings() {
    brevant::isapi::JDK1_1InitArgs settings{};
    settings.version = JNI_VERSION_1_1;
    settings.verifyMode = settings.enableClassGC = 1;
    return settings;
}

// The entries after "Logging started", stamps aside. An entry runs to the CR LF before the
// next stamp (VM output may hold CR LF); text that is not an entry becomes a "<<...>>" line.
inline Lines nativeLogEntries(const std::string& path) {
    static const std::regex stamp(R"(\[\w{3} \w{3} \d\d \d\d:\d\d:\d\d \d{4}\] Brevant: )");
    const std::string text = std::regex_replace(testsupport::readFile(path), stamp, "\x01");
    Lines entries;
    for (size_t at = 0, next; at < text.size(); at = next) {
        next = std::min(text.find('\x01', at + 1), text.size());
        const std::string entry = text.substr(at, next - at);
        const bool whole = entry.starts_with('\x01') && entry.ends_with("\r\n");
        entries.push_back(whole ? entry.substr(1, entry.size() - 3) : "<<" + entry + ">>");
    }
    if (!entries.empty() && entries.front() == "Logging started") {
        entries.erase(entries.begin());
    }
    return entries;
}

// A null-terminated property list for a settings record, with storage of its own.
class PropertyList {
  public:
    explicit PropertyList(Lines properties) : texts_(std::move(properties)) {
        for (std::string& text : texts_) {
            pointers_.push_back(text.data());
        }
        pointers_.push_back(nullptr);
    }
    PropertyList(const PropertyList&) = delete;
    PropertyList& operator=(const PropertyList&) = delete;
    char** get() { return pointers_.data(); }

  private:
    Lines texts_;
    std::vector<char*> pointers_;
};

}  // namespace vmtest

#endif  // TESTS_UNIT_NATIVE_ISAPI_JVM_JVM_HOST_WORLD_H
