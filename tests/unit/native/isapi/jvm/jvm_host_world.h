// What the JVM host's tests put in front of it and read back: Java installations in the
// registry, as REGEDIT4 text for the registry stand-in's file, settings records as the
// configuration readers leave them, and the native log's entries without their stamps.
#ifndef TESTS_UNIT_NATIVE_ISAPI_JVM_JVM_HOST_WORLD_H
#define TESTS_UNIT_NATIVE_ISAPI_JVM_JVM_HOST_WORLD_H

#include <string>
#include <vector>

#include "native/isapi/jvm/jdk11_init_args.h"

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

// REGEDIT4 sections of an installation as installers write it: the key with
// "CurrentVersion" (left out when `version` is empty) and, unless `home` is null, the version
// subkey ("1.2" without a version) with "JavaHome".
std::string installation(const std::string& key, const std::string& version, const char* home);

// Replaces the registry file at `path` with these sections.
void writeRegistry(const std::string& path, const std::string& sections);

// The settings record as the configuration readers leave it without VMSettings.pref.
brevant::isapi::JDK1_1InitArgs defaultSettings();

// The entries of the native log at `path` after "Logging started", stamps aside. An entry
// runs to the CR LF before the next stamp (VM output may hold CR LF); a part that is not an
// entry becomes a "<<...>>" line that no expectation matches.
Lines nativeLogEntries(const std::string& path);

// A null-terminated property list for a settings record, with storage of its own.
class PropertyList {
  public:
    explicit PropertyList(Lines properties);
    PropertyList(const PropertyList&) = delete;
    PropertyList& operator=(const PropertyList&) = delete;
    char** get() { return pointers_.data(); }

  private:
    Lines texts_;
    std::vector<char*> pointers_;
};

}  // namespace vmtest

#endif  // TESTS_UNIT_NATIVE_ISAPI_JVM_JVM_HOST_WORLD_H
