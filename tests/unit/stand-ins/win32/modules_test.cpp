// The stand-in's module functions where Linux differs from Windows: program names without
// ".exe", relative paths, files that are not libraries; and its failure injection.
#include <standin_test_hooks.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "portable/win32_helpers.h"
#include "test_paths.h"

using win32test::moduleFileName;

TEST(Modules, TheProgramAlsoAnswersToItsWindowsName) {
    std::string program = moduleFileName(nullptr);
    std::string name = program.substr(win32test::folderOf(program).size());
    EXPECT_EQ(GetModuleHandleA((name + ".EXE").c_str()), GetModuleHandleA(nullptr));
}

TEST(Modules, ARelativePathIsReportedAsAFullPath) {
    std::string folder = win32test::folderOf(moduleFileName(nullptr));
    char cwd[1024];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(folder.c_str()), 0);
    HMODULE module = LoadLibraryA("./ProbeModule.dll");
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(moduleFileName(module), folder + "ProbeModule.dll");
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(Modules, AFileThatIsNoLibraryIsABadFormat) {
    testsupport::ScratchDir dir("modules");
    testsupport::writeFile(dir.file("NotALibrary.dll"), "plain text\n");
    EXPECT_EQ(LoadLibraryA(dir.file("NotALibrary.dll").c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
}

TEST(Modules, ACutFileNameIsTerminatedAsSinceWindowsVista) {
    char small[5];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
    EXPECT_EQ(small[4], '\0');
}

TEST(Modules, InjectedFailuresHitTheNextCallsOfOneFunctionOnly) {
    char path[512];
    StandinFailNextCalls("GetModuleFileNameA", 2, ERROR_ACCESS_DENIED);
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr) << "other functions are not affected";
    for (DWORD expected : {0u, 0u}) {
        EXPECT_EQ(GetModuleFileNameA(nullptr, path, sizeof path), expected);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u) << "only two calls fail";
    StandinFailNextCalls("LoadLibraryA", 5, ERROR_NOT_ENOUGH_MEMORY);
    StandinClearFailures();
    EXPECT_EQ(LoadLibraryA("NoSuchModule.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << "cleared";
}
