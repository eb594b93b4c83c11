// The install home from the registry, the directories under it, the class path from
// Classpath.pref, and the start-up configuration assembled from all the files.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <utility>
#include <string>

#include "config_test_home.h"
#include "native/isapi/config/configuration.h"
#include "native/isapi/isapi_platform.h"
#include "stand-ins/win32/include/standin_test_hooks.h"

using namespace brevant::isapi;
using configtest::ConfigTest;
using configtest::under;

namespace {

// ---- install home ---------------------------------------------------------------------

using InstallHomeTest = ConfigTest;

TEST_F(InstallHomeTest, NoKeyGivesTheDefaultHomeAndTellsTheDebuggerOnly) {
    configtest::deleteHomeKey();
    EXPECT_EQ(getHomeDirectory(), kDefaultHome);
    EXPECT_EQ(debugOutput(), "Failed to open key: SOFTWARE\\Orlena\\Brevant ISAPI\n");
    EXPECT_EQ(getDataDirectory(), under(kDefaultHome, "Brevant Data"));
    EXPECT_EQ(getServletsDirectory(), under(kDefaultHome, "Servlets"));
}

TEST_F(InstallHomeTest, HomeAndItsDirectoriesFollowTheRegistry) {
    EXPECT_EQ(getHomeDirectory(), home());
    EXPECT_EQ(getDataDirectory(), under(home(), "Brevant Data"));
    EXPECT_EQ(getServletsDirectory(), under(home(), "Servlets"));
    EXPECT_EQ(debugOutput(), "");
}

// A value stored without its NUL, or as binary, must not be read past its end (the
// sanitizer build catches a buffer of exactly the value's size).
TEST_F(InstallHomeTest, UnterminatedAndBinaryValuesEndWhereTheValueEnds) {
    configtest::setHomeValue(REG_SZ, home());
    EXPECT_EQ(getHomeDirectory(), home());
    configtest::setHomeValue(REG_BINARY, home());
    EXPECT_EQ(getHomeDirectory(), home());
    configtest::setHomeValue(REG_BINARY, std::string("C:\\one\0two", 10));
    EXPECT_EQ(getHomeDirectory(), "C:\\one");
    configtest::setHomeValue(REG_SZ, "");
    EXPECT_EQ(getHomeDirectory(), "");
    EXPECT_EQ(debugOutput(), "");
}

// An unreadable key or value gives the default, told to the debugger only.
TEST_F(InstallHomeTest, FailingRegistryCallsFallBackToTheDefault) {
    StandinFailNextCalls("RegOpenKeyExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(getHomeDirectory(), kDefaultHome);
    StandinFailNextCalls("RegQueryValueExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(getHomeDirectory(), kDefaultHome);
    EXPECT_EQ(debugOutput(),
              "Failed to open key: SOFTWARE\\Orlena\\Brevant ISAPI\n"
              "Failed to get Home value for key: SOFTWARE\\Orlena\\Brevant ISAPI\n");
    EXPECT_EQ(getHomeDirectory(), home());
}

// ---- class path -----------------------------------------------------------------------

class ClasspathTest : public ConfigTest {
  protected:
    // The product's three jars, always first.
    std::string jars() const {
        const std::string separator = kClasspathSeparator;
        return under(home(), "lib", "servlet.jar") + separator + under(home(), "lib", "xml.jar") +
               separator + under(home(), "lib", "Brevant30.jar");
    }
    std::string withEntries(const std::string& entries) const {
        return jars() + kClasspathSeparator + entries;
    }
};

TEST_F(ClasspathTest, WithoutClasspathPrefTheClassesFolderFollowsTheJars) {
    EXPECT_EQ(getClasspath(), withEntries(under(home(), "classes")));
    EXPECT_EQ(debugOutput(), "");
}

TEST_F(ClasspathTest, EmptyOrOneByteFileAddsNothingNotEvenClasses) {
    for (const char* content : {"", "x", "\n", "\r\n"}) {
        writeData("Classpath.pref", content);
        EXPECT_EQ(getClasspath(), jars()) << "content " << testing::PrintToString(content);
    }
}

TEST_F(ClasspathTest, LinesBecomeEntriesAndLfAndCrLfFilesReadTheSame) {
    const std::string separator = kClasspathSeparator;
    const std::string expected = withEntries("first" + separator + "second");
    for (const char* content :
         {"first\nsecond\n", "first\r\nsecond\r\n", "first\nsecond", "first\r\nsecond"}) {
        writeData("Classpath.pref", content);
        EXPECT_EQ(getClasspath(), expected) << testing::PrintToString(content);
    }
    // Only the last line end is dropped; a lone CR is no line end.
    writeData("Classpath.pref", "first\n\n");
    EXPECT_EQ(getClasspath(), withEntries("first" + separator));
    writeData("Classpath.pref", "a\rb\n");
    EXPECT_EQ(getClasspath(), withEntries("a\rb"));
    // The text ends at a NUL.
    writeData("Classpath.pref", std::string("first\nsec\0ond\n", 14));
    EXPECT_EQ(getClasspath(), withEntries("first" + separator + "sec"));
    EXPECT_EQ(debugOutput(), "");
}

// Every file of the data folder: a size or read failure is logged with the file's name, the
// file's entries are left out, and the file is closed on both paths.
TEST_F(ClasspathTest, FailedReadsAreLoggedAndTheFileLeftOut) {
    const std::pair<const char*, std::function<bool()>> files[] = {
        {"Classpath.pref", [this] { return getClasspath() == jars(); }},
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

// ---- start-up configuration -----------------------------------------------------------

std::string propertyList(const StartupConfiguration& configuration) {
    std::string text;
    for (char** entry = configuration.settings.properties; *entry != nullptr; ++entry) {
        text += std::string(*entry) + "|";
    }
    return text;
}

using StartupConfigurationTest = ConfigTest;

TEST_F(StartupConfigurationTest, WithoutFilesTheJitIsOnAndTheRecordPointsIntoTheObject) {
    StartupConfiguration configuration;
    ASSERT_TRUE(assembleStartupConfiguration(&configuration));
    EXPECT_EQ(configuration.kind, JVM_DEFAULT);
    EXPECT_EQ(propertyList(configuration), "java.compiler=symcjit|");
    EXPECT_EQ(configuration.settings.properties, configuration.properties.data());
    ASSERT_EQ(configuration.properties.size(), 2u);
    EXPECT_EQ(configuration.properties[1], nullptr);
    EXPECT_EQ(configuration.settings.classpath, configuration.classpath.c_str());
    EXPECT_EQ(configuration.classpath, getClasspath());
    EXPECT_EQ(configuration.optionCount, 0);
    EXPECT_EQ(configuration.settings.verifyMode, 1);
    EXPECT_FALSE(assembleStartupConfiguration(nullptr));
}

TEST_F(StartupConfigurationTest, JitPropertyFollowsTheSettingsAndTheKind) {
    struct Case {
        const char* settings;
        JavaVMKind kind;
        const char* property;
    };
    const Case cases[] = {
        {"javaVM=IBM\n", JVM_IBM, "java.compiler=ibmjitc"},
        {"javaVM=IBM\r\nenableJITC=true\r\n", JVM_IBM, "java.compiler=ibmjitc"},
        {"javaVM=HOTSPOT\n", JVM_HOTSPOT, "java.compiler=symcjit"},
        {"enableJITC=true\n", JVM_DEFAULT, "java.compiler=symcjit"},
        {"javaVM=IBM\nenableJITC=false\n", JVM_IBM, "java.compiler="},
        {"javaVM=HOTSPOT\nenableJITC=no\n", JVM_HOTSPOT, "java.compiler="},
        {"javaVM=MICROSOFT\nenableJITC=false\n", JVM_MICROSOFT, "java.compiler="},
        {"enableJITC=false\r\n", JVM_DEFAULT, "java.compiler="},
    };
    for (const Case& c : cases) {
        writeData("VMSettings.pref", c.settings);
        StartupConfiguration configuration;
        assembleStartupConfiguration(&configuration);
        EXPECT_EQ(configuration.kind, c.kind) << testing::PrintToString(c.settings);
        EXPECT_EQ(propertyList(configuration), std::string(c.property) + "|")
            << testing::PrintToString(c.settings);
    }
}

TEST_F(StartupConfigurationTest, FilePropertiesFollowTheJitPropertyAndOptionsAreRead) {
    writeData("VMSettings.pref", "javaVM=IBM\nmaxHeapSize=65536\n");
    writeData("vmproperties.properties", "a=1\r\n# comment\r\nb=2\r\n");
    writeData("vmoptions.properties", "-Xint\n-Dx=y\n");
    writeData("Classpath.pref", "extra.jar\n");
    StartupConfiguration configuration;
    assembleStartupConfiguration(&configuration);
    EXPECT_EQ(propertyList(configuration), "java.compiler=ibmjitc|a=1|b=2|");
    EXPECT_EQ(configuration.properties.size(), 4u);
    EXPECT_EQ(configuration.settings.maxHeapSize, 67108864);
    EXPECT_EQ(configuration.classpath, getClasspath());
    EXPECT_EQ(configuration.classpath.substr(configuration.classpath.size() - 10),
              std::string(kClasspathSeparator) + "extra.jar");
    ASSERT_EQ(configuration.optionCount, 2);
    EXPECT_EQ(configuration.options[0], "-Xint");
    EXPECT_EQ(configuration.options[1], "-Dx=y");
}

// The property copies are owned until released; releasing twice, or assembling again,
// frees each copy once (the sanitizer build catches leaks and double frees).
TEST_F(StartupConfigurationTest, PropertyCopiesAreReleasedOnce) {
    std::string lines;
    for (int i = 0; i < 40; ++i) {
        lines += "p" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    }
    writeData("vmproperties.properties", lines);
    StartupConfiguration configuration;
    assembleStartupConfiguration(&configuration);
    ASSERT_EQ(configuration.properties.size(), 33u);
    EXPECT_STREQ(configuration.properties[31], "p30=30");
    EXPECT_EQ(configuration.properties[32], nullptr);
    assembleStartupConfiguration(&configuration);
    EXPECT_EQ(configuration.properties.size(), 33u);
    configuration.releaseProperties();
    EXPECT_TRUE(configuration.properties.empty());
    EXPECT_EQ(configuration.settings.properties, nullptr);
    configuration.releaseProperties();
    EXPECT_EQ(debugOutput(),
              "Brevant: The VM Properties limit has been reached!!!\n"
              "Brevant: The VM Properties limit has been reached!!!\n");
}

}  // namespace
