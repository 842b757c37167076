#include "support/Folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LastError.h"
#include "platform/WideText.h"
#include "support/ChildProcess.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"

namespace {

TEST(CreateDirectoryPath, CreatesEveryMissingLevelAndAcceptsAnExistingFolder) {
    TempFolder folder;
    const std::wstring nested = folder / L"a/b/c";
    EXPECT_TRUE(CreateDirectoryPath(nested));
    EXPECT_TRUE(DirectoryExists(folder / L"a"));
    EXPECT_TRUE(DirectoryExists(nested));
    EXPECT_TRUE(CreateDirectoryPath(nested));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    struct stat info {};
    ASSERT_EQ(stat(WideToUtf8(nested).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);
    EXPECT_TRUE(CreateDirectoryPath(folder / L"private", 0700));
    ASSERT_EQ(stat(WideToUtf8(folder / L"private").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(CreateDirectoryPath, RefusesFilesInTheWayAndEmptyPaths) {
    TempFolder folder;
    WriteBytes(folder / L"file", "x");
    LogCapture log;
    EXPECT_FALSE(CreateDirectoryPath(folder / L"file"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(log.Matching(L"Cannot create directory '").size(), 1u);
    EXPECT_FALSE(CreateDirectoryPath(folder / L"file/sub"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    log.Clear();
    EXPECT_FALSE(CreateDirectoryPath(folder / L"file/sub", kDefaultFolderMode, true));
    EXPECT_TRUE(log.Records().empty());
    EXPECT_FALSE(CreateDirectoryPath(L""));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(CreateDirectoryPath(folder / std::wstring(300, L'n')));
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
}

TEST(CreateTargetDir, ProvesTheFolderWritableAndLeavesNoProbe) {
    TempFolder folder;
    const std::wstring target = folder / L"Tasks/Logs";
    EXPECT_TRUE(CreateTargetDir(target));
    EXPECT_FALSE(FileExists(target + L"/tstwrtfl.tmp"));
    WriteBytes(folder / L"plain", "x");
    LogCapture log;
    EXPECT_FALSE(CreateTargetDir(folder / L"plain"));
    EXPECT_EQ(log.Matching(L"Cannot write to directory: 0x800700B7").size(), 1u);
}

TEST(RemoveDirectoryTree, RemovesNestedContentButNeverFollowsLinks) {
    TempFolder folder;
    TempFolder outside;
    WriteBytes(outside / L"keep", "precious");
    const std::wstring tree = folder / L"tree";
    ASSERT_TRUE(CreateDirectoryPath(tree + L"/a/b"));
    WriteBytes(tree + L"/a/b/file", "x");
    WriteBytes(tree + L"/top", "x");
    chmod(WideToUtf8(tree + L"/top").c_str(), 0444);
    symlink(WideToUtf8(outside.Path()).c_str(), WideToUtf8(tree + L"/link").c_str());
    EXPECT_TRUE(RemoveDirectoryTree(tree, true, false));
    EXPECT_FALSE(DirectoryExists(tree));
    EXPECT_EQ(ReadBytes(outside / L"keep"), "precious");
    EXPECT_FALSE(RemoveDirectoryTree(tree, true, false));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(DeleteFileEx, DeletesReadOnlyFilesAndRefusesFolders) {
    TempFolder folder;
    const std::wstring file = folder / L"ro.xml";
    WriteBytes(file, "x");
    chmod(WideToUtf8(file).c_str(), 0444);
    EXPECT_TRUE(DeleteFileEx(file, false));
    EXPECT_FALSE(FileExists(file));
    EXPECT_FALSE(DeleteFileEx(file, true));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileEx(L"", false));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// Every helper refused by a read-only folder: args[0] holds "locked" (read-only) with the file
// "f". The exit status names the first helper that did not fail as it should.
ZYN_CHILD_ROLE(WriteIntoAReadOnlyFolder) {
    LogCapture log;
    const std::wstring tree = Utf8ToWideLossy(args.at(0));
    const std::wstring locked = tree + L"/locked";
    if (CreateTargetDir(locked) ||
        log.Matching(L"Cannot write to directory: 0x80070005 [Access is denied.] " + locked)
                .size() != 1) {
        return 1;
    }
    if (CreateDirectoryPath(locked + L"/new/deeper") || GetLastError() != ERROR_ACCESS_DENIED) {
        return 2;
    }
    // Access denied does not clear by itself: no retry follows.
    if (DeleteFileEx(locked + L"/f", true) || GetLastError() != ERROR_ACCESS_DENIED ||
        log.Matching(L"Failed to gain access to '" + locked + L"/f': Access is denied.").size() !=
            1 ||
        !log.Matching(L"retries").empty()) {
        return 3;
    }
    if (RemoveDirectoryTree(tree, true, false) ||
        log.Matching(L"Cannot delete file '" + locked + L"/f', error: Access is denied.").size() !=
            1) {
        return 4;
    }
    return 0;
}

TEST(Folders, AProcessThatMayNotWriteIsRefusedAndToldWhy) {
    TempFolder folder;
    chmod(WideToUtf8(folder.Path()).c_str(), 0755);  // reachable by the child's account
    const std::wstring tree = folder / L"tree";
    ASSERT_TRUE(CreateDirectoryPath(tree + L"/locked"));
    WriteBytes(tree + L"/locked/f", "x");
    chmod(WideToUtf8(tree).c_str(), 0777);
    chmod(WideToUtf8(tree + L"/locked").c_str(), 0555);
    ChildProcess child("WriteIntoAReadOnlyFolder", {WideToUtf8(tree)}, true);
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_TRUE(FileExists(tree + L"/locked/f"));
}

TEST(Exists, TellsFoldersFromFiles) {
    TempFolder folder;
    WriteBytes(folder / L"f", "x");
    symlink(WideToUtf8(folder.Path()).c_str(), WideToUtf8(folder / L"linked").c_str());
    EXPECT_TRUE(DirectoryExists(folder.Path()));
    EXPECT_FALSE(FileExists(folder.Path()));
    EXPECT_TRUE(FileExists(folder / L"f"));
    EXPECT_FALSE(DirectoryExists(folder / L"f"));
    EXPECT_TRUE(DirectoryExists(folder / L"linked"));
    EXPECT_FALSE(FileExists(folder / L"missing"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DirectoryExists(folder / L"missing"));
    EXPECT_FALSE(FileExists(L""));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
