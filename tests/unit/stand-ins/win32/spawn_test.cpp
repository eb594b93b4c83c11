// The C runtime's spawn functions of the stand-in (process.h) and the Windows command-line
// rules beneath them and beneath ImagePath.
#include <process.h>
#include <windows.h>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "stand-ins/win32/src/processes/command_line.h"
#include "test_paths.h"

using namespace standin::processes;

// A scratch folder with a folder "with blank" in it, for scripts that record their arguments.
class Spawn : public ::testing::Test {
  protected:
    void SetUp() override { mkdir(folder_.c_str(), 0755); }
    // Writes the argument count, then each argument, a line each, and exits with `code`.
    std::string script(const std::string& path, int code = 0) {
        testsupport::writeFile(path, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" + record_ +
                                         "'\nexit " + std::to_string(code) + "\n");
        chmod(path.c_str(), 0755);
        return path;
    }
    // The program CreateProcess would run for `line`, or its error.
    static std::string find(const std::string& line, std::string found = "") {
        DWORD error = findImageProgram(line, &found);
        return error == ERROR_SUCCESS ? found : "error " + std::to_string(error);
    }
    testsupport::ScratchDir dir_{"spawn"};
    std::string folder_ = dir_.file("with blank"), record_ = dir_.file("record");
};

TEST(CommandLine, SplitsAndExpandsAsWindowsDoes) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"prog a  b\tc", {"prog", "a", "b", "c"}},
        {"\"C:\\Brevant ISAPI\\go.bat\" x", {"C:\\Brevant ISAPI\\go.bat", "x"}},
        {"prog a\\\\b", {"prog", "a\\\\b"}},         // backslashes alone stay
        {"prog a\\\"b", {"prog", "a\"b"}},           // 2n+1 before a quote: literal quote
        {"prog \"a\\\\\" b", {"prog", "a\\", "b"}},  // 2n before a quote: n, and it groups
        {"prog \"a\"\"b\"", {"prog", "a\"b"}},       // "" inside quotes
        {"prog \"\"", {"prog", ""}},
        {"pro\\\"g x", {"pro\\\"g", "x"}},  // the program name knows no escapes
    };
    for (const auto& [line, arguments] : cases) {
        EXPECT_EQ(splitCommandLine(line), arguments) << line;
    }
    setenv("H5_SET", "/opt/x", 1);
    unsetenv("H5_UNSET");
    EXPECT_EQ(expandEnvironmentStrings("%%H5_SET%/bin %H5_UNSET% 100%"),
              "%/opt/x/bin %H5_UNSET% 100%");
}

TEST_F(Spawn, FindsTheImageProgramAsCreateProcessDoes) {
    std::string program = script(folder_ + "/go"), notFound = "error 2";
    EXPECT_EQ(find(program + " -x"), program);
    EXPECT_EQ(find("\"" + folder_ + "\""), notFound) << "a folder is no program";
    // The hole of unquoted paths: a program at the first blank wins, unless quoted.
    std::string planted = script(dir_.file("with"));
    EXPECT_EQ(find(program), planted);
    EXPECT_EQ(find("\"" + program + "\" -x"), program);
}

TEST_F(Spawn, JoinsArgumentsUnquotedAndReturnsTheEightBitExitStatus) {
    // Unquoted, the child's C runtime splits the path at its blank.
    std::string program = script(folder_ + "/args.sh", 252);
    intptr_t child =
        _spawnl(_P_NOWAIT, program.c_str(), program.c_str(), "a b", "\"c d\"", nullptr);
    int code = -1;
    EXPECT_EQ(_cwait(&code, child, _WAIT_CHILD), child);
    EXPECT_EQ(code, 252);
    EXPECT_EQ(_cwait(&code, child, _WAIT_CHILD), -1) << "waited for already";
    EXPECT_EQ(testsupport::readFile(record_), "4\nblank/args.sh\na\nb\nc d\n");
}

TEST_F(Spawn, AProgramThatCannotRunFailsTheCallNotTheChild) {
    testsupport::writeFile(record_, "");  // not executable
    const std::tuple<int, std::string, const char*, int> cases[] = {
        {_P_WAIT, dir_.file("missing.sh"), "x", ENOENT},
        {_P_WAIT, record_, "x", EACCES},
        {_P_NOWAIT, script(dir_.file("go.sh")) + " -x", "x", ENOENT},  // one file name
        {_P_OVERLAY, "/bin/true", "x", EINVAL},
        {_P_WAIT, "/bin/true", nullptr, EINVAL},  // no arguments at all
    };
    for (const auto& [mode, program, argument, error] : cases) {
        const char* const arguments[] = {argument, nullptr};
        EXPECT_EQ(_spawnv(mode, program.c_str(), arguments), -1) << program;
        EXPECT_EQ(errno, error) << program;
    }
}
