// The class path the VM starts with: the product's three jars, then the administrator's
// entries from Classpath.pref, one per line.
#include <string>

#include "native/isapi/config/config_file.h"
#include "native/isapi/config/configuration.h"
#include "native/isapi/isapi_platform.h"

namespace brevant::isapi {

std::string getClasspath() {
    const std::string home = getHomeDirectory();
    const std::string lib = home + kPathSeparator + "lib" + kPathSeparator;
    std::string classpath = lib + "servlet.jar" + kClasspathSeparator + lib + "xml.jar" +
                            kClasspathSeparator + lib + "Brevant30.jar";

    ConfigFile file = readConfigFile(getDataDirectory(), "Classpath.pref");
    if (file.status == ConfigFileStatus::kMissing) {
        // The "classes" folder is the default for installations without Classpath.pref;
        // a file, even an empty one, replaces it.
        return classpath + kClasspathSeparator + home + kPathSeparator + "classes";
    }
    if (file.status != ConfigFileStatus::kRead) {
        return classpath;
    }
    std::string& entries = file.text;
    for (char& c : entries) {
        if (c == '\n') {
            c = kClasspathSeparator[0];
        }
    }
    if (entries.back() == kClasspathSeparator[0]) {
        entries.pop_back();  // the last line's end, not an empty entry
    }
    return classpath + kClasspathSeparator + std::string(entries.c_str());
}

}  // namespace brevant::isapi
