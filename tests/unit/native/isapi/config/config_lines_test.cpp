// vmoptions.properties and vmproperties.properties: line splitting, comments, the limits
// and their messages, over-long lines, and the failure messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config_test_home.h"
#include "native/isapi/config/configuration.h"
#include "stand-ins/win32/include/standin_test_hooks.h"

using namespace brevant::isapi;
using configtest::ConfigTest;

namespace {

std::string numberedLines(int count, const char* prefix, const char* lineEnd) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += prefix + std::to_string(i) + lineEnd;
    }
    return text;
}

class VMOptionsTest : public ConfigTest {
  protected:
    std::vector<std::string> read(const std::string& content) {
        writeData("vmoptions.properties", content);
        return readAgain();
    }
    std::vector<std::string> readAgain() {
        for (std::string& option : options_) {
            option = "untouched";
        }
        int count = getVMOptions(options_);
        EXPECT_GE(count, 0);
        EXPECT_LE(count, kMaxVMOptions);
        for (int i = count; i < kMaxVMOptions; ++i) {
            EXPECT_EQ(options_[i], "untouched") << i;
        }
        return std::vector<std::string>(options_, options_ + count);
    }
    std::string options_[kMaxVMOptions];
};

using Lines = std::vector<std::string>;

TEST_F(VMOptionsTest, NoFileEmptyOrOneByteFileGiveNoOptions) {
    EXPECT_EQ(readAgain(), Lines{});
    EXPECT_EQ(read(""), Lines{});
    EXPECT_EQ(read("X"), Lines{});
    EXPECT_EQ(read("\r\n"), Lines{});
    EXPECT_EQ(debugOutput(), "");
}

TEST_F(VMOptionsTest, LinesAreTakenAsTheyStandAndCommentsOnlyStartWithHash) {
    EXPECT_EQ(read("-Xint\n# comment\n  # not a comment\n\n\r\n\r\r -Xss1m \r\n-Dlast=1"),
              (Lines{"-Xint", "  # not a comment", " -Xss1m ", "-Dlast=1"}));
    EXPECT_EQ(read("#only\r\n#comments"), Lines{});
    EXPECT_EQ(read("a\rb\n\nc"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(debugOutput(), "");
}

TEST_F(VMOptionsTest, AtMost32OptionsAndTheLimitMessageOnce) {
    // Comments and empty lines in between do not count.
    std::string content = "# options\n\n";
    for (int i = 0; i < 40; ++i) {
        content += "-Dn" + std::to_string(i) + "\r\n\r\n#skip\n";
    }
    Lines options = read(content);
    ASSERT_EQ(options.size(), 32u);
    EXPECT_EQ(options.front(), "-Dn0");
    EXPECT_EQ(options.back(), "-Dn31");
    EXPECT_EQ(debugOutput(), "Brevant: The VM Options limit has been reached!!!\n");

    EXPECT_EQ(read(numberedLines(32, "-D", "\n")).size(), 32u);
    EXPECT_EQ(read(numberedLines(31, "-D", "\n")).size(), 31u);
    EXPECT_EQ(debugOutput(),
              "Brevant: The VM Options limit has been reached!!!\n"
              "Brevant: The VM Options limit has been reached!!!\n");
}

TEST_F(VMOptionsTest, OverlongLinesAreSkippedAndLogged) {
    const std::string longest = "-Xlog:gc*:file=" + std::string(496, 'g');
    ASSERT_EQ(longest.size(), 511u);
    EXPECT_EQ(read("-Xint\n" + longest + "g\n" + longest + "\n-Xrs\n"),
              (Lines{"-Xint", longest, "-Xrs"}));
    EXPECT_EQ(debugOutput(),
              "Brevant: vmoptions.properties: entry too long, skipped: "
              "-Xlog:gc*:file=" +
                  std::string(25, 'g') + "\n");
}

class VMPropertiesTest : public ConfigTest {
  protected:
    void TearDown() override {
        release();
        ConfigTest::TearDown();
    }
    // Reads the file into slots whose last entry is a sentinel the reader must not reach.
    Lines read(const std::string& content) {
        writeData("vmproperties.properties", content);
        release();
        char sentinel[] = "sentinel";
        for (char*& slot : slots_) {
            slot = sentinel;
        }
        count_ = getVMProperties(slots_);
        EXPECT_GE(count_, 0);
        EXPECT_LE(count_, kMaxVMProperties);
        Lines properties(slots_, slots_ + count_);
        for (int i = count_; i < kMaxVMProperties + 1; ++i) {
            EXPECT_EQ(slots_[i], sentinel) << i;
        }
        return properties;
    }
    void release() {
        for (int i = 0; i < count_; ++i) {
            delete[] slots_[i];
        }
        count_ = 0;
    }
    char* slots_[kMaxVMProperties + 1] = {};
    int count_ = 0;
};

TEST_F(VMPropertiesTest, EachLineIsAHeapCopyAndNotCheckedForEquals) {
    EXPECT_EQ(read("a=1\r\n#b=2\n\nno equals here\n c = 3 "),
              (Lines{"a=1", "no equals here", " c = 3 "}));
    EXPECT_EQ(read("X"), Lines{});
    EXPECT_EQ(debugOutput(), "");
}

TEST_F(VMPropertiesTest, AtMost31PropertiesAndTheLimitMessageOnce) {
    Lines properties = read(numberedLines(40, "p=", "\n"));
    ASSERT_EQ(properties.size(), 31u);
    EXPECT_EQ(properties.back(), "p=30");
    EXPECT_EQ(read(numberedLines(30, "p=", "\r\n")).size(), 30u);
    EXPECT_EQ(debugOutput(), "Brevant: The VM Properties limit has been reached!!!\n");
}

TEST_F(VMPropertiesTest, OverlongLinesAreSkippedAndLogged) {
    EXPECT_EQ(read("java.library.path=" + std::string(494, 'x') + "\nshort=1\n"), Lines{"short=1"});
    EXPECT_EQ(debugOutput(),
              "Brevant: vmproperties.properties: entry too long, skipped: "
              "java.library.path=" +
                  std::string(22, 'x') + "\n");
}

}  // namespace
