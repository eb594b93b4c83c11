// vmoptions.properties and vmproperties.properties: extra VM option strings and extra
// Java system properties, one per line, passed on as they stand.
#include <cstring>
#include <string>

#include "native/isapi/config/config_file.h"
#include "native/isapi/config/config_lines.h"
#include "native/isapi/config/configuration.h"

namespace brevant::isapi {

int getVMOptions(std::string options[kMaxVMOptions]) {
    constexpr char kOptionsFile[] = "vmoptions.properties";
    ConfigFile file = readConfigFile(getDataDirectory(), kOptionsFile);
    if (file.status != ConfigFileStatus::kRead) {
        return 0;
    }
    return collectLines(file.text, kOptionsFile, kMaxVMOptions,
                        "The VM Options limit has been reached!!!",
                        [options](int slot, std::string_view line) { options[slot] = line; });
}

int getVMProperties(char** slots) {
    constexpr char kPropertiesFile[] = "vmproperties.properties";
    ConfigFile file = readConfigFile(getDataDirectory(), kPropertiesFile);
    if (file.status != ConfigFileStatus::kRead) {
        return 0;
    }
    // Heap copies: the settings record holds plain C strings until the VM has taken them.
    return collectLines(file.text, kPropertiesFile, kMaxVMProperties,
                        "The VM Properties limit has been reached!!!",
                        [slots](int slot, std::string_view line) {
                            char* copy = new char[line.size() + 1];
                            std::memcpy(copy, line.data(), line.size());
                            copy[line.size()] = '\0';
                            slots[slot] = copy;
                        });
}

}  // namespace brevant::isapi
