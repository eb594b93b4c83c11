// URL paths onto virtual directories: decoding, climbing, extension calls.
#include <gtest/gtest.h>

#include "stand-ins/isapihost/host/site.h"

namespace isapihost {
namespace {

Site siteWithScripts() {
    Site site;
    site.directories = {{"/Scripts", "/srv/scripts", 0x205}, {"/", "/srv/www", 1}};
    site.mimeTypes = {{"htm", "text/html"}};
    return site;
}

TEST(UrlMapping, NormalisesPathsAndRefusesToClimbAboveTheRoot) {
    std::string path;
    ASSERT_TRUE(normalizeUrlPath("/a/./b/../c%20d", &path));
    EXPECT_EQ(path, "/a/c d");
    ASSERT_TRUE(normalizeUrlPath("/dir/", &path));
    EXPECT_EQ(path, "/dir/");
    ASSERT_TRUE(normalizeUrlPath("/a\\b", &path));
    EXPECT_EQ(path, "/a/b") << "a backslash separates, as in IIS";
    EXPECT_FALSE(normalizeUrlPath("/../etc/passwd", &path));
    EXPECT_FALSE(normalizeUrlPath("/%2e%2e/etc", &path));
    EXPECT_FALSE(normalizeUrlPath("/a%00b", &path));
}

TEST(UrlMapping, FindsTheLongestDirectoryAndTheExtensionModule) {
    Site site = siteWithScripts();
    Mapping plain = mapUrl(site, "/docs/index.htm");
    EXPECT_EQ(plain.physicalPath, "/srv/www/docs/index.htm");
    EXPECT_FALSE(plain.isExtension);

    Mapping module = mapUrl(site, "/scripts/Brevant_Adapter.DLL/more/path");
    ASSERT_TRUE(module.isExtension);
    EXPECT_EQ(module.directory->url, "/Scripts") << "directory names match without case";
    EXPECT_EQ(module.modulePath, "/srv/scripts/Brevant_Adapter.DLL");
    EXPECT_EQ(module.pathInfo, "/more/path");

    EXPECT_EQ(mapUrl(site, "/Scriptsx/a").directory->url, "/") << "prefixes end at a \"/\"";
    EXPECT_TRUE(mapUrl(site, "/Scripts/../../x").escapes);
    EXPECT_EQ(physicalPathOf(site, "/Scripts/x/y"), "/srv/scripts/x/y");
    EXPECT_EQ(site.contentTypeFor("/a/B.HTM"), "text/html");
    EXPECT_EQ(site.contentTypeFor("/a.b/noextension"), "application/octet-stream");
}

}  // namespace
}  // namespace isapihost
