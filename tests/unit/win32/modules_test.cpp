// The stand-in's module functions where Linux differs from Windows: program names without
// ".exe", relative paths, files that are not libraries.
#include <windows.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "test_paths.h"

namespace {

std::string programPath() {
    char path[1024];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, length);
}

std::string folderOf(const std::string& path) {
    return path.substr(0, path.find_last_of('/'));
}

}  // namespace

TEST(Modules, TheProgramAlsoAnswersToItsWindowsName) {
    std::string program = programPath();
    std::string name = program.substr(program.find_last_of('/') + 1);
    ASSERT_EQ(name.find(".exe"), std::string::npos);
    EXPECT_EQ(GetModuleHandleA((name + ".exe").c_str()), GetModuleHandleA(nullptr));
    EXPECT_EQ(GetModuleHandleA((name + ".EXE").c_str()), GetModuleHandleA(nullptr));
}

TEST(Modules, ARelativePathIsReportedAsAFullPath) {
    std::string saved = folderOf(programPath());
    char cwd[1024];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(saved.c_str()), 0);
    HMODULE module = LoadLibraryA("./ProbeModule.dll");
    ASSERT_EQ(chdir(cwd), 0);
    ASSERT_NE(module, nullptr);

    char path[1024];
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    EXPECT_EQ(std::string(path, length), saved + "/ProbeModule.dll");
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(Modules, AFileThatIsNoLibraryIsABadFormat) {
    testsupport::ScratchDir dir("modules");
    testsupport::writeFile(dir.file("NotALibrary.dll"), "plain text\n");
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA(dir.file("NotALibrary.dll").c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));

    SetLastError(0);
    EXPECT_EQ(LoadLibraryA(dir.file("Missing.dll").c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(Modules, ACutFileNameIsTerminatedAsSinceWindowsVista) {
    char small[5];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
    EXPECT_EQ(small[4], '\0');
}
