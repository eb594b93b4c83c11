// isapihost configured only through the metabase, as IIS is, and filter registration on
// that metabase: `filterctl configure` registers Brevant_ISAPI beside another filter
// (TestFilter) and isapihost loads it at its next start; `filterctl unconfigure` takes it
// out again. The connector cannot start its engine here (no Java home): its
// "Initialization Failed" page is proof enough that it was loaded.
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
        std::filesystem::create_directories(www + "/docs");
        testsupport::writeFile(www + "/docs/start.html", "<html>start</html>");
        testsupport::writeFile(scratch_.file("registry.reg"),
                               "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlena\\Brevant "
                               "ISAPI]\n\"Home\"=\"" +
                                   www + "\"\n");
        // Server-wide default documents, inherited by the site; a load order with a name
        // without a key and blanks, as registrations leave it behind.
        writeMetabase(
            "[/LM/W3SVC]\nMD_DEFAULT_LOAD_FILE=6006 FILE INHERIT STRING \"default.htm, "
            "start.html\"\n"
            "MD_DIRECTORY_BROWSING=6005 FILE INHERIT DWORD 0x40000000\n"
            "[/LM/W3SVC/3]\nMD_SERVER_BINDINGS=1023 SERVER NONE MULTISZ \":0:\"\n"
            "[/LM/W3SVC/3/ROOT]\nMD_ACCESS_PERM=6016 FILE INHERIT DWORD 0x1\n"
            "MD_VR_PATH=3001 FILE INHERIT STRING \"" +
            www + "\"\n[/LM/W3SVC/3/ROOT/Scripts]\nMD_ACCESS_PERM=6016 FILE INHERIT DWORD 0x5\n" +
            "MD_VR_PATH=3001 FILE INHERIT STRING \"" + modules_ +
            "\"\n[/LM/MimeMap]\nMD_MIME_MAP=6015 FILE INHERIT MULTISZ \".html,text/html\"\n"
            "[/LM/W3SVC/Filters]\nMD_FILTER_LOAD_ORDER=2040 SERVER NONE STRING \" Gone , "
            "testfilter,,\"\n"
            "[/LM/W3SVC/Filters/TestFilter]\nMD_FILTER_IMAGE_PATH=2041 SERVER NONE STRING \"" +
            modules_ + "/TestFilter.dll\"\n");
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
        ASSERT_TRUE(host_.startIsapihost({}, scratch_.path())) << host_.output();
        const testsupport::HttpResponse servlet = get("/servlet/x");
        EXPECT_EQ(servlet.status, servletStatus) << servlet.raw;
        EXPECT_EQ(servlet.body.find("Brevant Initialization Failed</font></h2></center>") !=
                      std::string::npos,
                  servletStatus == 200);
        EXPECT_EQ(get("/finish").body, "finished by the filter\n");
        EXPECT_NE(host_.output().find("\"Gone\""), std::string::npos) << "warned about it";
    }

    testsupport::HttpResponse get(const std::string& target) {
        return testsupport::httpRequest(host_.port(), "GET", target);
    }

    testsupport::ScratchDir scratch_{"filter-registration"};
    std::string out_ = testsupport::buildOutputFolder();
    std::string modules_ = std::getenv("TEST_MODULES");
    testsupport::ServerProcess host_;
};

TEST_F(FilterRegistrationTest, TheSiteServesInheritedDefaultDocumentsAndItsExtensions) {
    expectAtTheNextStart(404);
    testsupport::HttpResponse response = get("/docs/");
    EXPECT_EQ(response.body, "<html>start</html>");
    EXPECT_EQ(response.headers["content-type"], "text/html");
    EXPECT_EQ(get("/Scripts/TestExtension.dll?keep").body, "kept\n");
    EXPECT_NE(
        testsupport::readFile(scratch_.file("registry.reg"))
            .find("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters]"),
        std::string::npos)
        << "prepared as an installed IIS has it";
}

TEST_F(FilterRegistrationTest, ConfiguredTheFilterLoadsAtTheNextStartUnconfiguredItDoesNot) {
    // A relative path, as an administrator types it: the full path is registered.
    const std::string module = out_ + "/modules/Brevant_ISAPI.dll";
    filterctl("configure modules/Brevant_ISAPI.dll", 0,
              "ConfigureFilter(\"" + module + "\") answered TRUE");
    expectAtTheNextStart(200);
    EXPECT_EQ(host_.stop(), 0);
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
    filterctl("unconfigure '" + modules_ + "/TestFilter.dll'", 1,
              " has no export UnConfigureFilter");
    writeMetabase("[/LM/W3SVC]\n");  // no Filters key: the registration fails
    filterctl("configure modules/Brevant_ISAPI.dll", 1,
              "answered FALSE: the filter could not be registered.\nThe module's messages are on");
}

}  // namespace
