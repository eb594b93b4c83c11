// The C runtime's spawn functions of the stand-in (process.h) and the Windows command-line
// rules beneath them and beneath ImagePath.
#include <process.h>
#include <windows.h>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "processes/command_line.h"
#include "test_paths.h"

namespace {

using standin::processes::expandEnvironmentStrings;
using standin::processes::findImageProgram;
using standin::processes::splitCommandLine;

// A shell script that records its arguments, one per line, after the count, and exits
// with `exitCode`.
std::string writeScript(const std::string& path, const std::string& record, int exitCode) {
    testsupport::writeFile(path,
                           "#!/bin/sh\n"
                           "echo \"$#\" > '" +
                               record +
                               "'\n"
                               "for a in \"$@\"; do echo \"$a\" >> '" +
                               record +
                               "'; done\n"
                               "exit " +
                               std::to_string(exitCode) + "\n");
    chmod(path.c_str(), 0755);
    return path;
}

}  // namespace

TEST(CommandLine, SplitsAsTheWindowsCRuntimeDoes) {
    struct Case {
        const char* line;
        std::vector<std::string> arguments;
    };
    const Case cases[] = {
        {"prog", {"prog"}},
        {"prog a  b\tc", {"prog", "a", "b", "c"}},
        {"\"C:\\Brevant ISAPI\\go.bat\" x", {"C:\\Brevant ISAPI\\go.bat", "x"}},
        {"C:\\Brevant ISAPI\\go.bat", {"C:\\Brevant", "ISAPI\\go.bat"}},
        {"prog \"a b\" c", {"prog", "a b", "c"}},
        {"prog a\\\\b", {"prog", "a\\\\b"}},         // backslashes alone stay
        {"prog a\\\"b", {"prog", "a\"b"}},           // 2n+1 before a quote: literal quote
        {"prog \"a\\\\\" b", {"prog", "a\\", "b"}},  // 2n before a quote: n, and it groups
        {"prog \"a\"\"b\"", {"prog", "a\"b"}},       // "" inside quotes
        {"prog \"\"", {"prog", ""}},
        {"pro\\\"g x", {"pro\\\"g", "x"}},  // the program name knows no escapes
    };
    for (const Case& c : cases) {
        EXPECT_EQ(splitCommandLine(c.line), c.arguments) << c.line;
    }
}

TEST(CommandLine, ExpandsEnvironmentStringsThatAreSet) {
    setenv("H5_SET", "/opt/x", 1);
    unsetenv("H5_UNSET");
    EXPECT_EQ(expandEnvironmentStrings("%H5_SET%/bin/p %H5_UNSET% 100%"),
              "/opt/x/bin/p %H5_UNSET% 100%");
    EXPECT_EQ(expandEnvironmentStrings("%%H5_SET%"), "%/opt/x");
}

TEST(CommandLine, FindsTheImageProgramAsCreateProcessDoes) {
    testsupport::ScratchDir dir("image-path");
    std::string folder = dir.file("Brevant ISAPI");
    mkdir(folder.c_str(), 0755);
    std::string program = writeScript(folder + "/Brevant", dir.file("unused"), 0);
    std::string found;

    EXPECT_EQ(ERROR_SUCCESS, findImageProgram("\"" + program + "\" -x", &found));
    EXPECT_EQ(found, program);
    EXPECT_EQ(ERROR_SUCCESS, findImageProgram(program + " -x", &found));
    EXPECT_EQ(found, program);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, findImageProgram("\"" + folder + "\"", &found))
        << "a folder is no program";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, findImageProgram("\"" + program + "x\"", &found));

    // The hole of unquoted paths: a program at the first blank wins.
    std::string planted = writeScript(dir.file("Brevant"), dir.file("unused"), 0);
    EXPECT_EQ(ERROR_SUCCESS, findImageProgram(program, &found));
    EXPECT_EQ(found, planted);
    EXPECT_EQ(ERROR_SUCCESS, findImageProgram("\"" + program + "\"", &found));
    EXPECT_EQ(found, program);
}

TEST(Spawn, WaitsAndReturnsTheEightBitExitStatus) {
    testsupport::ScratchDir dir("spawn-wait");
    for (int code : {0, 3, 252, 255}) {
        std::string script = writeScript(dir.file("exit.sh"), dir.file("record"), code);
        EXPECT_EQ(_spawnl(_P_WAIT, script.c_str(), script.c_str(), nullptr), code);
    }
}

TEST(Spawn, JoinsArgumentsUnquotedAsWindowsDoes) {
    testsupport::ScratchDir dir("spawn-args");
    std::string folder = dir.file("with blank");
    mkdir(folder.c_str(), 0755);
    std::string record = dir.file("record");
    std::string script = writeScript(folder + "/args.sh", record, 0);

    std::string quoted = "\"" + script + "\"";
    ASSERT_EQ(_spawnl(_P_WAIT, script.c_str(), quoted.c_str(), nullptr), 0);
    EXPECT_EQ(testsupport::readFile(record), "0\n");

    // Unquoted, the child's C runtime splits the path at its blank.
    ASSERT_EQ(_spawnl(_P_WAIT, script.c_str(), script.c_str(), "a b", "\"c d\"", nullptr), 0);
    EXPECT_EQ(testsupport::readFile(record), "4\nblank/args.sh\na\nb\nc d\n");

    const char* const arguments[] = {"x", "one", nullptr};
    ASSERT_EQ(_spawnv(_P_WAIT, script.c_str(), arguments), 0);
    EXPECT_EQ(testsupport::readFile(record), "1\none\n");
}

TEST(Spawn, AProgramThatCannotRunFailsTheCallNotTheChild) {
    testsupport::ScratchDir dir("spawn-fail");
    std::string missing = dir.file("missing.sh");
    errno = 0;
    EXPECT_EQ(_spawnl(_P_WAIT, missing.c_str(), missing.c_str(), nullptr), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(_spawnl(_P_NOWAIT, missing.c_str(), missing.c_str(), nullptr), -1);

    std::string notExecutable = dir.file("plain.sh");
    testsupport::writeFile(notExecutable, "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(_spawnl(_P_WAIT, notExecutable.c_str(), notExecutable.c_str(), nullptr), -1);
    EXPECT_EQ(errno, EACCES);

    // A command with its arguments is one file name.
    std::string withArguments = writeScript(dir.file("go.sh"), dir.file("record"), 0) + " -x";
    EXPECT_EQ(_spawnl(_P_NOWAIT, withArguments.c_str(), withArguments.c_str(), nullptr), -1);

    EXPECT_EQ(_spawnl(_P_OVERLAY, "/bin/true", "true", nullptr), -1);
    EXPECT_EQ(errno, EINVAL);
    const char* const none[] = {nullptr};
    EXPECT_EQ(_spawnv(_P_WAIT, "/bin/true", none), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST(Spawn, NoWaitReturnsAHandleForCwait) {
    testsupport::ScratchDir dir("spawn-nowait");
    std::string script = writeScript(dir.file("exit.sh"), dir.file("record"), 7);
    intptr_t child = _spawnl(_P_NOWAIT, script.c_str(), script.c_str(), nullptr);
    ASSERT_GT(child, 0);
    int code = -1;
    EXPECT_EQ(_cwait(&code, child, _WAIT_CHILD), child);
    EXPECT_EQ(code, 7);
    EXPECT_EQ(_cwait(&code, child, _WAIT_CHILD), -1) << "waited for already";
}
