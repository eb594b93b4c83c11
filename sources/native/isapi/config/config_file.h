// Reading one of the configuration files of the data directory whole, and the messages
// about its entries. Shared by the readers of Classpath.pref, VMSettings.pref,
// vmoptions.properties and vmproperties.properties.
#ifndef BREVANT_ISAPI_CONFIG_CONFIG_FILE_H
#define BREVANT_ISAPI_CONFIG_CONFIG_FILE_H

#include <string>
#include <string_view>

namespace brevant::isapi {

enum class ConfigFileStatus {
    kMissing,   // the file did not open: silent, the reader applies its defaults
    kFailed,    // size or read failure, already logged
    kTooShort,  // 0 or 1 byte, once its line ends are counted as LF
    kRead,      // text holds the content
};

struct ConfigFile {
    ConfigFileStatus status = ConfigFileStatus::kMissing;
    // The content with every CR LF turned into LF, so that a file saved with Windows line
    // ends reads as the same file saved with LF ends. A lone CR stays.
    std::string text;
};

// Opens `name` in `directory` for shared reading and reads it whole. Logs
// "Failed to get size of <name>." or "Failed to read <name>." on those failures.
ConfigFile readConfigFile(const std::string& directory, const char* name);

// Logs "<name>: entry too long, skipped: " and the first 40 characters of the entry.
void logEntryTooLong(const char* name, std::string_view entry);

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_CONFIG_CONFIG_FILE_H
