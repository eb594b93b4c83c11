// vmoptions.properties and vmproperties.properties: line splitting, comments, the limits
// and their messages, over-long lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "native/isapi/config/configuration.h"
#include "standin_world.h"

using namespace brevant::isapi;
using ConfigTest = isapitest::HomeTest;

namespace {

using Lines = std::vector<std::string>;

std::string numbered(int count, const std::string& prefix, const std::string& between = "\n") {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += prefix + std::to_string(i) + between;
    }
    return text;
}

Lines firstAndLast(const Lines& lines, size_t count) {
    return lines.size() == count ? Lines{lines.front(), lines.back()} : lines;
}

class ConfigLinesTest : public ConfigTest {
  protected:
    // The options read from `content`; the slots after them must stay untouched.
    Lines options(const std::string& content) {
        writeData("vmoptions.properties", content);
        std::string slots[kMaxVMOptions];
        std::fill(std::begin(slots), std::end(slots), "untouched");
        const int count = getVMOptions(slots);
        EXPECT_EQ(std::count(slots + count, std::end(slots), "untouched"), kMaxVMOptions - count);
        return Lines(slots, slots + count);
    }
    // The properties read from `content`, each a heap copy; the slots after them untouched.
    Lines properties(const std::string& content) {
        writeData("vmproperties.properties", content);
        char text[] = "untouched";
        char* const untouched = text;
        char* slots[kMaxVMProperties + 1];
        std::fill(std::begin(slots), std::end(slots), untouched);
        const int count = getVMProperties(slots);
        EXPECT_EQ(std::count(slots + count, std::end(slots), untouched),
                  kMaxVMProperties + 1 - count);
        const Lines read(slots, slots + count);
        std::for_each(slots, slots + count, [](char* copy) { delete[] copy; });
        return read;
    }
};

const std::string kLongest = "-Xlog:gc*:file=" + std::string(496, 'g');  // 511 characters
const std::string kLimit = "Brevant: The VM Options limit has been reached!!!\n";

TEST_F(ConfigLinesTest, OptionLinesAreTakenAsTheyStandAndCommentsOnlyStartWithHash) {
    std::string none[kMaxVMOptions];
    EXPECT_EQ(getVMOptions(none), 0) << "without the file";
    const std::pair<std::string, Lines> cases[] = {
        {"", {}},
        {"X", {}},  // one byte is no file
        {"\r\n", {}},
        {"-Xint\n# comment\n  # not a comment\n\n\r\n\r\r -Xss1m \r\n-Dlast=1",
         {"-Xint", "  # not a comment", " -Xss1m ", "-Dlast=1"}},
        {"#only\r\n#comments", {}},
        {"a\rb\n\nc", {"a", "b", "c"}},
        {"-Xint\n" + kLongest + "\n-Xrs\n", {"-Xint", kLongest, "-Xrs"}},
    };
    for (const auto& [content, expected] : cases) {
        EXPECT_EQ(options(content), expected) << testing::PrintToString(content);
    }
    EXPECT_EQ(debugOutput(), "");
}

TEST_F(ConfigLinesTest, AtMost32OptionsAndTheLimitMessageWhenReached) {
    // Comments and empty lines in between do not count.
    EXPECT_EQ(firstAndLast(options("# options\n\n" + numbered(40, "-Dn", "\r\n\r\n#skip\n")), 32),
              (Lines{"-Dn0", "-Dn31"}));
    EXPECT_EQ(options(numbered(32, "-D")).size(), 32u);
    EXPECT_EQ(options(numbered(31, "-D")).size(), 31u);
    EXPECT_EQ(debugOutput(), kLimit + kLimit);
}

TEST_F(ConfigLinesTest, OverlongOptionIsSkippedAndLogged) {
    EXPECT_EQ(options("-Xint\n" + kLongest + "g\n-Xrs\n"), (Lines{"-Xint", "-Xrs"}));
    EXPECT_EQ(debugOutput(),
              "Brevant: vmoptions.properties: entry too long, skipped: -Xlog:gc*:file=" +
                  std::string(25, 'g') + "\n");
}

TEST_F(ConfigLinesTest, PropertyLinesAreNotCheckedForEquals) {
    EXPECT_EQ(properties("a=1\r\n#b=2\n\nno equals here\n c = 3 "),
              (Lines{"a=1", "no equals here", " c = 3 "}));
    EXPECT_EQ(properties("X"), Lines{});
    EXPECT_EQ(debugOutput(), "");
}

TEST_F(ConfigLinesTest, AtMost31PropertiesAndTheLimitMessageWhenReached) {
    EXPECT_EQ(firstAndLast(properties(numbered(40, "p=")), 31), (Lines{"p=0", "p=30"}));
    EXPECT_EQ(properties(numbered(30, "p=", "\r\n")).size(), 30u);
    EXPECT_EQ(debugOutput(), "Brevant: The VM Properties limit has been reached!!!\n");
}

TEST_F(ConfigLinesTest, OverlongPropertyIsSkippedAndLogged) {
    EXPECT_EQ(properties("java.library.path=" + std::string(494, 'x') + "\nshort=1\n"),
              Lines{"short=1"});
    EXPECT_EQ(debugOutput(),
              "Brevant: vmproperties.properties: entry too long, skipped: java.library.path=" +
                  std::string(22, 'x') + "\n");
}

}  // namespace
