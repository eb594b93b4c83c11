// The preprocessing notification's header functions and the server variables they change.
#include <gtest/gtest.h>

#include "fake_exchange.h"
#include "stand-ins/isapihost/host/filter_chain.h"
#include "stand-ins/isapihost/host/server_variables.h"

namespace isapihost {
namespace {

class FilterHeaders : public testing::Test {
  protected:
    FilterHeaders()
        : exchange_("GET", "http://example.com/servlet/Hello?x=1",
                    {{"Host", "shop:81"},
                     {"X-Brevant-Group", "7"},
                     {"X_Brevant_Group", "9"},
                     {"Accept", "a"}}),
          request_(exchange_, site_) {
        // A context for the callbacks, as the chain makes one per filter.
        std::memset(&slot_.context, 0, sizeof slot_.context);
        slot_.request = &request_;
        slot_.context.ServerContext = &slot_;
        headers_ = makePreprocHeaders();
    }

    std::string get(const char* name) {
        char buffer[256];
        DWORD size = sizeof buffer;
        if (!headers_.GetHeader(&context_, const_cast<char*>(name), buffer, &size)) {
            return "(error " + std::to_string(GetLastError()) + ")";
        }
        return std::string(buffer, size - 1);
    }
    bool set(const char* name, const char* value) {
        return headers_.SetHeader(&context_, const_cast<char*>(name), const_cast<char*>(value));
    }
    bool add(const char* name, const char* value) {
        return headers_.AddHeader(&context_, const_cast<char*>(name), const_cast<char*>(value));
    }
    std::string variable(const char* name) {
        std::string value;
        return serverVariable(request_, name, &value) ? value : "(none)";
    }

    Site site_;
    FakeExchange exchange_;
    RequestContext request_;
    FilterSlot slot_;
    HTTP_FILTER_CONTEXT& context_ = slot_.context;
    HTTP_FILTER_PREPROC_HEADERS headers_;
};

TEST_F(FilterHeaders, GetHeaderGivesTheRequestAsSentWithTheSizeProtocol) {
    EXPECT_EQ(get("URL"), "http://example.com/servlet/Hello?x=1");
    EXPECT_EQ(get("method"), "GET");
    EXPECT_EQ(get("version"), "HTTP/1.1");
    EXPECT_EQ(get("Host:"), "shop:81");
    EXPECT_EQ(get("host:"), "shop:81");
    EXPECT_EQ(get("Missing:"), "(error 1413)");

    char small[4];
    DWORD size = sizeof small;
    EXPECT_FALSE(headers_.GetHeader(&context_, const_cast<char*>("URL"), small, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 37u) << "the length with its terminating zero";
}

TEST_F(FilterHeaders, SetHeaderReplacesOrRemovesAndRederivesTheUrl) {
    EXPECT_EQ(variable("URL"), "/servlet/Hello");
    EXPECT_EQ(variable("QUERY_STRING"), "x=1");
    ASSERT_TRUE(set("URL", "/Scripts/Brevant_Adapter.dll?q"));
    EXPECT_EQ(variable("URL"), "/Scripts/Brevant_Adapter.dll");
    EXPECT_EQ(variable("QUERY_STRING"), "q");

    // An empty value removes, and only the spelling with "-" is the header's name.
    ASSERT_TRUE(set("X-Brevant-Group:", ""));
    EXPECT_EQ(variable("HTTP_X_BREVANT_GROUP"), "(none)");
    EXPECT_EQ(get("X_Brevant_Group:"), "9");
    ASSERT_TRUE(set("X_Brevant_Group:", ""));
    EXPECT_EQ(variable("ALL_HTTP"), "HTTP_HOST:shop:81\nHTTP_ACCEPT:a\n");

    ASSERT_TRUE(set("Accept:", "b"));
    EXPECT_EQ(variable("HTTP_ACCEPT"), "b");
    for (const char* value : {"b\r\nInjected: yes", "b\rInjected: yes", "b\nInjected: yes"}) {
        EXPECT_FALSE(set("Accept:", value)) << value;
    }
}

TEST_F(FilterHeaders, AddHeaderAppendsOrCombinesWithThePresentValue) {
    ASSERT_TRUE(add("X-Brevant-Request:", "/servlet/Hello?x=1"));
    EXPECT_EQ(variable("HTTP_X_BREVANT_REQUEST"), "/servlet/Hello?x=1");
    ASSERT_TRUE(add("Accept:", "c"));
    EXPECT_EQ(variable("HTTP_ACCEPT"), "a, c");
}

TEST_F(FilterHeaders, ServerVariablesFollowTheConnectionAndTheSizeProtocol) {
    EXPECT_EQ(variable("SERVER_NAME"), "shop");
    EXPECT_EQ(variable("SERVER_PORT"), "8081");
    EXPECT_EQ(variable("REMOTE_ADDR"), "10.1.2.3");
    EXPECT_EQ(variable("SERVER_PORT_SECURE"), "0");
    EXPECT_EQ(variable("CERT_SUBJECT"), "");
    EXPECT_EQ(variable("ALL_RAW"),
              "Host: shop:81\r\nX-Brevant-Group: 7\r\nX_Brevant_Group: 9\r\n"
              "Accept: a\r\n");

    char buffer[8];
    DWORD size = 3;
    EXPECT_FALSE(copyServerVariable(request_, "SERVER_PORT", buffer, &size));
    EXPECT_EQ(size, 5u);
    size = sizeof buffer;
    EXPECT_TRUE(copyServerVariable(request_, "SERVER_PORT", buffer, &size));
    EXPECT_EQ(size, 5u);
    EXPECT_STREQ(buffer, "8081");
    EXPECT_FALSE(copyServerVariable(request_, "NOT_A_VARIABLE", buffer, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
}

}  // namespace
}  // namespace isapihost
