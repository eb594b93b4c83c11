// The file behaviour of the Windows API that the product relies on: creation dispositions
// and their last-error codes, share modes between handles, and the file position. Built
// against the stand-in and against Windows itself, so it uses nothing beyond the Windows
// API and the standard library.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "test_paths.h"

namespace {

using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::writeFile;

// Closes the handle when the test leaves, also through a failed assertion, so that the
// scratch folder can be removed on Windows.
class OwnedHandle {
  public:
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    ~OwnedHandle() { close(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    BOOL close() {
        BOOL closed = valid() ? CloseHandle(handle_) : FALSE;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE handle_;
};

HANDLE openFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

struct OpenOutcome {
    HANDLE handle;
    DWORD lastError;
};

// Opens the file and keeps the last error, with a sentinel set before the call so that a
// success which leaves the last error alone is seen.
OpenOutcome openReporting(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    SetLastError(12345);
    HANDLE handle = openFile(path, access, share, disposition);
    return {handle, GetLastError()};
}

bool writeText(HANDLE file, const std::string& text) {
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// ---- dispositions --------------------------------------------------------------------------

TEST(FileDispositions, CreateNewRefusesAnExistingFile) {
    ScratchDir dir("files");
    const std::string path = dir.file("new.txt");
    OwnedHandle first(openFile(path, GENERIC_WRITE, 0, CREATE_NEW));
    ASSERT_TRUE(first.valid());
    first.close();

    OwnedHandle second(openFile(path, GENERIC_WRITE, 0, CREATE_NEW));
    EXPECT_FALSE(second.valid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
}

TEST(FileDispositions, CreateAlwaysTruncatesAndReportsWhetherTheFileExisted) {
    ScratchDir dir("files");
    const std::string path = dir.file("always.txt");
    OpenOutcome createdOpen = openReporting(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    OwnedHandle created(createdOpen.handle);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), createdOpen.lastError);
    ASSERT_TRUE(created.valid());
    ASSERT_TRUE(writeText(created.get(), "old content"));
    created.close();

    OpenOutcome replacedOpen = openReporting(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    OwnedHandle replaced(replacedOpen.handle);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), replacedOpen.lastError);
    ASSERT_TRUE(replaced.valid());
    replaced.close();
    EXPECT_EQ("", readFile(path));
}

TEST(FileDispositions, OpenAlwaysKeepsContentAndReportsWhetherTheFileExisted) {
    ScratchDir dir("files");
    const std::string path = dir.file("log.txt");
    OpenOutcome createdOpen = openReporting(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS);
    OwnedHandle created(createdOpen.handle);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), createdOpen.lastError);
    ASSERT_TRUE(created.valid());
    ASSERT_TRUE(writeText(created.get(), "kept"));
    created.close();

    OpenOutcome reopenedOpen = openReporting(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS);
    OwnedHandle reopened(reopenedOpen.handle);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), reopenedOpen.lastError);
    ASSERT_TRUE(reopened.valid());
    reopened.close();
    EXPECT_EQ("kept", readFile(path));
}

TEST(FileDispositions, MissingFileAndMissingFolderAreToldApart) {
    ScratchDir dir("files");
    OwnedHandle missingFile(openFile(dir.file("absent.txt"), GENERIC_READ, 0, OPEN_EXISTING));
    EXPECT_FALSE(missingFile.valid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

    const std::string inMissingFolder =
        dir.file("absent-folder") + testsupport::pathSeparator() + "file.txt";
    OwnedHandle openInMissing(openFile(inMissingFolder, GENERIC_READ, 0, OPEN_EXISTING));
    EXPECT_FALSE(openInMissing.valid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());

    OwnedHandle createInMissing(openFile(inMissingFolder, GENERIC_WRITE, 0, CREATE_NEW));
    EXPECT_FALSE(createInMissing.valid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST(FileDispositions, AFolderIsNotOpenedAsAFile) {
    ScratchDir dir("files");
    OwnedHandle folder(openFile(dir.path(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    EXPECT_FALSE(folder.valid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

// ---- share modes ---------------------------------------------------------------------------

TEST(FileShareModes, LogWriterAdmitsOnlyReadersThatShareWriting) {
    ScratchDir dir("files");
    const std::string path = dir.file("log.txt");
    OwnedHandle writer(openFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS));
    ASSERT_TRUE(writer.valid());

    OwnedHandle secondWriter(openFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS));
    EXPECT_FALSE(secondWriter.valid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());

    OwnedHandle tolerantReader(
        openFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    EXPECT_TRUE(tolerantReader.valid());

    // it would deny writing, which the writer already does
    OwnedHandle strictReader(openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    EXPECT_FALSE(strictReader.valid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
}

TEST(FileShareModes, ReadersThatShareReadingCoexist) {
    ScratchDir dir("files");
    const std::string path = dir.file("data.txt");
    writeFile(path, "data");
    OwnedHandle first(openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    OwnedHandle second(openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    EXPECT_TRUE(first.valid());
    EXPECT_TRUE(second.valid());
}

TEST(FileShareModes, ClosingTheHolderReleasesTheFile) {
    ScratchDir dir("files");
    const std::string path = dir.file("held.txt");
    OwnedHandle holder(openFile(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW));
    ASSERT_TRUE(holder.valid());
    OwnedHandle refused(
        openFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    EXPECT_FALSE(refused.valid());

    EXPECT_TRUE(holder.close());
    OwnedHandle admitted(openFile(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING));
    EXPECT_TRUE(admitted.valid());
}

TEST(FileShareModes, OpenWithoutDataAccessNeitherChecksNorBlocks) {
    ScratchDir dir("files");
    const std::string path = dir.file("held.txt");
    OwnedHandle holder(openFile(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW));
    ASSERT_TRUE(holder.valid());

    OwnedHandle probe(openFile(path, 0, 0, OPEN_EXISTING));
    EXPECT_TRUE(probe.valid());

    holder.close();
    OwnedHandle next(openFile(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING));
    EXPECT_TRUE(next.valid());
}

TEST(FileShareModes, RefusedCreateAlwaysLeavesTheContent) {
    ScratchDir dir("files");
    const std::string path = dir.file("log.txt");
    writeFile(path, "precious");
    OwnedHandle reader(openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    ASSERT_TRUE(reader.valid());

    OwnedHandle truncating(openFile(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS));
    EXPECT_FALSE(truncating.valid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    reader.close();
    EXPECT_EQ("precious", readFile(path));
}

// ---- reading, writing and the file position ------------------------------------------------

TEST(FileIo, OpenAlwaysAndSeekToEndAppends) {
    ScratchDir dir("files");
    const std::string path = dir.file("log.txt");
    writeFile(path, "first\n");
    OwnedHandle log(openFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS));
    ASSERT_TRUE(log.valid());
    EXPECT_EQ(6u, SetFilePointer(log.get(), 0, nullptr, FILE_END));
    ASSERT_TRUE(writeText(log.get(), "second\n"));
    log.close();
    EXPECT_EQ("first\nsecond\n", readFile(path));
}

TEST(FileIo, ReadingReachesTheEndWithZeroBytes) {
    ScratchDir dir("files");
    const std::string path = dir.file("data.txt");
    writeFile(path, "abc");
    OwnedHandle file(openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    ASSERT_TRUE(file.valid());

    char buffer[16] = {};
    DWORD read = 99;
    ASSERT_TRUE(ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ("abc", std::string(buffer, read));
    read = 99;
    EXPECT_TRUE(ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(0u, read);
}

TEST(FileIo, SizeAndPositionWithHighParts) {
    ScratchDir dir("files");
    const std::string path = dir.file("data.txt");
    writeFile(path, "0123456789");
    OwnedHandle file(openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    ASSERT_TRUE(file.valid());

    DWORD sizeHigh = 77;
    EXPECT_EQ(10u, GetFileSize(file.get(), &sizeHigh));
    EXPECT_EQ(0u, sizeHigh);

    // 4 GiB + 5, beyond the 32-bit range; moving there does not grow the file
    LONG high = 1;
    EXPECT_EQ(5u, SetFilePointer(file.get(), 5, &high, FILE_BEGIN));
    EXPECT_EQ(1, high);
    EXPECT_EQ(10u, GetFileSize(file.get(), nullptr));

    EXPECT_EQ(4u, SetFilePointer(file.get(), 4, nullptr, FILE_BEGIN));
    EXPECT_EQ(6u, SetFilePointer(file.get(), 2, nullptr, FILE_CURRENT));
    char digit = 0;
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(file.get(), &digit, 1, &read, nullptr));
    EXPECT_EQ('6', digit);
}

TEST(FileIo, SeekingBeforeTheStartFailsAndKeepsThePosition) {
    ScratchDir dir("files");
    const std::string path = dir.file("data.txt");
    writeFile(path, "0123456789");
    OwnedHandle file(openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    ASSERT_TRUE(file.valid());
    ASSERT_EQ(3u, SetFilePointer(file.get(), 3, nullptr, FILE_BEGIN));

    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file.get(), -4, nullptr, FILE_CURRENT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NEGATIVE_SEEK), GetLastError());
    char digit = 0;
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(file.get(), &digit, 1, &read, nullptr));
    EXPECT_EQ('3', digit);
}

TEST(FileIo, TransfersNeedTheMatchingAccess) {
    ScratchDir dir("files");
    const std::string path = dir.file("data.txt");
    writeFile(path, "data");
    char buffer[4];
    DWORD done = 0;

    OwnedHandle writeOnly(openFile(path, GENERIC_WRITE, 0, OPEN_EXISTING));
    ASSERT_TRUE(writeOnly.valid());
    EXPECT_FALSE(ReadFile(writeOnly.get(), buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    writeOnly.close();

    OwnedHandle readOnly(openFile(path, GENERIC_READ, 0, OPEN_EXISTING));
    ASSERT_TRUE(readOnly.valid());
    EXPECT_FALSE(WriteFile(readOnly.get(), "x", 1, &done, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    readOnly.close();
    EXPECT_EQ("data", readFile(path));
}

// Not INVALID_HANDLE_VALUE: Windows reads that value as the current-process pseudo handle.
TEST(FileIo, ClosingANullHandleFails) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

}  // namespace
