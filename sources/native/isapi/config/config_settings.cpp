// VMSettings.pref: key=value lines that fill the JNI 1.1 settings record and choose the
// kind of VM. The record carries the settings for every kind of VM; the JVM host
// translates it for VMs that take option strings.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "native/isapi/config/config_file.h"
#include "native/isapi/config/configuration.h"

namespace brevant::isapi {

namespace {

constexpr char kSettingsFile[] = "VMSettings.pref";
constexpr size_t kMaxKeyLength = 31;
constexpr size_t kMaxValueLength = 127;

// The two fixed JIT lists the record's properties field may point at. The record's field
// is not const, so neither are they; nothing writes to them.
char jitOnText[] = "java.compiler=symcjit";
char jitOffText[] = "java.compiler=";
char* jitOnList[] = {jitOnText, nullptr};
char* jitOffList[] = {jitOffText, nullptr};

void resetToDefaults(JDK1_1InitArgs* settings) {
    *settings = JDK1_1InitArgs{};
    settings->version = JNI_VERSION_1_1;
    settings->verifyMode = 1;  // remote
    settings->enableClassGC = 1;
}

// Decimal kilobytes to bytes. The number saturates at the 32-bit range and the product
// wraps as an unsigned 32-bit value, so the result is the same whatever the width of
// `long` and never undefined.
jint kilobytesToBytes(const std::string& value) {
    long long number = std::strtoll(value.c_str(), nullptr, 10);
    if (number > INT32_MAX) {
        number = INT32_MAX;
    } else if (number < INT32_MIN) {
        number = INT32_MIN;
    }
    const uint32_t bytes = static_cast<uint32_t>(static_cast<int32_t>(number)) * 1024u;
    return static_cast<jint>(static_cast<int32_t>(bytes));
}

jint isTrue(std::string_view value) {
    return value == "true" ? 1 : 0;
}

jint verifyMode(std::string_view value) {
    if (value == "NONE") {
        return 0;
    }
    return value == "ALL" ? 2 : 1;
}

JavaVMKind vmKind(std::string_view value) {
    if (value == "HOTSPOT") {
        return JVM_HOTSPOT;
    }
    if (value == "IBM") {
        return JVM_IBM;
    }
    return value == "MICROSOFT" ? JVM_MICROSOFT : JVM_DEFAULT;
}

// One entry; unknown keys change nothing.
void applySetting(std::string_view key, const std::string& value, JDK1_1InitArgs* settings,
                  JavaVMKind* kind) {
    if (key == "nativeStackSize") {
        settings->nativeStackSize = kilobytesToBytes(value);
    } else if (key == "javaStackSize") {
        settings->javaStackSize = kilobytesToBytes(value);
    } else if (key == "minHeapSize") {
        settings->minHeapSize = kilobytesToBytes(value);
    } else if (key == "maxHeapSize") {
        settings->maxHeapSize = kilobytesToBytes(value);
    } else if (key == "enableVerboseGC") {
        settings->enableVerboseGC = isTrue(value);
    } else if (key == "verbose") {
        settings->verbose = isTrue(value);
    } else if (key == "enableJITC") {
        settings->properties = isTrue(value) ? jitOnList : jitOffList;
    } else if (key == "enableClassGC") {
        settings->enableClassGC = isTrue(value);
    } else if (key == "disableAsyncGC") {
        settings->disableAsyncGC = isTrue(value);
    } else if (key == "verify") {
        settings->verifyMode = verifyMode(value);
    } else if (key == "javaVM") {
        *kind = vmKind(value);
    }
}

}  // namespace

JavaVMKind getVMSettings(JDK1_1InitArgs* settings) {
    resetToDefaults(settings);
    JavaVMKind kind = JVM_DEFAULT;
    ConfigFile file = readConfigFile(getDataDirectory(), kSettingsFile);
    if (file.status == ConfigFileStatus::kMissing) {
        settings->properties = jitOnList;
        return kind;
    }
    if (file.status != ConfigFileStatus::kRead) {
        return kind;
    }
    // A key runs to the next "=", across line ends (a line without "=" becomes the front
    // of the next key); its value runs to the next LF. A last line without LF is no entry.
    const std::string_view text = file.text;
    size_t position = 0;
    while (true) {
        const size_t equals = text.find('=', position);
        if (equals == std::string_view::npos) {
            break;
        }
        const size_t lineEnd = text.find('\n', equals + 1);
        if (lineEnd == std::string_view::npos) {
            break;
        }
        const std::string_view key = text.substr(position, equals - position);
        const std::string_view value = text.substr(equals + 1, lineEnd - equals - 1);
        if (key.size() > kMaxKeyLength || value.size() > kMaxValueLength) {
            logEntryTooLong(kSettingsFile, text.substr(position, lineEnd - position));
        } else {
            applySetting(key, std::string(value), settings, &kind);
        }
        position = lineEnd + 1;
    }
    return kind;
}

}  // namespace brevant::isapi
