// VMSettings.pref: the defaults, every key and its value syntax, the entry syntax, the
// numbers, CR LF files, over-long entries and their messages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "native/isapi/config/configuration.h"
#include "standin_world.h"

using namespace brevant::isapi;
using ConfigTest = isapitest::HomeTest;

namespace {

// The record as one line of text, so that a case states all it expects at once.
std::string describe(const JDK1_1InitArgs& s) {
    std::string jit = s.properties == nullptr ? "none" : s.properties[0];
    jit += s.properties != nullptr && s.properties[1] != nullptr ? "+more" : "";
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
    // Reads `content` as VMSettings.pref (none when null) into a record first filled with
    // garbage, so that every default has to be set.
    std::string read(const char* content) {
        if (content != nullptr) {
            writeData("VMSettings.pref", content);
        }
        std::memset(&settings_, 0x5A, sizeof settings_);
        kind_ = getVMSettings(&settings_);
        return describe(settings_);
    }
    JDK1_1InitArgs settings_;
    JavaVMKind kind_ = JVM_DEFAULT;
};

TEST_F(VMSettingsTest, WithoutFileTheDefaultsAndTheJitOnListAreSet) {
    EXPECT_EQ(read(nullptr),
              std::string(kDefaults, sizeof kDefaults - 5) + "java.compiler=symcjit");
    EXPECT_EQ(kind_, JVM_DEFAULT);
    EXPECT_EQ(settings_.version, 0x10001);
    EXPECT_EQ(settings_.checkSource + settings_.debugging + settings_.debugPort, 0);
    EXPECT_TRUE(!settings_.classpath && !settings_.vfprintf && !settings_.exit && !settings_.abort);
}

TEST_F(VMSettingsTest, EmptyOneByteOrKeylessFilesLeaveTheDefaultsWithoutJitList) {
    for (const char* content : {"", "\n", "\r\n", "# nothing to set\n"}) {
        EXPECT_EQ(read(content), kDefaults) << testing::PrintToString(content);
        EXPECT_EQ(kind_, JVM_DEFAULT);
    }
}

// The same file saved with CR LF line ends means the same.
TEST_F(VMSettingsTest, EveryKeySetsItsField) {
    const char* expected =
        "native=262144 java=524288 min=4194304 max=67108864 verify=2 classGC=0 verboseGC=1 "
        "asyncOff=1 verbose=1 jit=java.compiler=";
    for (const char* end : {"\n", "\r\n"}) {
        const std::string all =
            std::string("nativeStackSize=256") + end + "javaStackSize=512" + end +
            "minHeapSize=4096" + end + "maxHeapSize=65536" + end + "enableVerboseGC=true" + end +
            "verbose=true" + end + "enableJITC=false" + end + "enableClassGC=false" + end +
            "disableAsyncGC=true" + end + "verify=ALL" + end + "javaVM=HOTSPOT" + end;
        EXPECT_EQ(read(all.c_str()), expected);
        EXPECT_EQ(kind_, JVM_HOTSPOT);
    }
    EXPECT_EQ(read("enableJITC=true\r\n"),
              std::string(kDefaults, sizeof kDefaults - 5) + "java.compiler=symcjit");
    EXPECT_EQ(debugOutput(), "");
}

TEST_F(VMSettingsTest, ValuesAndEntrySyntax) {
    const struct {
        const char* content;
        jint JDK1_1InitArgs::*field;
        jint value;
    } cases[] = {
        // Words match only when whole.
        {"verbose=true \n", &JDK1_1InitArgs::verbose, 0},
        {"enableVerboseGC=True\n", &JDK1_1InitArgs::enableVerboseGC, 0},
        {"disableAsyncGC=true\r\r\n", &JDK1_1InitArgs::disableAsyncGC, 0},
        {"enableClassGC=yes\n", &JDK1_1InitArgs::enableClassGC, 0},
        {"verify=ALL\nverify=NONE\n", &JDK1_1InitArgs::verifyMode, 0},
        {"verify=REMOTE\n", &JDK1_1InitArgs::verifyMode, 1},
        {"verify=ALL\nverify=none\n", &JDK1_1InitArgs::verifyMode, 1},
        {"verify=ALL\nverify=NONE \n", &JDK1_1InitArgs::verifyMode, 1},
        {"verify=ALL\nverify=\n", &JDK1_1InitArgs::verifyMode, 1},
        // The last line counts only with its line feed.
        {"maxHeapSize=65536\n", &JDK1_1InitArgs::maxHeapSize, 67108864},
        {"maxHeapSize=65536", &JDK1_1InitArgs::maxHeapSize, 0},
        {"minHeapSize=1\nmaxHeapSize=65536\r\n\r", &JDK1_1InitArgs::minHeapSize, 1024},
        {"minHeapSize=1\nmaxHeapSize=65536\r\n\r", &JDK1_1InitArgs::maxHeapSize, 67108864},
        // A key given twice takes its last value; keys are case-sensitive.
        {"maxHeapSize=1\nmaxHeapSize=2\nMaxHeapSize=3\n", &JDK1_1InitArgs::maxHeapSize, 2048},
        // A line without "=" becomes the front of the next key, which then matches nothing.
        {"# heap\nmaxHeapSize=8\nminHeapSize=4\n", &JDK1_1InitArgs::maxHeapSize, 0},
        {"# heap\nmaxHeapSize=8\nminHeapSize=4\n", &JDK1_1InitArgs::minHeapSize, 4096},
        // The value runs to the line end, "=" included.
        {"verify=NONE=\n", &JDK1_1InitArgs::verifyMode, 1},
        {"javaStackSize=1=2\n", &JDK1_1InitArgs::javaStackSize, 1024},
        // Kilobytes saturate to 32 bits, then wrap when multiplied.
        {"nativeStackSize=4194304\n", &JDK1_1InitArgs::nativeStackSize, 0},  // 2^32 bytes
        {"nativeStackSize=2097151\n", &JDK1_1InitArgs::nativeStackSize, 2147482624},
        {"nativeStackSize=2097152\n", &JDK1_1InitArgs::nativeStackSize, INT32_MIN},
        {"nativeStackSize=2147483647\n", &JDK1_1InitArgs::nativeStackSize, -1024},
        {"nativeStackSize=99999999999\n", &JDK1_1InitArgs::nativeStackSize, -1024},
        {"nativeStackSize=-5\n", &JDK1_1InitArgs::nativeStackSize, -5120},
        {"nativeStackSize=-2147483648\n", &JDK1_1InitArgs::nativeStackSize, 0},
        {"nativeStackSize=-99999999999\n", &JDK1_1InitArgs::nativeStackSize, 0},
        {"nativeStackSize=  +12abc\n", &JDK1_1InitArgs::nativeStackSize, 12288},
        {"nativeStackSize=abc\n", &JDK1_1InitArgs::nativeStackSize, 0},
        {"nativeStackSize=\n", &JDK1_1InitArgs::nativeStackSize, 0},
    };
    for (const auto& c : cases) {
        read(c.content);
        EXPECT_EQ(settings_.*c.field, c.value) << testing::PrintToString(c.content);
    }
    EXPECT_EQ(debugOutput(), "");
}

TEST_F(VMSettingsTest, JavaVMNamesTheKindInCapitals) {
    const std::pair<const char*, JavaVMKind> cases[] = {
        {"HOTSPOT", JVM_HOTSPOT}, {"IBM", JVM_IBM},     {"MICROSOFT", JVM_MICROSOFT},
        {"hotspot", JVM_DEFAULT}, {"SUN", JVM_DEFAULT}, {"IBM\r", JVM_IBM},
        {"IBM\r\r", JVM_DEFAULT}};
    for (const auto& [value, kind] : cases) {
        read(("javaVM=" + std::string(value) + "\n").c_str());
        EXPECT_EQ(kind_, kind) << testing::PrintToString(value);
    }
}

TEST_F(VMSettingsTest, OverlongKeysAndValuesAreSkippedAndLogged) {
    const std::string key31(31, 'k');
    const std::string value127 = std::string(126, '0') + "1";
    read((key31 + "=1\nmaxHeapSize=" + value127 + "\n").c_str());
    EXPECT_EQ(settings_.maxHeapSize, 1024);
    EXPECT_EQ(debugOutput(), "");
    read(
        ("maxHeapSize=1\n" + key31 + "k=x\nmaxHeapSize=" + value127 + "0\nverbose=true\n").c_str());
    EXPECT_EQ(settings_.maxHeapSize, 1024);
    EXPECT_EQ(settings_.verbose, 1);
    EXPECT_EQ(debugOutput(),
              "Brevant: VMSettings.pref: entry too long, skipped: " + std::string(32, 'k') +
                  "=x\n" + "Brevant: VMSettings.pref: entry too long, skipped: " + "maxHeapSize=" +
                  std::string(28, '0') + "\n");
}

}  // namespace
