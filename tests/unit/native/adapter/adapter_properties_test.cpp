// brevant.properties: the line syntax, the keys and values, the defaults, the limits of the
// model, and the diagnostics, byte for byte.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "debug_output_capture.h"
#include "native/adapter/adapter_properties.h"
#include "native/adapter/adapter_properties_internal.h"
#include "native/adapter/instance_addresses.h"
#include "test_paths.h"

namespace brevant::adapter {
namespace {

using testsupport::DebugOutputCapture;

std::string address(const AdapterInstance& instance) {
    in_addr in{};
    in.s_addr = instance.address;
    return std::string(inet_ntoa(in)) + ":" + std::to_string(ntohs(instance.port));
}

void listField(std::string& text, const char* name, const std::vector<std::string>& entries) {
    for (size_t i = 0; i < entries.size(); ++i) {
        text += (i == 0 ? std::string(" ") + name + "=" : std::string("|")) + entries[i];
    }
}

std::string withCrLf(const std::string& text) {
    std::string result;
    for (char c : text) {
        result += c == '\n' ? "\r\n" : std::string(1, c);
    }
    return result;
}

class PropertiesTest : public testing::Test {
  protected:
    // Parses `text` into a fresh table; answers the diagnostics it wrote.
    std::string Parse(const std::string& text) {
        DebugOutputCapture output;
        table_ = GroupTable();
        parseProperties(table_, text);
        return output.text();
    }

    // Parses `text` into a fresh table; answers the table as Table() shows it.
    std::string TableOf(const std::string& text) {
        Parse(text);
        return Table();
    }

    // The whole table as text, so that a test states what it expects in one place. Empty
    // lists, an instance never parsed and the default retry time are left out.
    std::string Table() const {
        std::string text = std::string("admin ") + (table_.adminEnabled ? "on" : "off") +
                           (table_.statusPath.empty() ? "" : " status=" + table_.statusPath) + "\n";
        for (int i = 0; i < table_.groupCount; ++i) {
            const AdapterGroup& group = table_.groups[i];
            text += std::string(group.name) + ":";
            listField(text, "servers", group.servers);
            listField(text, "paths", group.pathAliases);
            listField(text, "suffixes", group.suffixAliases);
            listField(text, "applications", group.applications);
            if (group.lastInstance != -1 || group.instance.address != 0 ||
                group.instance.port != 0) {
                text += " instance=" + address(group.instance) +
                        " last=" + std::to_string(group.lastInstance);
            }
            if (group.retryTime != kDefaultRetryTime) {
                text += " retry=" + std::to_string(group.retryTime);
            }
            for (int i = 1; i <= group.lastInstance; ++i) {
                const AdapterInstance& extra = instanceAt(group, i);
                text += " extra" + std::to_string(i) + "=" + extra.entry + "=" + address(extra);
            }
            if (group.balanceKeyed) {
                text += " balance=" + std::to_string(static_cast<int>(group.balance));
            }
            if (group.keepAlive != 0 || group.keepAliveTimeout != kDefaultKeepAliveTimeout) {
                text += " keepalive=" + std::to_string(group.keepAlive) + "/" +
                        std::to_string(group.keepAliveTimeout);
            }
            if (group.connectTimeout != 0 || group.replyTimeout != 0) {
                text += " timeouts=" + std::to_string(group.connectTimeout) + "/" +
                        std::to_string(group.replyTimeout);
            }
            text += "\n";
        }
        return text;
    }

    GroupTable table_;
};

TEST_F(PropertiesTest, LinesEndAtCrLfOrALoneLf) {
    const std::string file =
        "# Brevant groups\n"
        "\n"
        "   brevant.admin = disabled\t \n"
        "brevant.Sales.instances=10.1.2.3:9000\n"
        "\t# a comment = not a key\n"
        "brevant.sales.servers = shop , www.shop.example\n"
        "brevant.hr.aliases=.hrx";  // the last line needs no line end
    const std::string expected =
        "admin off\nsales: servers=shop|www.shop.example instance=10.1.2.3:9000 last=0\n"
        "hr: suffixes=.hrx\n";
    EXPECT_EQ(TableOf(file), expected);
    EXPECT_EQ(TableOf(withCrLf(file)), expected);
}

TEST_F(PropertiesTest, ALoneCrIsAnOrdinaryCharacter) {
    EXPECT_EQ(
        TableOf("brevant.a.servers=x\ry\r\n# c\rbrevant.b.servers=z\nbrevant.c.servers=w\r\r\n"),
        "admin on\na: servers=x\ry\nc: servers=w\r\n");
}

TEST_F(PropertiesTest, KeysHaveAPrefixAGroupAndAProperty) {
    Parse(
        "no equals sign here\n"
        "brevant.sales.servers=\n"       // empty value
        "brevant.sales.servers =  \t\n"  // only blanks after "="
        "brevant.x=1\n"                  // two parts
        "brevant..servers=h\n"           // empty group name
        "brevant.solo.s=1\n"             // one-letter property: no group made
        "=value\n"
        "Brevant.admin=disabled\n"            // not the admin key, and only two parts
        "x.Sales.Servers = host1 , host2\n"   // the prefix is not examined
        "brevant.sales.hosts junk = host3\n"  // text between the key and "=" is ignored
        "brevant.a.b.SERVERS=dotted\n"        // the group name runs to the last "."
        "brevant.hr.unknown=1\n");            // unknown property, new group all the same
    EXPECT_EQ(Table(), "admin on\nsales: servers=host1|host2|host3\na.b: servers=dotted\nhr:\n");
}

TEST_F(PropertiesTest, OnlyEnabledExactlySwitchesTheAdminPageOn) {
    const struct {
        const char* text;
        const char* output;
        bool enabled;
    } kCases[] = {
        {"brevant.admin=Enabled\n", "Brevant admin is disabled\n", false},
        {"brevant.admin =\tenabled  \r\n", "Brevant admin is enabled\n", true},
        {"brevant.admin=no\nBrevant.admin=enabled\n", "Brevant admin is disabled\n", false},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(Parse(c.text), c.output) << c.text;
        EXPECT_EQ(table_.adminEnabled, c.enabled) << c.text;
        EXPECT_EQ(table_.groupCount, 0);
    }
}

TEST_F(PropertiesTest, InstancesGiveTheFirstAddressAndKeepTheRest) {
    std::string output = Parse(
        "brevant.sales.instances=10.1.2.3\n"
        "brevant.hr.instances = 10.0.0.1:9000 , 10.0.0.2:9001,10.0.0.3\n"
        "brevant.ops.instances=,10.1.2.3\n"
        "brevant.web.instances=10.0.0.9:70000, ,10.0.0.8\n"
        "brevant.dev.instances=10.0.0.7:-1\n"
        "brevant.qa.instances=qa-host:x\n");
    EXPECT_EQ(Table(),
              "admin on\nsales: instance=10.1.2.3:8888 last=0\n"
              "hr: instance=10.0.0.1:9000 last=2 extra1=10.0.0.2:9001=10.0.0.2:9001 "
              "extra2=10.0.0.3=10.0.0.3:8888\n"
              "ops:\nweb: instance=10.0.0.9:4464 last=0\ndev: instance=10.0.0.7:65535 last=0\n"
              "qa: instance=255.255.255.255:0 last=0\n");
    EXPECT_EQ(output,
              "Group sales:  instances = 10.1.2.3\n"
              "Group sales:  instance 0 = 10.1.2.3:8888\n"
              "Group hr:  instances = 10.0.0.1:9000 , 10.0.0.2:9001,10.0.0.3\n"
              "Group hr:  instance 0 = 10.0.0.1:9000\n"
              "Group hr:  instance 1 = 10.0.0.2:9001\n"
              "Group hr:  instance 2 = 10.0.0.3:8888\n"
              "Group ops:  instances = ,10.1.2.3\n"
              "Group web:  instances = 10.0.0.9:70000, ,10.0.0.8\n"
              "Group web:  instance 0 = 10.0.0.9:70000\n"
              "Group dev:  instances = 10.0.0.7:-1\n"
              "Group dev:  instance 0 = 10.0.0.7:-1\n"
              "Group qa:  instances = qa-host:x\n"
              "Group qa:  instance 0 = qa-host:x\n");
}

TEST_F(PropertiesTest, ALaterInstancesLineReplacesTheWholeList) {
    EXPECT_EQ(TableOf("brevant.s.instances=10.0.0.1:1,10.0.0.2:2,10.0.0.5:5\n"
                      "brevant.s.instances=10.0.0.3:3, 10.0.0.4:4\n"
                      "brevant.s.instances=,10.0.0.6\n"),  // records nothing, changes nothing
              "admin on\ns: instance=10.0.0.3:3 last=1 extra1=10.0.0.4:4=10.0.0.4:4\n");
}

TEST_F(PropertiesTest, RetryTimeIsTheLeadingDecimalNumber) {
    const struct {
        const char* value;
        const char* reported;
        double retryTime;
    } kCases[] = {{"30", "30        ", 30},
                  {"abc", "0         ", 0},
                  {"2.5e1 seconds", "25        ", 25},
                  {"-7.6", "-8        ", -7.6},
                  {"0x10", "0         ", 0},
                  {"12e", "12        ", 12}};
    for (const auto& c : kCases) {
        EXPECT_EQ(Parse(std::string("brevant.a.RetryTime=") + c.value + "\n"),
                  std::string("Group a:  retry time set to ") + c.reported + " seconds\n");
        EXPECT_EQ(table_.groups[0].retryTime, c.retryTime) << c.value;
    }
}

TEST_F(PropertiesTest, ListsSplitAtCommasAndSortThemselves) {
    std::string output = Parse(
        "brevant.sales.aliases=/app/, .jsp\n"
        "brevant.sales.aliases=a,,b ,\n"
        "brevant.sales.applications = /shop , shop2\t, /x\n"
        "brevant.sales.servers=Shop\n"
        "brevant.sales.hosts=all\n");
    EXPECT_EQ(Table(),
              "admin on\n"
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

TEST_F(PropertiesTest, BalanceAndTimeOutsTakeTheirValuesOrKeepWhatWasThere) {
    EXPECT_EQ(TableOf("brevant.a.Balance=FailOver\nbrevant.b.balance=roundrobin\n"
                      "brevant.c.balance=first\nbrevant.d.balance=random\n"
                      "brevant.e.ConnectTimeout=250\nbrevant.e.replytimeout=2147483647\n"
                      "brevant.f.KeepAlive=8\nbrevant.f.keepalivetimeout=5\n"
                      "brevant.g.keepalive=1025\n"),
              "admin on\na: balance=1\nb: balance=2\nc: balance=0\nd:\n"
              "e: timeouts=250/2147483647\nf: keepalive=8/5\ng:\n");
    for (const char* bad : {"-1", "1.5", "abc", "2147483648", "12345678901"}) {
        EXPECT_EQ(TableOf("brevant.a.connecttimeout=300\nbrevant.a.connecttimeout=" +
                          std::string(bad) + "\n"),
                  "admin on\na: timeouts=300/0\n")
            << bad;
    }
    EXPECT_EQ(Parse("brevant.a.balance=RoundRobin\nbrevant.a.balance=x\nbrevant.a.replytimeout=9\n"
                    "brevant.a.replytimeout=-9\nbrevant.a.keepalive=4\n"),
              "Group a:  balance = roundrobin\n"
              "Brevant: brevant.properties line 2: balance must be first, failover or roundrobin; "
              "ignored: brevant.a.balance\n"
              "Group a:  reply time-out = 9 ms\n"
              "Brevant: brevant.properties line 4: a reply time-out is a whole number of "
              "milliseconds up to 2147483647; ignored: brevant.a.replytimeout\n"
              "Group a:  keep-alive = 4 idle connections per instance\n");
}

TEST_F(PropertiesTest, TheStatusPathIsAPathOutsideTheAdminPages) {
    for (const char* path : {"/brevant-status", "/servlet/adminx"}) {
        EXPECT_EQ(Parse(std::string("brevant.status=") + path + "\n"),
                  std::string("Brevant status page at ") + path + "\n");
        EXPECT_EQ(table_.statusPath, path);
    }
    for (const char* refused : {"status", "/servlet/admin", "/servlet/admin/sales"}) {
        EXPECT_EQ(Parse(std::string("brevant.status=") + refused + "\n"),
                  "Brevant: brevant.properties line 1: brevant.status must be a URL path that "
                  "begins with \"/\" and is not under /servlet/admin; ignored: " +
                      std::string(refused) + "\n");
        EXPECT_EQ(table_.statusPath, "");
    }
    EXPECT_EQ(TableOf("Brevant.status=/s\nbrevant.status.xx=/s\n"), "admin on\nstatus:\n");
}

TEST_F(PropertiesTest, NamesAndIpv6AreResolvedOnlyInGroupsWithABalanceKey) {
    Parse(
        "brevant.a.instances=[::1]:9101, [::1], localhost:9000, 10.0.0.1:80, [::1, h:99999\n"
        "brevant.a.balance=failover\n"
        "brevant.b.instances=[::1]:9101, localhost:9000\n");
    DebugOutputCapture output;
    resolveInstances(table_);
    const AdapterGroup& a = table_.groups[0];
    EXPECT_EQ(instanceAt(a, 2).resolved.empty(), false);
    EXPECT_EQ(address(instanceAt(a, 3)), "10.0.0.1:80");  // an IPv4 literal, as it always was
    EXPECT_TRUE(instanceAt(a, 3).resolved.empty());
    const AdapterGroup& b = table_.groups[1];
    EXPECT_TRUE(b.instance.resolved.empty() && b.extraInstances[0].resolved.empty());
    const std::string unreachable =
        " is neither host[:port] nor [IPv6]:port; recorded as "
        "unreachable\n";
    for (const std::string& line : std::vector<std::string>{
             "Group a:  instance 0 = [::1]:9101 resolves to [::1]:9101\n",
             "Group a:  instance 1 = [::1] resolves to [::1]:8888\n",
             "Brevant: group a: instance 4: [::1" + unreachable,
             "Brevant: group a: instance 5: h:99999" + unreachable,
             "Brevant: group b: balance is first: instances 1 to 1 are kept but not routed to\n"}) {
        EXPECT_NE(output.text().find(line), std::string::npos) << line << output.text();
    }
}

TEST_F(PropertiesTest, WithoutGroupsTheDefaultGroupTakesTheDefaultInstance) {
    DebugOutputCapture output;
    supplyDefaults(table_);
    EXPECT_EQ(output.text(), "No groups were specified, using default values\n");
    EXPECT_EQ(Table(), "admin on\ndefault: instance=127.0.0.1:8888 last=0\n");
}

TEST_F(PropertiesTest, DefaultsFillWhatEachGroupLeftOut) {
    Parse("brevant.sales.retrytime=30\nbrevant.hr.servers=hr\nbrevant.hr.instances=10.0.0.1:81\n");
    supplyDefaults(table_);
    EXPECT_EQ(Table(),
              "admin on\nsales: servers=all instance=127.0.0.1:8888 last=0 retry=30.000000\n"
              "hr: servers=hr instance=10.0.0.1:81 last=0\n");
}

TEST_F(PropertiesTest, TheFiftyFirstGroupIsReportedAndTheOthersStillTakeKeys) {
    std::string text;
    for (int i = 0; i <= kMaxGroups; ++i) {
        text += "brevant.g" + std::to_string(i) + ".servers=h\n";
    }
    std::string output = Parse(text + "brevant.g3.servers=again\n");
    EXPECT_EQ(table_.groupCount, kMaxGroups);
    EXPECT_EQ(std::string(table_.groups[kMaxGroups - 1].name), "g49");
    EXPECT_EQ(table_.groups[3].servers, (std::vector<std::string>{"h", "again"}));
    EXPECT_TRUE(
        output.ends_with("Group g49:  server = [h]\n"
                         "Brevant: brevant.properties line 51: more than 50 groups; key "
                         "ignored: brevant.g50.servers\n"
                         "Group g3:  server = [again]\n"))
        << output;
}

TEST_F(PropertiesTest, AGroupNameOverTheLimitIsReportedWithItsKey) {
    const std::string longest(127, 'n');
    std::string output = Parse("brevant." + longest + ".servers=a\nbrevant." + longest +
                               "x.servers=b\nbrevant.ok.servers=c\n");
    EXPECT_EQ(Table(), "admin on\n" + longest + ": servers=a\nok: servers=c\n");
    EXPECT_EQ(output, "Group " + longest + ":  server = [a]\n" +
                          "Brevant: brevant.properties line 2: group name longer than 127 "
                          "characters; key ignored: brevant." +
                          longest + "x.servers\nGroup ok:  server = [c]\n");
}

TEST_F(PropertiesTest, AnInstanceTextOverTheLimitIsRecordedUnreachable) {
    // The index is counted, so the defaults do not send the group's requests to 127.0.0.1.
    const std::string longHost = "10.1.2.3" + std::string(120, ' ') + "x";  // 129 characters
    std::string output = Parse(
        "brevant.a.instances=10.1.2.3:00000009000\n"   // a port text of 11 characters
        "brevant.b.instances=10.1.2.3:000000009000\n"  // 12
        "brevant.c.instances=" +
        longHost + ":81\n");
    supplyDefaults(table_);
    EXPECT_EQ(Table(),
              "admin on\na: servers=all instance=10.1.2.3:9000 last=0\n"
              "b: servers=all instance=255.255.255.255:9000 last=0\n"
              "c: servers=all instance=255.255.255.255:81 last=0\n");
    EXPECT_EQ(output,
              "Group a:  instances = 10.1.2.3:00000009000\n"
              "Group a:  instance 0 = 10.1.2.3:00000009000\n"
              "Group b:  instances = 10.1.2.3:000000009000\n"
              "Group b:  instance 0 = 10.1.2.3:000000009000\n"
              "Brevant: brevant.properties line 2: instance 0: port longer than 11 "
              "characters; recorded as unreachable: brevant.b.instances\n"
              "Group c:  instances = " +
                  longHost + ":81\nGroup c:  instance 0 = " + longHost +
                  ":81\nBrevant: brevant.properties line 3: instance 0: host longer than "
                  "127 characters; recorded as unreachable: brevant.c.instances\n");
}

TEST_F(PropertiesTest, DiagnosticsAreCutAt511Bytes) {
    const std::string value = "10.1.2.3," + std::string(600, '9');
    std::string output = Parse("brevant.a.instances=" + value + "\nbrevant." +
                               std::string(400, 'k') + ".instances=x\n");
    ASSERT_GE(output.size(), 511u);
    EXPECT_EQ(output.substr(0, 511), ("Group a:  instances = " + value).substr(0, 511));
    // Keys in the model's own messages are cut short enough to keep the line end.
    EXPECT_TRUE(output.ends_with("key ignored: brevant." + std::string(248, 'k') + "\n"));
}

TEST_F(PropertiesTest, TheFileIsReadInPiecesWhereANulEndsItsPiece) {
    testsupport::ScratchDir dir("adapter-properties");
    std::string text;
    EXPECT_FALSE(readPropertiesFile(dir.file("brevant.properties"), &text));
    // 511-byte pieces: a CR LF split between the first two still ends its line; the NUL at
    // 600 drops the rest of the second piece only.
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
    EXPECT_EQ(TableOf(text), "admin on\na: servers=split\nb: servers=last\n");
}

}  // namespace
}  // namespace brevant::adapter
