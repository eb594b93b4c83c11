// The install home from the registry, the directories under it, the class path from
// Classpath.pref, and the start-up configuration assembled from all the files.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>

#include "native/isapi/config/configuration.h"
#include "native/isapi/isapi_platform.h"
#include "standin_world.h"

using namespace brevant::isapi;
using ConfigTest = isapitest::HomeTest;
using isapitest::under;

namespace {

using InstallHomeTest = ConfigTest;

TEST_F(InstallHomeTest, NoKeyGivesTheDefaultHomeAndTellsTheDebuggerOnly) {
    registry(nullptr);
    EXPECT_EQ(getHomeDirectory(), kDefaultHome);
    EXPECT_EQ(debugOutput(), "Failed to open key: SOFTWARE\\Orlena\\Brevant ISAPI\n");
    EXPECT_EQ(getServletsDirectory(), under(kDefaultHome, "Servlets"));
}

// A value stored without its NUL, or as binary, must not be read past its end (the
// sanitizer build catches a buffer of exactly the value's size); the text ends at a NUL.
TEST_F(InstallHomeTest, ValuesEndAtTheirNulOrTheirEnd) {
    const std::pair<isapitest::RegValue, std::string> cases[] = {
        {{"Home", home(), false}, home()},
        {{"Home", home(), false, REG_BINARY}, home()},
        {{"Home", std::string("C:\\one\0two", 10), false, REG_BINARY}, "C:\\one"},
        {{"Home", "", false}, ""},
    };
    for (const auto& [value, expected] : cases) {
        setHome(value);
        EXPECT_EQ(getHomeDirectory(), expected);
    }
    EXPECT_EQ(debugOutput(), "");
}

TEST_F(InstallHomeTest, FailingRegistryCallsFallBackToTheDefault) {
    for (const char* function : {"RegOpenKeyExA", "RegQueryValueExA"}) {
        StandinFailNextCalls(function, 1, ERROR_ACCESS_DENIED);
        EXPECT_EQ(getHomeDirectory(), kDefaultHome);
    }
    EXPECT_EQ(debugOutput(),
              "Failed to open key: SOFTWARE\\Orlena\\Brevant ISAPI\n"
              "Failed to get Home value for key: SOFTWARE\\Orlena\\Brevant ISAPI\n");
}

// The product's three jars, always first.
std::string jars(const std::string& home) {
    const std::string s = kClasspathSeparator;
    return under(home, "lib", "servlet.jar") + s + under(home, "lib", "xml.jar") + s +
           under(home, "lib", "Brevant30.jar");
}

TEST_F(ConfigTest, ClasspathIsTheJarsThenTheLinesOfClasspathPref) {
    const std::string s = kClasspathSeparator;
    EXPECT_EQ(getClasspath(), jars(home()) + s + under(home(), "classes")) << "without the file";
    const std::pair<std::string, std::string> cases[] = {
        // An empty or one-byte file adds nothing, not even the classes folder.
        {"", ""},
        {"x", ""},
        {"\n", ""},
        {"\r\n", ""},
        {"first\nsecond\n", s + "first" + s + "second"},
        {"first\r\nsecond\r\n", s + "first" + s + "second"},
        {"first\nsecond", s + "first" + s + "second"},
        // Only the last line end is dropped; a lone CR is no line end; the text ends at a NUL.
        {"first\n\n", s + "first" + s},
        {"a\rb\n", s + "a\rb"},
        {std::string("first\nsec\0ond\n", 14), s + "first" + s + "sec"},
    };
    for (const auto& [content, entries] : cases) {
        writeData("Classpath.pref", content);
        EXPECT_EQ(getClasspath(), jars(home()) + entries) << testing::PrintToString(content);
    }
    EXPECT_EQ(debugOutput(), "");
}

// Every file of the data folder: a size or read failure is logged with the file's name, the
// file's entries are left out, and the file is closed on both paths.
TEST_F(ConfigTest, FailedReadsAreLoggedAndTheFileLeftOut) {
    const std::pair<const char*, std::function<bool()>> files[] = {
        {"Classpath.pref", [this] { return getClasspath() == jars(home()); }},
        {"VMSettings.pref",
         [] {
             JDK1_1InitArgs settings;
             std::memset(&settings, 0x5A, sizeof settings);  // the defaults must be set
             return getVMSettings(&settings) == JVM_DEFAULT && settings.maxHeapSize == 0 &&
                    settings.verifyMode == 1 && settings.properties == nullptr;
         }},
        {"vmoptions.properties",
         [] {
             std::string options[kMaxVMOptions];
             return getVMOptions(options) == 0;
         }},
        {"vmproperties.properties",
         [] {
             char* properties[kMaxVMProperties + 1];
             return getVMProperties(properties) == 0;
         }},
    };
    std::string expected;
    for (const auto& [name, readsNothing] : files) {
        writeData(name, "javaVM=IBM\nmaxHeapSize=1\n");
        for (const char* function : {"GetFileSize", "ReadFile"}) {
            StandinFailNextCalls(function, 1, ERROR_ACCESS_DENIED);
            EXPECT_TRUE(readsNothing()) << name << " " << function;
        }
        expected += "Brevant: Failed to get size of " + std::string(name) +
                    ".\nBrevant: Failed to read " + name + ".\n";
        HANDLE writer = CreateFileA(under(dataDirectory(), name).c_str(), GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(writer, INVALID_HANDLE_VALUE) << name << " was left open";
        CloseHandle(writer);
    }
    EXPECT_EQ(debugOutput(), expected);
}

class StartupConfigurationTest : public ConfigTest {
  protected:
    // The property list of an assembled configuration, "|" after each.
    std::string assembledProperties() {
        EXPECT_TRUE(assembleStartupConfiguration(&configuration_));
        std::string text;
        for (char** entry = configuration_.settings.properties; *entry != nullptr; ++entry) {
            text += std::string(*entry) + "|";
        }
        return text;
    }
    StartupConfiguration configuration_;
};

TEST_F(StartupConfigurationTest, WithoutFilesTheJitIsOnAndTheRecordPointsIntoTheObject) {
    EXPECT_EQ(assembledProperties(), "java.compiler=symcjit|");
    EXPECT_EQ(configuration_.settings.properties, configuration_.properties.data());
    EXPECT_EQ(configuration_.properties.size(), 2u);
    EXPECT_EQ(configuration_.settings.classpath, configuration_.classpath.c_str());
    EXPECT_EQ(configuration_.classpath, getClasspath());
    EXPECT_EQ(configuration_.optionCount, 0);
    EXPECT_FALSE(assembleStartupConfiguration(nullptr));
}

TEST_F(StartupConfigurationTest, JitPropertyFollowsTheSettingsAndTheKind) {
    const std::tuple<const char*, JavaVMKind, const char*> cases[] = {
        {"javaVM=IBM\n", JVM_IBM, "java.compiler=ibmjitc|"},
        {"javaVM=IBM\r\nenableJITC=true\r\n", JVM_IBM, "java.compiler=ibmjitc|"},
        {"javaVM=HOTSPOT\n", JVM_HOTSPOT, "java.compiler=symcjit|"},
        {"enableJITC=true\n", JVM_DEFAULT, "java.compiler=symcjit|"},
        {"javaVM=IBM\nenableJITC=false\n", JVM_IBM, "java.compiler=|"},
        {"javaVM=HOTSPOT\nenableJITC=no\n", JVM_HOTSPOT, "java.compiler=|"},
        {"javaVM=MICROSOFT\nenableJITC=false\n", JVM_MICROSOFT, "java.compiler=|"},
    };
    for (const auto& [settings, kind, properties] : cases) {
        writeData("VMSettings.pref", settings);
        EXPECT_EQ(assembledProperties(), properties) << testing::PrintToString(settings);
        EXPECT_EQ(configuration_.kind, kind);
    }
}

TEST_F(StartupConfigurationTest, FilePropertiesFollowTheJitPropertyAndOptionsAreRead) {
    writeData("VMSettings.pref", "javaVM=IBM\nmaxHeapSize=65536\n");
    writeData("vmproperties.properties", "a=1\r\n# comment\r\nb=2\r\n");
    writeData("vmoptions.properties", "-Xint\n-Dx=y\n");
    writeData("Classpath.pref", "extra.jar\n");
    EXPECT_EQ(assembledProperties(), "java.compiler=ibmjitc|a=1|b=2|");
    EXPECT_EQ(configuration_.settings.maxHeapSize, 67108864);
    EXPECT_TRUE(configuration_.classpath.ends_with(kClasspathSeparator + std::string("extra.jar")));
    ASSERT_EQ(configuration_.optionCount, 2);
    EXPECT_EQ(configuration_.options[0] + configuration_.options[1], "-Xint-Dx=y");
}

// The property copies are owned until released; releasing twice, or assembling again,
// frees each copy once (the sanitizer build catches leaks and double frees).
TEST_F(StartupConfigurationTest, PropertyCopiesAreReleasedOnce) {
    std::string lines;
    for (int i = 0; i < 40; ++i) {
        lines += "p" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    }
    writeData("vmproperties.properties", lines);
    assembledProperties();
    EXPECT_EQ(configuration_.properties.size(), 33u);
    EXPECT_EQ(assembledProperties().substr(0, 32), "java.compiler=symcjit|p0=0|p1=1|");
    EXPECT_STREQ(configuration_.properties[31], "p30=30");
    EXPECT_EQ(configuration_.properties[32], nullptr);
    configuration_.releaseProperties();
    EXPECT_TRUE(configuration_.properties.empty());
    EXPECT_EQ(configuration_.settings.properties, nullptr);
    configuration_.releaseProperties();
}

}  // namespace
