// Module loading as Windows does it: by file name from the program's folder, found again by
// name without regard to case, reported with its full path.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "win32_helpers.h"

namespace {

using win32test::folderOf;
using win32test::moduleFileName;

typedef DWORD(WINAPI* ProbeAnswerFunction)(DWORD);

}  // namespace

TEST(ModuleBehaviour, LoadsFromTheProgramFolderAndFindsTheModuleAgainByName) {
    HMODULE module = LoadLibraryA("ProbeModule.dll");
    ASSERT_NE(module, nullptr) << GetLastError();
    // Through void(*)(), the generic function pointer type, as GCC asks for casts between
    // unrelated function types.
    auto answer = reinterpret_cast<ProbeAnswerFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "ProbeAnswer")));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(1), 43u);
    EXPECT_EQ(GetModuleHandleA("probemodule.DLL"), module);
    EXPECT_EQ(GetModuleHandleA("ProbeModule"), module) << "\".dll\" is implied";
    EXPECT_EQ(moduleFileName(module), folderOf(moduleFileName(nullptr)) + "ProbeModule.dll");
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    ASSERT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleA("ProbeModule.dll"), nullptr) << "unloaded with its last reference";
}

TEST(ModuleBehaviour, ReportsMissingModules) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("NoSuchModule.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    SetLastError(0);
    EXPECT_EQ(GetModuleHandleA("NoSuchModule.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(ModuleBehaviour, TheMainProgramAnswersToItsFileName) {
    std::string program = moduleFileName(nullptr);
    HMODULE self = GetModuleHandleA(nullptr);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(GetModuleHandleA(program.substr(folderOf(program).size()).c_str()), self);
    EXPECT_EQ(moduleFileName(self), program);
}

TEST(ModuleBehaviour, ACutFileNameIsReportedWithTheBuffersSize) {
    char small[6];
    std::memset(small, 'x', sizeof small);
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, 5), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    // Whether the cut name is terminated differs between Windows versions (and Wine):
    // callers may rely only on the result and on nothing written past the size.
    EXPECT_EQ(std::string(small, 4), moduleFileName(nullptr).substr(0, 4));
    EXPECT_EQ(small[5], 'x');
}
