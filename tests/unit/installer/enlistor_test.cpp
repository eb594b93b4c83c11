// Enlistor's promises, seen from outside: it runs from a folder of its own (with a blank in
// its path) beside its three default files, against a registry stand-in of the test's own.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_paths.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;

const std::string kHelp =
    "\nUsage: Enlistor [options]\n\nOptions:\n\n"
    "    -h                displays usage text\n"
    "    -?                displays usage text\n"
    "    -n     <name>     service's name          (default=Brevant)\n"
    "    -s     <command>  service's executable    (default=Brevant)\n"
    "    -start <command>  service's start command (default=StartBrevant.sh)\n"
    "    -stop  <command>  service's stop command  (default=StopBrevant.sh)\n"
    "\nNotes:\n"
    "    If the service's executable, start and stop commands are not located in the\n"
    "    same directory as Enlistor then you must specify the complete\n"
    "    path to where they are located.\n";
const std::string kUsageHint = "Enter the option -h to display usage text.\n";

struct Outcome {
    int status;
    std::string output;
};

class EnlistorTest : public testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(bin_);
        fs::create_symlink(STANDIN_LIBRARY_DIR, home_ + "/lib");
        for (const char* file : {"Brevant", "StartBrevant.sh", "StopBrevant.sh"}) {
            testsupport::writeFile(bin_ + file, "");
        }
        fs::copy_file(ENLISTOR_PROGRAM, bin_ + "Enlistor", fs::copy_options::overwrite_existing);
        testsupport::writeFile(registry_, "REGEDIT4\n");
        setenv("STANDIN_REGISTRY", registry_.c_str(), 1);
    }

    // Runs the program `name` of bin/ from another current folder; standard output only.
    Outcome run(std::vector<std::string> args, const std::string& name = "Enlistor") {
        std::string program = bin_ + name;
        std::vector<char*> argv{program.data()};
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addchdir_np(&actions, "/");
        pid_t pid = -1;
        int status = -1;
        if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
            waitpid(pid, &status, 0);
        }
        posix_spawn_file_actions_destroy(&actions);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(output_)};
    }

    // "type:bytes" of a value under the service's key.
    std::string value(const std::string& key, const char* name) {
        HKEY handle = nullptr;
        DWORD type = 0;
        char data[1024] = {};
        DWORD size = sizeof data;
        std::string path = "SYSTEM\\CurrentControlSet\\Services\\" + key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &handle) != 0) {
            return "<no key>";
        }
        LONG result = RegQueryValueExA(handle, name, nullptr, &type, (BYTE*)data, &size);
        RegCloseKey(handle);
        return result == 0 ? std::to_string(type) + ":" + std::string(data, size) : "<no value>";
    }

    testsupport::ScratchDir scratch_{"enlistor"};
    std::string home_ = scratch_.file("Brevant ISAPI");
    std::string bin_ = home_ + "/bin/";
    std::string registry_ = scratch_.file("registry.reg");
    std::string output_ = scratch_.file("output.txt");
};

std::string illegal(const std::string& option) {
    return "\nReceived an illegal option: " + option + "\n" + kUsageHint;
}
std::string noValue(const std::string& option, const char* value) {
    return "\nThe " + option + " option is missing the value " + value + ".\n" + kUsageHint;
}
std::string notFound(const std::string& what, const std::string& path) {
    return "\nCouldn't find the service's " + what + " in location:\n\n    " + path + "\n";
}
std::string summary(const std::string& name, const std::string& exe, const std::string& start,
                    const std::string& stop) {
    return "Successfully created the service(" + name + ") with the values: \n    name  = " + name +
           "\n    exe   = " + exe + "\n    start = " + start + "\n    stop  = " + stop + "\n";
}

TEST_F(EnlistorTest, RefusesBadCommandLinesWithTheirMessages) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string output;
    } cases[] = {
        {{"-h"}, 0, kHelp},
        {{"-?"}, 0, kHelp},
        {{"-h", "x"}, 1, illegal("-h")},
        {{"-N", "x"}, 1, illegal("-N")},
        {{"-n", "a", "%s%n", "b"}, 1, illegal("%s%n")},
        {{"-n"}, 1, noValue("-n", "<name>")},
        {{"-n", "a", "-start"}, 1, noValue("-start", "<command>")},
        {{"-stop"}, 1, noValue("-stop", "<command>")},
        {{"-s"}, 1, noValue("-s", "<command>")},
        {{"-s", "Other"}, 1, notFound(".exe file", bin_ + "Other")},
        {{"-start", "sub/go.sh"}, 1, notFound("start command file", bin_ + "sub/go.sh")},
        {{"-stop", "/nowhere/stop.sh", "-stop", "/x/y"}, 1, notFound("stop command file", "/x/y")},
    };
    for (const auto& c : cases) {
        Outcome result = run(c.args);
        EXPECT_EQ(c.status, result.status) << c.args[0];
        EXPECT_EQ(c.output, result.output) << c.args[0];
    }
    EXPECT_EQ("REGEDIT4\n", readFile(registry_)) << "nothing was created";
}

TEST_F(EnlistorTest, FindsItselfOnlyAsEnlistorAndWhole) {
    fs::copy_file(bin_ + "Enlistor", bin_ + "Installer");
    EXPECT_EQ("\nFailed to get handle to Enlistor.exe, error = 126.\n",
              run({}, "Installer").output);
    // A folder name longer than the 512-byte buffer would be cut short: no folder is guessed.
    std::string deep = std::string(250, 'd') + "/" + std::string(250, 'e') + "/";
    fs::create_directories(bin_ + deep);
    fs::copy_file(bin_ + "Enlistor", bin_ + deep + "Enlistor");
    Outcome result = run({}, deep + "Enlistor");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("\nFailed to get path to Enlistor.exe, error = 122.\n", result.output);
}

TEST_F(EnlistorTest, CreatesTheServiceAndItsParametersOnce) {
    Outcome result = run({});
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(
        summary("Brevant", bin_ + "Brevant", bin_ + "StartBrevant.sh", bin_ + "StopBrevant.sh"),
        result.output);
    EXPECT_EQ("1:" + bin_ + "StartBrevant.sh" + '\0', value("Brevant\\Parameters", "Start"));
    EXPECT_EQ("1:" + bin_ + "StopBrevant.sh" + '\0', value("Brevant\\Parameters", "Stop"));
    EXPECT_EQ("\"" + bin_ + "Brevant\"" + '\0', value("Brevant", "ImagePath").substr(2))
        << "a blank";

    result = run({"-stop", "StartBrevant.sh"});
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("The service(Brevant) already exists!!!\n", result.output);
    EXPECT_EQ("1:" + bin_ + "StopBrevant.sh" + '\0', value("Brevant\\Parameters", "Stop"));

    // A name is data, never a format; a path without a blank is recorded as it is.
    fs::create_symlink(bin_, scratch_.file("plain"));
    std::string plain = scratch_.file("plain/");
    result = run({"-n", "1%s %n", "-s", plain + "Brevant"});
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(
        summary("1%s %n", plain + "Brevant", bin_ + "StartBrevant.sh", bin_ + "StopBrevant.sh"),
        result.output);
    EXPECT_EQ(plain + "Brevant" + '\0', value("1%s %n", "ImagePath").substr(2));
}

}  // namespace
