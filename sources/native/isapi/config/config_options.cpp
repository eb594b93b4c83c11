// vmoptions.properties and vmproperties.properties: extra VM option strings and extra
// Java system properties, one per line, passed on as they stand.
#include <cstring>
#include <functional>
#include <string>

#include "native/isapi/config/config_file.h"
#include "native/isapi/config/config_lines.h"
#include "native/isapi/config/configuration.h"

namespace brevant::isapi {

namespace {

// The lines of `fileName` in the data directory, handed to `store`; none when it cannot be read.
int collectFileLines(const char* fileName, int limit, const char* limitMessage,
                     const std::function<void(int slot, std::string_view line)>& store) {
    ConfigFile file = readConfigFile(getDataDirectory(), fileName);
    if (file.status != ConfigFileStatus::kRead) {
        return 0;
    }
    return collectLines(file.text, fileName, limit, limitMessage, store);
}

}  // namespace

int getVMOptions(std::string options[kMaxVMOptions]) {
    return collectFileLines("vmoptions.properties", kMaxVMOptions,
                            "The VM Options limit has been reached!!!",
                            [options](int slot, std::string_view line) { options[slot] = line; });
}

int getVMProperties(char** slots) {
    // Heap copies: the settings record holds plain C strings until the VM has taken them.
    return collectFileLines("vmproperties.properties", kMaxVMProperties,
                            "The VM Properties limit has been reached!!!",
                            [slots](int slot, std::string_view line) {
                                char* copy = new char[line.size() + 1];
                                std::memcpy(copy, line.data(), line.size());
                                copy[line.size()] = '\0';
                                slots[slot] = copy;
                            });
}

}  // namespace brevant::isapi
