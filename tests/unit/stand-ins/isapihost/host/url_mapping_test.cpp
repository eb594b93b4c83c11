// URL paths onto virtual directories: decoding, climbing, extension calls.
#include <gtest/gtest.h>

#include "stand-ins/isapihost/host/site.h"
#include "stand-ins/isapihost/host/site_internal.h"

namespace isapihost {
namespace {

// The normalised path, or "(refused)".
std::string normalized(const std::string& raw) {
    std::string path;
    return normalizeUrlPath(raw, &path) ? path : "(refused)";
}

TEST(UrlMapping, NormalisesPathsAndRefusesToClimbAboveTheRoot) {
    const std::pair<const char*, const char*> cases[] = {
        {"/a/./b/../c%20d", "/a/c d"},
        {"/dir/", "/dir/"},
        {"/a\\b", "/a/b"},  // a backslash separates, as in IIS
        {"/../etc/passwd", "(refused)"},
        {"/%2e%2e/etc", "(refused)"},
        {"/a%00b", "(refused)"}};
    for (const auto& [raw, expected] : cases) {
        EXPECT_EQ(normalized(raw), expected) << raw;
    }
}

class UrlMappingOnASite : public testing::Test {
  protected:
    UrlMappingOnASite() {
        site_.directories = {{"/Scripts", "/srv/scripts", 0x205}, {"/", "/srv/www", 1}};
        site_.mimeTypes = {{"htm", "text/html"}};
    }
    Site site_;
};

TEST_F(UrlMappingOnASite, AFileMapsIntoTheLongestDirectory) {
    Mapping plain = mapUrl(site_, "/docs/index.htm");
    EXPECT_EQ(plain.physicalPath, "/srv/www/docs/index.htm");
    EXPECT_FALSE(plain.isExtension);
    EXPECT_EQ(mapUrl(site_, "/Scriptsx/a").directory->url, "/") << "prefixes end at a \"/\"";
    EXPECT_EQ(physicalPathOf(site_, "/Scripts/x/y"), "/srv/scripts/x/y");
    EXPECT_TRUE(mapUrl(site_, "/Scripts/../../x").escapes);
}

TEST_F(UrlMappingOnASite, AModuleIsAnExtensionCallWithItsPathInfo) {
    Mapping module = mapUrl(site_, "/scripts/Brevant_Adapter.DLL/more/path");
    ASSERT_TRUE(module.isExtension);
    EXPECT_EQ(module.directory->url, "/Scripts") << "directory names match without case";
    EXPECT_EQ(module.modulePath, "/srv/scripts/Brevant_Adapter.DLL");
    EXPECT_EQ(module.pathInfo, "/more/path");
}

TEST_F(UrlMappingOnASite, ContentTypesComeFromTheExtensionWithoutCase) {
    EXPECT_EQ(site_.contentTypeFor("/a/B.HTM"), "text/html");
    EXPECT_EQ(site_.contentTypeFor("/a.b/noextension"), "application/octet-stream");
}

}  // namespace
}  // namespace isapihost
