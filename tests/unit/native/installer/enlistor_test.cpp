// Enlistor from outside, run from a folder with a blank in its path beside its default files,
// against a registry stand-in of its own. service-suite.sh checks -? and a renamed program.
#include <stdlib.h>
#include <sys/wait.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_paths.h"

namespace {

namespace fs = std::filesystem;

const std::string kHint = "Enter the option -h to display usage text.\n";
const std::string kHelp =
    "\nUsage: Enlistor [options]\n\nOptions:\n\n"
    "    -h                displays usage text\n    -?                displays usage text\n"
    "    -n     <name>     service's name          (default=Brevant)\n"
    "    -s     <command>  service's executable    (default=Brevant)\n"
    "    -start <command>  service's start command (default=StartBrevant.sh)\n"
    "    -stop  <command>  service's stop command  (default=StopBrevant.sh)\n\nNotes:\n"
    "    If the service's executable, start and stop commands are not located in the\n"
    "    same directory as Enlistor then you must specify the complete\n"
    "    path to where they are located.\n";

class EnlistorTest : public testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(bin_);
        fs::create_symlink(STANDIN_LIBRARY_DIR, home_ + "/lib");
        for (const char* file : {"Brevant", "StartBrevant.sh", "StopBrevant.sh"})
            testsupport::writeFile(bin_ + file, "");
        fs::copy_file(ENLISTOR_PROGRAM, bin_ + "Enlistor");
        setenv("STANDIN_REGISTRY", registry_.c_str(), 1);
    }

    // Runs bin/`name` from / with these arguments for the shell: "status:standard output".
    std::string run(const std::string& args, const std::string& name = "Enlistor") {
        const std::string command = "cd / && '" + bin_ + name + "' " + args + " >" + output_;
        const int status = std::system(command.c_str());
        return std::to_string(WEXITSTATUS(status)) + ":" + testsupport::readFile(output_);
    }

    // "type:bytes" of a value under the service's key.
    std::string value(const std::string& key, const char* name) {
        const std::string path = "SYSTEM\\CurrentControlSet\\Services\\" + key;
        HKEY handle = nullptr;
        DWORD type = 0, size = 1024;
        char data[1024];
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &handle);
        const LONG result = RegQueryValueExA(handle, name, nullptr, &type, (BYTE*)data, &size);
        RegCloseKey(handle);
        return result == 0 ? std::to_string(type) + ":" + std::string(data, size) : "";
    }

    testsupport::ScratchDir scratch_{"enlistor"};
    std::string home_ = scratch_.file("Brevant ISAPI"), bin_ = home_ + "/bin/";
    std::string registry_ = scratch_.file("registry.reg"), output_ = scratch_.file("output.txt");
};

TEST_F(EnlistorTest, RefusesBadCommandLinesWithTheirMessages) {
    // A folder name longer than the 512-byte buffer would be cut short: no folder is guessed.
    const std::string deep = std::string(250, 'd') + "/" + std::string(250, 'e') + "/Enlistor";
    fs::create_directories(fs::path(bin_ + deep).parent_path());
    fs::copy_file(bin_ + "Enlistor", bin_ + deep);
    const auto notFound = [](const std::string& what, const std::string& path) {
        return "\nCouldn't find the service's " + what + " in location:\n\n    " + path + "\n";
    };
    EXPECT_EQ(run("-h"), "0:" + kHelp);
    EXPECT_EQ(run("-h x"), "1:\nReceived an illegal option: -h\n" + kHint);
    EXPECT_EQ(run("-N x"), "1:\nReceived an illegal option: -N\n" + kHint);
    EXPECT_EQ(run("-n a %s%n b"), "1:\nReceived an illegal option: %s%n\n" + kHint);
    EXPECT_EQ(run("-n"), "1:\nThe -n option is missing the value <name>.\n" + kHint);
    for (const std::string option : {"-start", "-stop", "-s"})
        EXPECT_EQ(run("-n a " + option),
                  "1:\nThe " + option + " option is missing the value <command>.\n" + kHint);
    EXPECT_EQ(run("-s Other"), "1:" + notFound(".exe file", bin_ + "Other"));
    EXPECT_EQ(run("-start sub/go.sh"), "1:" + notFound("start command file", bin_ + "sub/go.sh"));
    EXPECT_EQ(run("-stop /a/b -stop /x/y"), "1:" + notFound("stop command file", "/x/y"));
    EXPECT_EQ(run("", deep), "1:\nFailed to get path to Enlistor.exe, error = 122.\n");
    EXPECT_FALSE(fs::exists(registry_)) << "nothing was created";
}

TEST_F(EnlistorTest, CreatesTheServiceAndItsParametersOnce) {
    const auto summary = [this](const std::string& name, const std::string& exe) {
        return "Successfully created the service(" + name +
               ") with the values: \n    name  = " + name + "\n    exe   = " + exe +
               "\n    start = " + bin_ + "StartBrevant.sh\n    stop  = " + bin_ +
               "StopBrevant.sh\n";
    };
    EXPECT_EQ(run(""), "0:" + summary("Brevant", bin_ + "Brevant"));
    EXPECT_EQ(value("Brevant\\Parameters", "Start"), "1:" + bin_ + "StartBrevant.sh" + '\0');
    EXPECT_EQ(value("Brevant\\Parameters", "Stop"), "1:" + bin_ + "StopBrevant.sh" + '\0');
    EXPECT_EQ(value("Brevant", "ImagePath").substr(2), '"' + bin_ + "Brevant\"" + '\0');
    EXPECT_EQ(run("-stop StartBrevant.sh"), "1:The service(Brevant) already exists!!!\n");

    // A name is data, never a format; a path without a blank is recorded as it is.
    fs::create_symlink(bin_, scratch_.file("plain"));
    const std::string plain = scratch_.file("plain/Brevant");
    EXPECT_EQ(run("-n '1%s %n' -s " + plain), "0:" + summary("1%s %n", plain));
    EXPECT_EQ(value("1%s %n", "ImagePath").substr(2), plain + '\0');
}

}  // namespace
