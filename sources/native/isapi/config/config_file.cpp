// Whole-file reading for the configuration readers: the platform's file calls, the size
// and read failure messages, and the line-end folding that makes CR LF files read like
// LF files.
#include "native/isapi/config/config_file.h"

#include <windows.h>

#include <vector>

#include "native/isapi/isapi_platform.h"
#include "native/isapi/log/native_log.h"
#include "native/common/basics/owned_handles.h"

namespace brevant::isapi {

namespace {

constexpr size_t kShownEntryLength = 40;

// CR directly before LF belongs to the line end; every other byte stays.
std::string foldLineEnds(const char* bytes, size_t length) {
    std::string text;
    text.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        if (bytes[i] == '\r' && i + 1 < length && bytes[i + 1] == '\n') {
            continue;
        }
        text.push_back(bytes[i]);
    }
    return text;
}

ConfigFile failed(const std::string& message) {
    logMessage(message, true);
    return ConfigFile{ConfigFileStatus::kFailed, {}};
}

}  // namespace

ConfigFile readConfigFile(const std::string& directory, const char* name) {
    const std::string path = directory + kPathSeparator + name;
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) {
        return ConfigFile{ConfigFileStatus::kMissing, {}};
    }
    DWORD high = 0;
    const DWORD size = GetFileSize(file.get(), &high);
    // A file of 4 GB or more cannot be read whole in one call; it is no configuration file.
    if (size == INVALID_FILE_SIZE || high != 0) {
        return failed(std::string("Failed to get size of ") + name + ".");
    }
    if (size <= 1) {
        return ConfigFile{ConfigFileStatus::kTooShort, {}};
    }
    std::vector<char> bytes(size);
    DWORD count = 0;
    if (!ReadFile(file.get(), bytes.data(), size, &count, nullptr)) {
        return failed(std::string("Failed to read ") + name + ".");
    }
    ConfigFile result{ConfigFileStatus::kRead, foldLineEnds(bytes.data(), count)};
    // "\r\n" alone is the twin of a one-byte "\n" file, and reads the same.
    if (result.text.size() <= 1) {
        return ConfigFile{ConfigFileStatus::kTooShort, {}};
    }
    return result;
}

void logEntryTooLong(const char* name, std::string_view entry) {
    logMessage(std::string(name) +
                   ": entry too long, skipped: " + std::string(entry.substr(0, kShownEntryLength)),
               true);
}

}  // namespace brevant::isapi
