// VMSettings.pref: the defaults, every key and its value syntax, the entry syntax, the
// numbers, CR LF files, over-long entries and the failure messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config_test_home.h"
#include "native/isapi/config/configuration.h"
#include "stand-ins/win32/include/standin_test_hooks.h"

using namespace brevant::isapi;
using configtest::ConfigTest;

namespace {

// The record as one line of text, so that a case states all it expects at once.
std::string describe(const JDK1_1InitArgs& s) {
    std::string jit = s.properties == nullptr ? "none" : s.properties[0];
    if (s.properties != nullptr && s.properties[1] != nullptr) {
        jit += "+more";
    }
    return "native=" + std::to_string(s.nativeStackSize) +
           " java=" + std::to_string(s.javaStackSize) + " min=" + std::to_string(s.minHeapSize) +
           " max=" + std::to_string(s.maxHeapSize) + " verify=" + std::to_string(s.verifyMode) +
           " classGC=" + std::to_string(s.enableClassGC) +
           " verboseGC=" + std::to_string(s.enableVerboseGC) +
           " asyncOff=" + std::to_string(s.disableAsyncGC) +
           " verbose=" + std::to_string(s.verbose) + " jit=" + jit;
}

constexpr char kDefaults[] =
    "native=0 java=0 min=0 max=0 verify=1 classGC=1 verboseGC=0 asyncOff=0 verbose=0 jit=none";

class VMSettingsTest : public ConfigTest {
  protected:
    // Reads `content` as VMSettings.pref into a record first filled with garbage, so that
    // every default has to be set.
    std::string read(const std::string& content, JavaVMKind* kind = nullptr) {
        writeData("VMSettings.pref", content);
        std::memset(&settings_, 0x5A, sizeof settings_);
        JavaVMKind result = getVMSettings(&settings_);
        if (kind != nullptr) {
            *kind = result;
        }
        return describe(settings_);
    }
    JDK1_1InitArgs settings_;
};

TEST_F(VMSettingsTest, WithoutFileTheDefaultsAndTheJitOnListAreSet) {
    std::memset(&settings_, 0x5A, sizeof settings_);
    EXPECT_EQ(getVMSettings(&settings_), JVM_DEFAULT);
    EXPECT_EQ(settings_.version, 0x10001);
    EXPECT_EQ(settings_.checkSource, 0);
    EXPECT_EQ(settings_.classpath, nullptr);
    EXPECT_EQ(settings_.vfprintf, nullptr);
    EXPECT_EQ(settings_.exit, nullptr);
    EXPECT_EQ(settings_.abort, nullptr);
    EXPECT_EQ(settings_.debugging, JNI_FALSE);
    EXPECT_EQ(settings_.debugPort, 0);
    EXPECT_EQ(describe(settings_),
              "native=0 java=0 min=0 max=0 verify=1 classGC=1 verboseGC=0 asyncOff=0 verbose=0 "
              "jit=java.compiler=symcjit");
    EXPECT_EQ(debugOutput(), "");
}

TEST_F(VMSettingsTest, EmptyOneByteOrKeylessFilesLeaveTheDefaultsWithoutJitList) {
    for (const char* content : {"", "\n", "\r\n", "# nothing to set\n"}) {
        JavaVMKind kind = JVM_IBM;
        EXPECT_EQ(read(content, &kind), kDefaults) << testing::PrintToString(content);
        EXPECT_EQ(kind, JVM_DEFAULT);
    }
}

TEST_F(VMSettingsTest, EveryKeySetsItsField) {
    JavaVMKind kind = JVM_DEFAULT;
    const std::string all =
        "nativeStackSize=256\njavaStackSize=512\nminHeapSize=4096\nmaxHeapSize=65536\n"
        "enableVerboseGC=true\nverbose=true\nenableJITC=false\nenableClassGC=false\n"
        "disableAsyncGC=true\nverify=ALL\njavaVM=HOTSPOT\n";
    const char* expected =
        "native=262144 java=524288 min=4194304 max=67108864 verify=2 classGC=0 verboseGC=1 "
        "asyncOff=1 verbose=1 jit=java.compiler=";
    EXPECT_EQ(read(all, &kind), expected);
    EXPECT_EQ(kind, JVM_HOTSPOT);
    // The same file saved with CR LF line ends means the same.
    std::string crlf;
    for (char c : all) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    kind = JVM_DEFAULT;
    EXPECT_EQ(read(crlf, &kind), expected);
    EXPECT_EQ(kind, JVM_HOTSPOT);
    EXPECT_EQ(read("enableJITC=true\r\n"),
              "native=0 java=0 min=0 max=0 verify=1 classGC=1 verboseGC=0 asyncOff=0 verbose=0 "
              "jit=java.compiler=symcjit");
    EXPECT_EQ(debugOutput(), "");
}

TEST_F(VMSettingsTest, WordValuesMatchOnlyWhenWhole) {
    EXPECT_EQ(read("verbose=true \nenableVerboseGC=True\ndisableAsyncGC=true\r\r\n"), kDefaults);
    EXPECT_EQ(read("enableClassGC=yes\n"),
              "native=0 java=0 min=0 max=0 verify=1 classGC=0 verboseGC=0 asyncOff=0 verbose=0 "
              "jit=none");
    const std::pair<const char*, int> verify[] = {{"NONE", 0}, {"ALL", 2},   {"REMOTE", 1},
                                                  {"none", 1}, {"NONE ", 1}, {"", 1}};
    for (const auto& [value, mode] : verify) {
        read(std::string("verify=ALL\nverify=") + value + "\n");
        EXPECT_EQ(settings_.verifyMode, mode) << value;
    }
    const std::pair<const char*, JavaVMKind> kinds[] = {
        {"HOTSPOT", JVM_HOTSPOT}, {"IBM", JVM_IBM},     {"MICROSOFT", JVM_MICROSOFT},
        {"hotspot", JVM_DEFAULT}, {"SUN", JVM_DEFAULT}, {"IBM\r", JVM_IBM},
        {"IBM\r\r", JVM_DEFAULT}};
    for (const auto& [value, expected] : kinds) {
        JavaVMKind kind = JVM_MICROSOFT;
        read(std::string("javaVM=") + value + "\n", &kind);
        EXPECT_EQ(kind, expected) << testing::PrintToString(value);
    }
}

TEST_F(VMSettingsTest, EntrySyntax) {
    // The last line counts only with its line feed.
    read("maxHeapSize=65536\n");
    EXPECT_EQ(settings_.maxHeapSize, 67108864);
    read("maxHeapSize=65536");
    EXPECT_EQ(settings_.maxHeapSize, 0);
    read("minHeapSize=1\nmaxHeapSize=65536\r\n\r");
    EXPECT_EQ(settings_.minHeapSize, 1024);
    EXPECT_EQ(settings_.maxHeapSize, 67108864);
    // A key given twice takes its last value; keys are case-sensitive.
    read("maxHeapSize=1\nmaxHeapSize=2\nMaxHeapSize=3\n");
    EXPECT_EQ(settings_.maxHeapSize, 2048);
    // A line without "=" becomes the front of the next key, which then matches nothing.
    read("# heap\nmaxHeapSize=8\nminHeapSize=4\n");
    EXPECT_EQ(settings_.maxHeapSize, 0);
    EXPECT_EQ(settings_.minHeapSize, 4096);
    // The value runs to the line end, "=" included.
    read("verify=NONE=\njavaStackSize=1=2\n");
    EXPECT_EQ(settings_.verifyMode, 1);
    EXPECT_EQ(settings_.javaStackSize, 1024);
    EXPECT_EQ(debugOutput(), "");
}

TEST_F(VMSettingsTest, NumbersSaturateTo32BitsAndWrapWhenMultiplied) {
    const std::pair<const char*, int32_t> numbers[] = {
        {"65536", 67108864},
        {"4194304", 0},           // 2^22 KB is 2^32 bytes
        {"2097151", 2147482624},  // the largest that fits
        {"2097152", INT32_MIN},
        {"2147483647", -1024},
        {"99999999999", -1024},  // saturates first
        {"-5", -5120},
        {"-2147483648", 0},
        {"-99999999999", 0},
        {"  +12abc", 12288},
        {"abc", 0},
        {"", 0},
    };
    for (const auto& [text, bytes] : numbers) {
        read(std::string("nativeStackSize=") + text + "\n");
        EXPECT_EQ(settings_.nativeStackSize, bytes) << text;
    }
}

TEST_F(VMSettingsTest, OverlongKeysAndValuesAreSkippedAndLogged) {
    const std::string key31(31, 'k');
    const std::string value127 = std::string(126, '0') + "1";
    read(key31 + "=1\nmaxHeapSize=" + value127 + "\n");
    EXPECT_EQ(settings_.maxHeapSize, 1024);
    EXPECT_EQ(debugOutput(), "");

    read("maxHeapSize=1\n" + key31 + "k=x\nmaxHeapSize=" + value127 + "0\nverbose=true\n");
    EXPECT_EQ(settings_.maxHeapSize, 1024);
    EXPECT_EQ(settings_.verbose, 1);
    EXPECT_EQ(debugOutput(),
              "Brevant: VMSettings.pref: entry too long, skipped: " + std::string(32, 'k') +
                  "=x\n" + "Brevant: VMSettings.pref: entry too long, skipped: " + "maxHeapSize=" +
                  std::string(28, '0') + "\n");
}

}  // namespace
