// Filter registration for real: `filterctl configure` registers Brevant_ISAPI in a metabase
// with another filter (TestFilter), and isapihost loads it at its next start; `filterctl
// unconfigure` takes it out again. The connector cannot start its engine here (no Java home):
// its "Initialization Failed" page is proof enough that it was loaded.
#include <stdlib.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "http_client.h"
#include "server_process.h"
#include "test_paths.h"

namespace {

class FilterRegistrationTest : public testing::Test {
  protected:
    void SetUp() override {
        const std::string www = scratch_.file("www");
        std::filesystem::create_directories(www);
        testsupport::writeFile(scratch_.file("registry.reg"),
                               "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlena\\Brevant "
                               "ISAPI]\n\"Home\"=\"" +
                                   www + "\"\n");
        writeMetabase(
            "[/LM/W3SVC/3]\nMD_SERVER_BINDINGS=1023 SERVER NONE MULTISZ \":0:\"\n"
            "[/LM/W3SVC/3/ROOT]\nMD_ACCESS_PERM=6016 FILE INHERIT DWORD 0x1\n"
            "MD_VR_PATH=3001 FILE INHERIT STRING \"" +
            www +
            "\"\n"
            "[/LM/W3SVC/Filters]\nMD_FILTER_LOAD_ORDER=2040 SERVER NONE STRING \"TestFilter\"\n"
            "[/LM/W3SVC/Filters/TestFilter]\nMD_FILTER_IMAGE_PATH=2041 SERVER NONE STRING \"" +
            testFilter_ + "\"\n");
        setenv("STANDIN_REGISTRY", scratch_.file("registry.reg").c_str(), 1);
    }

    void writeMetabase(const std::string& text) {
        testsupport::writeFile(scratch_.file("metabase.txt"), text);
        setenv("STANDIN_METABASE", scratch_.file("metabase.txt").c_str(), 1);
    }

    // Runs filterctl with these arguments for the shell in the build's output folder: its exit
    // status, and all it printed, which holds `said`.
    void filterctl(const std::string& arguments, int exitStatus, const std::string& said) {
        const std::string printed = scratch_.file("printed");
        const std::string command = "cd '" + out_ + "' && bin/filterctl " + arguments;
        const int status = std::system((command + " >" + printed + " 2>&1").c_str());
        EXPECT_EQ(WEXITSTATUS(status), exitStatus) << arguments;
        const std::string text = testsupport::readFile(printed);
        EXPECT_NE(text.find(said), std::string::npos) << arguments << ": " << text;
    }

    // isapihost started from the metabase alone, as IIS starts: its answer for a servlet URL
    // (the connector's page, or 404 without it) and whether TestFilter, before it, still runs.
    void expectAtTheNextStart(int servletStatus) {
        testsupport::ServerProcess host;
        ASSERT_TRUE(host.start(out_ + "/bin/isapihost", {}, {}, scratch_.file("isapihost.log"),
                               "isapihost: listening on"))
            << host.output();
        const testsupport::HttpResponse servlet =
            testsupport::httpRequest(host.port(), "GET", "/servlet/x");
        EXPECT_EQ(servlet.status, servletStatus) << servlet.raw;
        EXPECT_EQ(servlet.body.find("Brevant Initialization Failed</font></h2></center>") !=
                      std::string::npos,
                  servletStatus == 200);
        EXPECT_EQ(testsupport::httpRequest(host.port(), "GET", "/finish").body,
                  "finished by the filter\n");
        EXPECT_EQ(host.stop(), 0);
    }

    testsupport::ScratchDir scratch_{"filter-registration"};
    std::string out_ = testsupport::buildOutputFolder();
    std::string testFilter_ = std::string(getenv("TEST_MODULES")) + "/TestFilter.dll";
};

TEST_F(FilterRegistrationTest, ConfiguredTheFilterLoadsAtTheNextStartUnconfiguredItDoesNot) {
    // A relative path, as an administrator types it: the full path is registered.
    const std::string module = out_ + "/modules/Brevant_ISAPI.dll";
    filterctl("configure modules/Brevant_ISAPI.dll", 0,
              "ConfigureFilter(\"" + module + "\") answered TRUE");
    expectAtTheNextStart(200);
    filterctl("unconfigure '" + module + "'", 0, "answered TRUE: no registration");
    expectAtTheNextStart(404);
}

TEST_F(FilterRegistrationTest, FilterctlExitsWithZeroOneOrTwoAndSaysWhy) {
    filterctl("", 2,
              "filterctl: a command and a module path are needed\nusage: filterctl configure");
    filterctl("configure", 2, "a command and a module path are needed");
    filterctl("configure a b", 2, "too many arguments");
    filterctl("register modules/Brevant_ISAPI.dll", 2, "unknown command \"register\"");
    filterctl("configure ''", 2, "the module path is empty");
    filterctl("configure modules/Missing.dll", 1, "cannot load the module modules/Missing.dll");
    filterctl("unconfigure '" + testFilter_ + "'", 1, " has no export UnConfigureFilter");
    writeMetabase("[/LM/W3SVC]\n");  // no Filters key: the registration fails
    filterctl("configure modules/Brevant_ISAPI.dll", 1,
              "answered FALSE: the filter could not be registered.\nThe module's messages are on");
}

}  // namespace
