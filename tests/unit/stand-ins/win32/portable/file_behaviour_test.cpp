// The file behaviour of the Windows API that the product relies on: creation dispositions
// and their last-error codes, share modes between handles, and the file position.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_paths.h"
#include "win32_helpers.h"

namespace {

using testsupport::readFile;
using testsupport::writeFile;

// A scratch folder with the file "data.txt" in it, and handles on it that are closed
// when the test leaves, also through a failed assertion, so that the folder can be removed
// on Windows.
class FileBehaviour : public testing::Test {
  protected:
    void TearDown() override { closeAll(); }
    void closeAll() {
        for (HANDLE handle : handles_) {
            if (handle != INVALID_HANDLE_VALUE) {
                CloseHandle(handle);
            }
        }
        handles_.clear();
    }
    // The last error of the open, with a sentinel set before so that a success which leaves
    // the last error alone is seen.
    DWORD openHandle(DWORD access, DWORD share, DWORD disposition, const std::string& name = "") {
        SetLastError(12345);
        handles_.push_back(win32test::openFile(name.empty() ? path_ : dir_.file(name), access,
                                               share, disposition));
        return GetLastError();
    }
    HANDLE last() const { return handles_.back(); }
    bool opened() const { return last() != INVALID_HANDLE_VALUE; }
    bool write(const std::string& text) {
        DWORD written = 0;
        return WriteFile(last(), text.data(), DWORD(text.size()), &written, nullptr) &&
               written == text.size();
    }
    std::string read(DWORD size = 16) {
        std::string buffer(size, '\0');
        DWORD done = 99;
        EXPECT_TRUE(ReadFile(last(), buffer.data(), size, &done, nullptr));
        return buffer.substr(0, done);
    }

    testsupport::ScratchDir dir_{"files"};
    const std::string path_ = dir_.file("data.txt");
    std::vector<HANDLE> handles_;
};

const DWORD kAny = ~0u;  // any last error
const DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE,
            kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

TEST_F(FileBehaviour, DispositionsReportWhetherTheFileExisted) {
    const struct {
        DWORD disposition, errorNew, errorExisting;
        const char* contentAfter;
    } cases[] = {
        {CREATE_NEW, kAny, ERROR_FILE_EXISTS, "old"},
        {CREATE_ALWAYS, ERROR_SUCCESS, ERROR_ALREADY_EXISTS, ""},
        {OPEN_ALWAYS, ERROR_SUCCESS, ERROR_ALREADY_EXISTS, "old"},
        {OPEN_EXISTING, ERROR_FILE_NOT_FOUND, kAny, "old"},
    };
    for (const auto& c : cases) {
        std::remove(path_.c_str());
        DWORD error = openHandle(GENERIC_WRITE, FILE_SHARE_READ, c.disposition);
        EXPECT_TRUE(c.errorNew == kAny || c.errorNew == error) << c.disposition << " " << error;
        closeAll();
        writeFile(path_, "old");
        error = openHandle(GENERIC_WRITE, FILE_SHARE_READ, c.disposition);
        EXPECT_TRUE(c.errorExisting == kAny || c.errorExisting == error) << c.disposition;
        closeAll();
        EXPECT_EQ(c.contentAfter, readFile(path_)) << c.disposition;
    }
}

TEST_F(FileBehaviour, MissingFoldersAndFoldersAreNoFiles) {
    const std::string inMissing = std::string("absent") + testsupport::pathSeparator() + "f.txt";
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), openHandle(GENERIC_READ, 0, OPEN_EXISTING, inMissing));
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), openHandle(GENERIC_WRITE, 0, CREATE_NEW, inMissing));
    handles_.push_back(
        win32test::openFile(dir_.path(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    EXPECT_FALSE(opened());
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
}

TEST_F(FileBehaviour, ShareModesAdmitOnlyHandlesThatAgree) {
    const struct {
        DWORD heldAccess, heldShare, access, share;
        bool admitted;
    } cases[] = {
        {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_WRITE, FILE_SHARE_READ, false},
        {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, kShareAll, true},
        {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, false},  // denies writing
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
        {kReadWrite, 0, GENERIC_READ, kShareAll, false},
        {kReadWrite, 0, 0, 0, true},  // no data access: neither checks nor blocks
    };
    writeFile(path_, "data");
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        openHandle(c.heldAccess, c.heldShare, OPEN_EXISTING);
        DWORD error = openHandle(c.access, c.share, OPEN_EXISTING);
        EXPECT_EQ(c.admitted, opened());
        EXPECT_TRUE(c.admitted || error == ERROR_SHARING_VIOLATION) << error;
        closeAll();  // closing the holders releases the file
        openHandle(kReadWrite, 0, OPEN_EXISTING);
        EXPECT_TRUE(opened());
        closeAll();
    }
}

TEST_F(FileBehaviour, RefusedCreateAlwaysLeavesTheContent) {
    writeFile(path_, "precious");
    openHandle(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION),
              openHandle(GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS));
    closeAll();
    EXPECT_EQ("precious", readFile(path_));
}

TEST_F(FileBehaviour, OpenAlwaysAndSeekToEndAppends) {
    writeFile(path_, "first\n");
    openHandle(GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS);
    EXPECT_EQ(6u, SetFilePointer(last(), 0, nullptr, FILE_END));
    ASSERT_TRUE(write("second\n"));
    closeAll();
    EXPECT_EQ("first\nsecond\n", readFile(path_));
}

TEST_F(FileBehaviour, SizeAndPositionWithHighPartsAndTheEnd) {
    writeFile(path_, "0123456789");
    openHandle(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    DWORD sizeHigh = 77;
    EXPECT_EQ(10u, GetFileSize(last(), &sizeHigh));
    EXPECT_EQ(0u, sizeHigh);
    // 4 GiB + 5, beyond the 32-bit range; moving there does not grow the file
    LONG high = 1;
    EXPECT_EQ(5u, SetFilePointer(last(), 5, &high, FILE_BEGIN));
    EXPECT_EQ(1, high);
    EXPECT_EQ(10u, GetFileSize(last(), nullptr));
    EXPECT_EQ(4u, SetFilePointer(last(), 4, nullptr, FILE_BEGIN));
    EXPECT_EQ(6u, SetFilePointer(last(), 2, nullptr, FILE_CURRENT));
    EXPECT_EQ("6", read(1));
    // before the start: refused, the position kept
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(last(), -8, nullptr, FILE_CURRENT));
    EXPECT_EQ(DWORD(ERROR_NEGATIVE_SEEK), GetLastError());
    EXPECT_EQ("789", read());
    EXPECT_EQ("", read());  // the end: success with no bytes
}

TEST_F(FileBehaviour, TransfersNeedTheMatchingAccess) {
    writeFile(path_, "data");
    char buffer[4];
    DWORD done = 0;
    openHandle(GENERIC_WRITE, 0, OPEN_EXISTING);
    EXPECT_FALSE(ReadFile(last(), buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    closeAll();
    openHandle(GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_FALSE(WriteFile(last(), "x", 1, &done, nullptr));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    closeAll();
    EXPECT_EQ("data", readFile(path_));
}

// Not INVALID_HANDLE_VALUE: Windows reads that value as the current-process pseudo handle.
TEST(FileHandles, ClosingANullHandleFails) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
}

}  // namespace
