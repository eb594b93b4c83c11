// The W3C access log: the exact line, and the header lines of a new file.
#include <gtest/gtest.h>

#include <regex>

#include "stand-ins/isapihost/http/access_log.h"
#include "test_paths.h"

using isapihost::AccessLog;
using isapihost::AccessLogEntry;

TEST(AccessLog, FormatsOneLinePerRequest) {
    AccessLogEntry entry;
    entry.clientIp = "127.0.0.1";
    entry.userName = "DOMAIN\\Jane Doe";
    entry.serverPort = 8080;
    entry.method = "GET";
    entry.uriStem = "/Scripts/Brevant_ISAPI.dll/my app/";
    entry.uriQuery = "";
    entry.status = 200;
    entry.bytesSent = 1234;
    entry.millisecondsTaken = 15;
    EXPECT_EQ(AccessLog::format(entry, 1765000000),  // 2025-12-06 05:46:40 UTC
              "2025-12-06 05:46:40 127.0.0.1 DOMAIN\\Jane+Doe 8080 GET "
              "/Scripts/Brevant_ISAPI.dll/my+app/ - 200 1234 15");

    AccessLogEntry empty;
    EXPECT_EQ(AccessLog::format(empty, 0), "1970-01-01 00:00:00 - - 0 - - - 0 0 0");
    entry.uriQuery = "a=1\r\nforged line";
    EXPECT_EQ(AccessLog::format(entry, 0).find('\n'), std::string::npos);
}

TEST(AccessLog, WritesTheHeaderOnlyIntoANewFile) {
    testsupport::ScratchDir dir("isapihost-log");
    std::string path = dir.file("ex.log");
    AccessLogEntry entry;
    entry.clientIp = "10.0.0.1";
    entry.method = "HEAD";
    entry.uriStem = "/";
    entry.status = 404;
    for (int i = 0; i < 2; ++i) {
        AccessLog log;
        std::string error;
        ASSERT_TRUE(log.open(path, &error)) << error;
        log.write(entry);
        log.close();
    }
    std::string content = testsupport::readFile(path);
    std::regex expected(
        "#Software: isapihost 1\\.0\n#Version: 1\\.0\n"
        "#Date: \\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\n"
        "#Fields: date time c-ip cs-username s-port cs-method cs-uri-stem cs-uri-query "
        "sc-status sc-bytes time-taken\n"
        "(\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} 10\\.0\\.0\\.1 - 0 HEAD / - 404 0 0\n){2}");
    EXPECT_TRUE(std::regex_match(content, expected)) << content;

    AccessLog broken;
    std::string error;
    EXPECT_FALSE(broken.open(dir.file("no/such/folder/ex.log"), &error));
    EXPECT_NE(error.find("no/such/folder"), std::string::npos);
    broken.write(entry);  // harmless when not open
}
