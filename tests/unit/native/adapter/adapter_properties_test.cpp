// The promises of brevant.properties loading: the line syntax, the keys and values, the
// defaults, the limits of the model, and the diagnostics, byte for byte.
#include <winsock2.h>
#include <windows.h>
#include <httpfilt.h>

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "native/adapter/adapter_groups.h"
#include "native/adapter/adapter_properties.h"
#include "native/adapter/adapter_properties_internal.h"
#include "debug_output_capture.h"
#include "test_paths.h"

using namespace brevant::adapter;
using testsupport::DebugOutputCapture;

namespace {

std::string joined(const std::vector<std::string>& entries) {
    std::string result;
    for (const std::string& entry : entries) {
        result += (result.empty() ? "" : "|") + entry;
    }
    return result;
}

std::string concat(std::initializer_list<std::string> parts) {
    std::string result;
    for (const std::string& part : parts) {
        result += part;
    }
    return result;
}

std::string address(const AdapterInstance& instance) {
    in_addr in{};
    in.s_addr = instance.address;
    return std::string(inet_ntoa(in)) + ":" + std::to_string(ntohs(instance.port));
}

void listField(std::string& text, const char* name, const std::vector<std::string>& entries) {
    if (!entries.empty()) {
        text += std::string(" ") + name + "=" + joined(entries);
    }
}

// The whole table as text, so that a test states what it expects in one place. Empty lists,
// an instance never parsed and the default retry time are left out.
std::string table() {
    std::string text = std::string("admin ") + (adminEnabled ? "enabled" : "disabled") + "\n";
    for (int i = 0; i < groupCount; ++i) {
        const AdapterGroup& group = groups[i];
        text += std::string(group.name) + ":";
        listField(text, "servers", group.servers);
        listField(text, "paths", group.pathAliases);
        listField(text, "suffixes", group.suffixAliases);
        listField(text, "applications", group.applications);
        if (group.lastInstance != -1 || group.instance.address != 0 || group.instance.port != 0) {
            text += " instance=" + address(group.instance) +
                    " last=" + std::to_string(group.lastInstance);
        }
        if (group.retryTime != kDefaultRetryTime) {
            text += " retry=" + std::to_string(static_cast<int>(group.retryTime));
        }
        for (const ExtraInstance& extra : group.extraInstances) {
            text += " extra" + std::to_string(extra.index) + "=" + extra.host + ":" + extra.port +
                    "=" + address(extra.instance);
        }
        text += "\n";
    }
    return text;
}

class AdapterProperties : public testing::Test {
  protected:
    void SetUp() override { resetGroups(); }
    void TearDown() override { resetGroups(); }

    // Parses the text; answers the diagnostics it wrote.
    static std::string parse(const std::string& text) {
        DebugOutputCapture output;
        parseProperties(text);
        return output.text();
    }
};

std::string withCrLf(const std::string& text) {
    std::string result;
    for (char c : text) {
        result += c == '\n' ? "\r\n" : std::string(1, c);
    }
    return result;
}

}  // namespace

TEST_F(AdapterProperties, LinesEndAtCrLfOrLoneLfAndBothFilesGiveTheSameTable) {
    const std::string lfFile =
        "# Brevant groups\n"
        "\n"
        "   brevant.admin = disabled\t \n"
        "brevant.Sales.instances=10.1.2.3:9000\n"
        "\t# a comment = not a key\n"
        "brevant.sales.servers = shop , www.shop.example\n"
        "brevant.hr.applications=/hr\n"
        "brevant.hr.aliases=.hrx";  // the last line needs no line end
    const std::string expected =
        "admin disabled\n"
        "sales: servers=shop|www.shop.example instance=10.1.2.3:9000 last=0\n"
        "hr: suffixes=.hrx applications=/hr\n";

    std::string lfOutput = parse(lfFile);
    EXPECT_EQ(table(), expected);
    resetGroups();
    std::string crLfOutput = parse(withCrLf(lfFile));
    EXPECT_EQ(table(), expected);
    EXPECT_EQ(crLfOutput, lfOutput);

    // A lone CR is an ordinary character, in a line and in a comment.
    resetGroups();
    parse("brevant.a.servers=x\ry\r\n# comment\rbrevant.b.servers=z\nbrevant.c.servers=w\r\r\n");
    EXPECT_EQ(table(), "admin enabled\na: servers=x\ry\nc: servers=w\r\n");
}

TEST_F(AdapterProperties, KeysHaveAPrefixAGroupAndAProperty) {
    std::string output = parse(
        "no equals sign here\n"
        "brevant.sales.servers=\n"       // empty value
        "brevant.sales.servers =  \t\n"  // only blanks after "="
        "brevant.x=1\n"                  // two parts
        "brevant..servers=h\n"           // empty group name
        "brevant.sales.s=1\n"            // one-letter property
        "=value\n"
        "Brevant.admin=disabled\n"            // not the admin key, and only two parts
        "x.Sales.Servers = host1 , host2\n"   // the prefix is not examined
        "brevant.sales.hosts junk = host3\n"  // text between the key and "=" is ignored
        "brevant.a.b.SERVERS=dotted\n"        // the group name runs to the last "."
        "brevant.hr.unknown=1\n"              // unknown property, new group all the same
        "brevant.sales.retrytime=a=b\n");
    EXPECT_EQ(table(),
              "admin enabled\n"
              "sales: servers=host1|host2|host3 retry=0\n"
              "a.b: servers=dotted\n"
              "hr:\n");
    EXPECT_EQ(output,
              "Group sales:  server = [host1]\n"
              "Group sales:  server = [host2]\n"
              "Group sales:  server = [host3]\n"
              "Group a.b:  server = [dotted]\n"
              "Group sales:  retry time set to 0          seconds\n");
}

TEST_F(AdapterProperties, AdminPageSwitchIsExactAndReported) {
    EXPECT_EQ(parse("brevant.admin=Enabled\n"), "Brevant admin is disabled\n");
    EXPECT_FALSE(adminEnabled);
    EXPECT_EQ(parse("brevant.admin =\tenabled  \r\n"), "Brevant admin is enabled\n");
    EXPECT_TRUE(adminEnabled);
    EXPECT_EQ(parse("brevant.admin=no\nBrevant.admin=enabled\n"), "Brevant admin is disabled\n");
    EXPECT_FALSE(adminEnabled);
    EXPECT_EQ(groupCount, 0);
}

TEST_F(AdapterProperties, InstancesGiveTheFirstAddressAndKeepTheRest) {
    std::string output = parse(
        "brevant.sales.instances=10.1.2.3\n"
        "brevant.hr.instances = 10.0.0.1:9000 , 10.0.0.2:9001,10.0.0.3\n"
        "brevant.ops.instances=,10.1.2.3\n"
        "brevant.web.instances=10.0.0.9:70000, ,10.0.0.8\n"
        "brevant.dev.instances=10.0.0.7:-1\n"
        "brevant.qa.instances=qa-host:x\n");
    EXPECT_EQ(table(),
              "admin enabled\n"
              "sales: instance=10.1.2.3:8888 last=0\n"
              "hr: instance=10.0.0.1:9000 last=2 extra1=10.0.0.2:9001=10.0.0.2:9001 "
              "extra2=10.0.0.3:8888=10.0.0.3:8888\n"
              "ops:\n"
              "web: instance=10.0.0.9:4464 last=0\n"
              "dev: instance=10.0.0.7:65535 last=0\n"
              "qa: instance=255.255.255.255:0 last=0\n");
    auto kept = [](int index) {
        return "Brevant: brevant.properties line 2: instance " + std::to_string(index) +
               ": only instance 0 takes requests; kept but not routed to: brevant.hr.instances\n";
    };
    EXPECT_EQ(output, concat({
                          "Group sales:  instances = 10.1.2.3\n",
                          "Group sales:  instance 0 = 10.1.2.3:8888\n",
                          "Group hr:  instances = 10.0.0.1:9000 , 10.0.0.2:9001,10.0.0.3\n",
                          "Group hr:  instance 0 = 10.0.0.1:9000\n",
                          "Group hr:  instance 1 = 10.0.0.2:9001\n",
                          kept(1),
                          "Group hr:  instance 2 = 10.0.0.3:8888\n",
                          kept(2),
                          "Group ops:  instances = ,10.1.2.3\n",
                          "Group web:  instances = 10.0.0.9:70000, ,10.0.0.8\n",
                          "Group web:  instance 0 = 10.0.0.9:70000\n",
                          "Group dev:  instances = 10.0.0.7:-1\n",
                          "Group dev:  instance 0 = 10.0.0.7:-1\n",
                          "Group qa:  instances = qa-host:x\n",
                          "Group qa:  instance 0 = qa-host:x\n",
                      }));

    // A later line parses again from entry 0; other entries stay as they were.
    resetGroups();
    parse("brevant.s.instances=10.0.0.1:1,10.0.0.2:2\nbrevant.s.instances=10.0.0.3:3\n");
    EXPECT_EQ(table(),
              "admin enabled\ns: instance=10.0.0.3:3 last=0 extra1=10.0.0.2:2=10.0.0.2:2\n");
}

TEST_F(AdapterProperties, RetryTimeIsTheLeadingDecimalNumber) {
    std::string output = parse(
        "brevant.a.retrytime=30\n"
        "brevant.b.retrytime=abc\n"
        "brevant.c.retrytime=2.5e1 seconds\n"
        "brevant.d.retrytime=-7.6\n"
        "brevant.e.retrytime=0x10\n"
        "brevant.f.retrytime=12e\n"
        "brevant.a.RetryTime=45\n");
    EXPECT_EQ(output,
              "Group a:  retry time set to 30         seconds\n"
              "Group b:  retry time set to 0          seconds\n"
              "Group c:  retry time set to 25         seconds\n"
              "Group d:  retry time set to -8         seconds\n"
              "Group e:  retry time set to 0          seconds\n"
              "Group f:  retry time set to 12         seconds\n"
              "Group a:  retry time set to 45         seconds\n");
    EXPECT_EQ(groups[0].retryTime, 45.0);
    EXPECT_EQ(groups[3].retryTime, -7.6);
}

TEST_F(AdapterProperties, ListsSplitAtCommasAndSortThemselves) {
    std::string output = parse(
        "brevant.sales.aliases=/app/, .jsp\n"
        "brevant.sales.aliases=a,,b ,\n"
        "brevant.sales.applications = /shop , shop2\t, /x\n"
        "brevant.sales.servers=Shop\n"
        "brevant.sales.hosts=all\n");
    EXPECT_EQ(table(),
              "admin enabled\n"
              "sales: servers=Shop|all paths=/app/ suffixes=.jsp|a|,b applications=/shop|/x\n");
    EXPECT_EQ(output,
              "Group sales:  alias = [/app/]\n"
              "Group sales:  alias = [.jsp]\n"
              "Group sales:  alias = [a]\n"
              "Group sales:  alias = [,b]\n"
              "Group sales:  application = [/shop]\n"
              "Group sales:  application = [shop2]\n"
              "Group sales:  application URLs must begin with a '/'"
              "Group sales:  application = [/x]\n"
              "Group sales:  server = [Shop]\n"
              "Group sales:  server = [all]\n");
}

TEST_F(AdapterProperties, DefaultsFillWhatTheFileLeftOut) {
    DebugOutputCapture output;
    supplyDefaults();
    EXPECT_EQ(output.text(), "No groups were specified, using default values\n");
    EXPECT_EQ(table(), "admin enabled\ndefault: instance=127.0.0.1:8888 last=0\n");

    resetGroups();
    parse("brevant.sales.retrytime=30\nbrevant.hr.servers=hr\nbrevant.hr.instances=10.0.0.1:81\n");
    supplyDefaults();
    EXPECT_EQ(table(),
              "admin enabled\n"
              "sales: servers=all instance=127.0.0.1:8888 last=0 retry=30\n"
              "hr: servers=hr instance=10.0.0.1:81 last=0\n");
}

TEST_F(AdapterProperties, LimitsOfTheModelAreReportedWithTheKeyAndSpareTheOtherGroups) {
    std::string text;
    for (int i = 0; i <= kMaxGroups; ++i) {
        text += "brevant.g" + std::to_string(i) + ".servers=h" + std::to_string(i) + "\n";
    }
    text += "brevant.g3.servers=again\n";
    std::string output = parse(text);
    EXPECT_EQ(groupCount, kMaxGroups);
    EXPECT_EQ(std::string(groups[kMaxGroups - 1].name), "g49");
    EXPECT_EQ(joined(groups[3].servers), "h3|again");
    EXPECT_NE(output.find("Group g49:  server = [h49]\n"
                          "Brevant: brevant.properties line 51: more than 50 groups; key "
                          "ignored: brevant.g50.servers\n"
                          "Group g3:  server = [again]\n"),
              std::string::npos)
        << output;

    resetGroups();
    const std::string longest(127, 'n');
    output = parse("brevant." + longest + ".servers=a\nbrevant." + longest +
                   "x.servers=b\nbrevant.ok.servers=c\n");
    EXPECT_EQ(table(), "admin enabled\n" + longest + ": servers=a\nok: servers=c\n");
    EXPECT_EQ(output, concat({
                          "Group " + longest + ":  server = [a]\n",
                          "Brevant: brevant.properties line 2: group name longer than 127 "
                          "characters; key ignored: brevant." +
                              longest + "x.servers\n",
                          "Group ok:  server = [c]\n",
                      }));

    // Over-long host or port texts: recorded, unreachable, the index counted, so the
    // defaults do not send the group's requests to 127.0.0.1:8888.
    resetGroups();
    const std::string longHost = "10.1.2.3" + std::string(120, ' ') + "x";  // 129 characters
    output = parse(concat({
        "brevant.a.instances=10.1.2.3:00000009000\n",   // a port text of 11 characters
        "brevant.b.instances=10.1.2.3:000000009000\n",  // 12
        "brevant.c.instances=" + longHost + ":81\n",
    }));
    supplyDefaults();
    EXPECT_EQ(table(),
              "admin enabled\n"
              "a: servers=all instance=10.1.2.3:9000 last=0\n"
              "b: servers=all instance=255.255.255.255:9000 last=0\n"
              "c: servers=all instance=255.255.255.255:81 last=0\n");
    EXPECT_EQ(output, concat({
                          "Group a:  instances = 10.1.2.3:00000009000\n",
                          "Group a:  instance 0 = 10.1.2.3:00000009000\n",
                          "Group b:  instances = 10.1.2.3:000000009000\n",
                          "Group b:  instance 0 = 10.1.2.3:000000009000\n",
                          "Brevant: brevant.properties line 2: instance 0: port longer than 11 "
                          "characters; recorded as unreachable: brevant.b.instances\n",
                          "Group c:  instances = " + longHost + ":81\n",
                          "Group c:  instance 0 = " + longHost + ":81\n",
                          "Brevant: brevant.properties line 3: instance 0: host longer than 127 "
                          "characters; recorded as unreachable: brevant.c.instances\n",
                      }));
}

TEST_F(AdapterProperties, DiagnosticsAreCutAt511Bytes) {
    const std::string value = "10.1.2.3," + std::string(600, '9');
    const std::string longKey = "brevant." + std::string(400, 'k') + ".instances";
    std::string output = parse("brevant.a.instances=" + value + "\n" + longKey + "=x\n");
    const std::string first = "Group a:  instances = " + value + "\n";
    ASSERT_GE(output.size(), 511u);
    EXPECT_EQ(output.substr(0, 511), first.substr(0, 511));
    // Keys in the model's own messages are cut short enough to keep the line end.
    const std::string tail = "key ignored: brevant." + std::string(248, 'k') + "\n";
    EXPECT_EQ(output.substr(output.size() - tail.size()), tail);
}

TEST(AdapterLoading, GetFilterVersionSubscribesAndFallsBackToTheDefaultGroup) {
    // What an earlier load left must not survive a new one.
    resetGroups();
    groupCount = 2;
    adminEnabled = false;
    HTTP_FILTER_VERSION version;
    std::memset(&version, 'x', sizeof version);
    DebugOutputCapture output;
    EXPECT_EQ(GetFilterVersion(&version), TRUE);
    EXPECT_EQ(version.dwFilterVersion, 0x40000u);
    EXPECT_EQ(version.dwFlags, 0x24203u);
    EXPECT_STREQ(version.lpszFilterDesc, "Brevant Filter");
    // The unit tests do not load Brevant_Adapter.dll: its module handle cannot be found.
    EXPECT_EQ(output.text(),
              "BrevantISAPIAdapter::GetFilterVersion() invoked.\n"
              "BrevantISAPIAdapter::GetFilterVersion() failed to get the module handle.\n"
              "No groups were specified, using default values\n");
    EXPECT_EQ(table(), "admin enabled\ndefault: instance=127.0.0.1:8888 last=0\n");
    for (const AdapterGroup& group : groups) {
        EXPECT_EQ(group.retryTime, 120.0);
    }
    EXPECT_EQ(groups[1].lastInstance, -1);
    resetGroups();
}

TEST(AdapterLoading, FileIsReadInPiecesWhereANulEndsItsPiece) {
    testsupport::ScratchDir dir("adapter-properties");
    std::string text;
    EXPECT_FALSE(readPropertiesFile(dir.file("brevant.properties"), &text));

    // 511-byte pieces: a CR LF split between the first two still ends its line; the NUL
    // at 600 drops the rest of the second piece only.
    std::string content(1100, '#');
    const std::string line = "\nbrevant.a.servers=split\r\n";  // its LF is byte 511
    content.replace(511 - line.size() + 1, line.size(), line);
    content[600] = '\0';
    content.replace(700, 27, "\nbrevant.c.servers=dropped\n");
    content.replace(1022, 23, "\nbrevant.b.servers=last");  // the third piece, to the end
    content.resize(1022 + 23);
    testsupport::writeFile(dir.file("brevant.properties"), content);
    ASSERT_TRUE(readPropertiesFile(dir.file("brevant.properties"), &text));
    EXPECT_EQ(text, content.substr(0, 600) + content.substr(1022));

    resetGroups();
    parseProperties(text);
    EXPECT_EQ(table(), "admin enabled\na: servers=split\nb: servers=last\n");
    resetGroups();
}
