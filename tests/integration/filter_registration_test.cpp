// Filter registration for real: `filterctl configure` calls Brevant_ISAPI's ConfigureFilter
// on a metabase that isapihost serves, and isapihost loads the filter at its next start;
// `filterctl unconfigure` takes it out again. The metabase starts with another filter
// (TestFilter) and without the adapter, whose image path would count as the registration.
//
// The connector cannot start its engine here (the Java home does not exist): loaded, it
// answers /servlet/ URLs with its "Initialization Failed" page, and that is proof enough
// that it was loaded.
#include <stdlib.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "http_client.h"
#include "server_process.h"
#include "test_paths.h"

namespace {

constexpr char kFailurePage[] = "Brevant Initialization Failed</font></h2></center>";
constexpr char kFilterFinished[] = "finished by the filter\n";

std::string quotedForShell(const std::string& text) {
    return "'" + text + "'";  // the tests' paths hold no single quotes
}

class FilterRegistrationTest : public testing::Test {
  protected:
    void SetUp() override {
        out_ = testsupport::buildOutputFolder();
        std::filesystem::create_directories(scratch_.file("www"));
        std::filesystem::create_directories(scratch_.file("home"));
        testsupport::writeFile(scratch_.file("www/index.html"), "<p>static</p>\n");
        testsupport::writeFile(
            scratch_.file("registry.reg"),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlena\\Brevant ISAPI]\n\"Home\"=\"" +
                scratch_.file("home") +
                "\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JDK]\n\"CurrentVersion\"=\"17\"\n\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JDK\\17]\n"
                "\"JavaHome\"=\"/nonexistent/jdk\"\n\n");
        const std::string testFilter = std::string(getenv("TEST_MODULES")) + "/TestFilter.dll";
        writeMetabase(
            "[/LM/W3SVC/3]\nMD_SERVER_BINDINGS=1023 SERVER NONE MULTISZ \":0:\"\n"
            "[/LM/W3SVC/3/ROOT]\nMD_VR_PATH=3001 FILE INHERIT STRING \"" +
            scratch_.file("www") +
            "\"\nMD_ACCESS_PERM=6016 FILE INHERIT DWORD 0x1\n"
            "[/LM/W3SVC/Filters]\nMD_FILTER_LOAD_ORDER=2040 SERVER NONE STRING \"TestFilter\"\n"
            "[/LM/W3SVC/Filters/TestFilter]\n"
            "MD_FILTER_IMAGE_PATH=2041 SERVER NONE STRING \"" +
            testFilter + "\"\nMD_FILTER_ENABLED=2043 SERVER NONE DWORD 1\n");
        setenv("STANDIN_REGISTRY", scratch_.file("registry.reg").c_str(), 1);
        setenv("STANDIN_DEBUG_OUTPUT", scratch_.file("debug.txt").c_str(), 1);
    }
    void TearDown() override { unsetenv("STANDIN_METABASE"); }

    void writeMetabase(const std::string& text) {
        testsupport::writeFile(scratch_.file("metabase.txt"), text);
        setenv("STANDIN_METABASE", scratch_.file("metabase.txt").c_str(), 1);
    }
    std::string metabase() const { return testsupport::readFile(scratch_.file("metabase.txt")); }
    std::string debugOutput() const { return testsupport::readFile(scratch_.file("debug.txt")); }

    // filterctl with these arguments, run in the build's output folder; its exit status.
    int filterctl(const std::string& arguments) {
        const std::string command = "cd " + quotedForShell(out_) + " && bin/filterctl " +
                                    arguments + " >" + quotedForShell(scratch_.file("stdout")) +
                                    " 2>" + quotedForShell(scratch_.file("stderr"));
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string printed() const {
        return testsupport::readFile(scratch_.file("stdout")) +
               testsupport::readFile(scratch_.file("stderr"));
    }

    // isapihost from the metabase alone, as IIS starts; what it answers for a servlet URL
    // and for a URL that TestFilter answers, and its exit status.
    struct Answers {
        testsupport::HttpResponse servlet;
        std::string finish;
        int exitStatus = -1;
    };
    Answers startAndAsk() {
        testsupport::ServerProcess host;
        Answers answers;
        if (!host.start(out_ + "/bin/isapihost", {}, {}, scratch_.file("isapihost.log"),
                        "isapihost: listening on")) {
            ADD_FAILURE() << host.output();
            return answers;
        }
        answers.servlet = testsupport::httpRequest(host.port(), "GET", "/servlet/x");
        answers.finish = testsupport::httpRequest(host.port(), "GET", "/finish").body;
        answers.exitStatus = host.stop();
        return answers;
    }

    testsupport::ScratchDir scratch_{"filter-registration"};
    std::string out_;
};

TEST_F(FilterRegistrationTest, ConfiguredTheFilterLoadsAtTheNextStartUnconfiguredItDoesNot) {
    Answers before = startAndAsk();
    EXPECT_EQ(before.servlet.status, 404);
    EXPECT_EQ(before.finish, kFilterFinished);

    // A relative path, as an administrator types it: the full path is registered.
    const std::string module = out_ + "/modules/Brevant_ISAPI.dll";
    ASSERT_EQ(filterctl("configure modules/Brevant_ISAPI.dll"), 0) << printed() << debugOutput();
    EXPECT_NE(printed().find("ConfigureFilter(\"" + module + "\") answered TRUE"),
              std::string::npos)
        << printed();
    EXPECT_NE(metabase().find("[/LM/W3SVC/Filters/Brevant]\n"
                              "MD_FILTER_IMAGE_PATH=2041 SERVER NONE STRING \"" +
                              module +
                              "\"\n"
                              "MD_FILTER_ENABLED=2043 SERVER NONE DWORD 0x00000001\n"),
              std::string::npos)
        << metabase();
    EXPECT_NE(metabase().find("STRING \"TestFilter,Brevant\"\n"), std::string::npos);
    EXPECT_NE(debugOutput().find("Brevant: metabase filter entry for Brevant saved.\n"),
              std::string::npos);

    Answers registered = startAndAsk();
    EXPECT_EQ(registered.servlet.status, 200);
    EXPECT_NE(registered.servlet.body.find(kFailurePage), std::string::npos)
        << registered.servlet.raw;
    EXPECT_EQ(registered.finish, kFilterFinished) << "the filter before it still loads";
    EXPECT_EQ(registered.exitStatus, 0);

    ASSERT_EQ(filterctl("unconfigure " + quotedForShell(module)), 0) << printed();
    EXPECT_EQ(metabase().find("Filters/Brevant]"), std::string::npos) << metabase();
    EXPECT_NE(metabase().find("STRING \"TestFilter\"\n"), std::string::npos) << metabase();
    Answers unregistered = startAndAsk();
    EXPECT_EQ(unregistered.servlet.status, 404) << unregistered.servlet.raw;
    EXPECT_EQ(unregistered.finish, kFilterFinished);
}

TEST_F(FilterRegistrationTest, FilterctlExitsWithZeroOneOrTwoAndSaysWhy) {
    const std::string testFilter = std::string(getenv("TEST_MODULES")) + "/TestFilter.dll";
    struct Case {
        std::string arguments;
        int status;
        std::string said;
    };
    const Case cases[] = {
        {"", 2, "filterctl: a command and a module path are needed\nusage: filterctl configure"},
        {"configure", 2, "a command and a module path are needed"},
        {"configure a b", 2, "too many arguments"},
        {"register modules/Brevant_ISAPI.dll", 2, "unknown command \"register\""},
        {"configure ''", 2, "the module path is empty"},
        {"configure modules/Missing.dll", 1, "cannot load the module modules/Missing.dll"},
        {"unconfigure " + quotedForShell(testFilter), 1,
         testFilter + " has no export UnConfigureFilter"},
        {"unconfigure modules/Brevant_ISAPI.dll", 0, "answered TRUE: no registration"},
    };
    for (const auto& [arguments, status, said] : cases) {
        EXPECT_EQ(filterctl(arguments), status) << arguments;
        EXPECT_NE(printed().find(said), std::string::npos) << arguments << ": " << printed();
    }

    writeMetabase("[/LM/W3SVC]\n");  // no Filters key: the registration fails
    EXPECT_EQ(filterctl("configure modules/Brevant_ISAPI.dll"), 1);
    EXPECT_NE(printed().find("answered FALSE: the filter could not be registered.\n"
                             "The module's messages are on the debugger output"),
              std::string::npos)
        << printed();
    EXPECT_NE(debugOutput().find("Brevant: OpenKey failed = 80070003 \n"), std::string::npos)
        << debugOutput();
}

}  // namespace
