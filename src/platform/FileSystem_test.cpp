#include "platform/FileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/Path.h"
#include "platform/WideText.h"
#include "support/TempFolder.h"

namespace {

const DirectoryEntryStatus* Find(const std::vector<DirectoryEntryStatus>& entries,
                                 std::wstring_view name) {
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](const auto& entry) { return entry.name == name; });
    return found == entries.end() ? nullptr : &*found;
}

TEST(ListDirectoryWithStatus, GivesEachEntryItsOwnStatusAsAQueryByPathWould) {
    TempFolder folder;
    WriteBytes(folder / L"task.xml", "12345");
    ::mkdir(WideToUtf8(folder / L"sub").c_str(), 0755);
    ::symlink("task.xml", WideToUtf8(folder / L"link.xml").c_str());
    WriteBytes(folder / L"\u00e9t\u00e9.xml", "x");

    std::vector<DirectoryEntryStatus> entries;
    ASSERT_EQ(ListDirectoryWithStatus(folder.Path(), entries), ERROR_SUCCESS);
    ASSERT_EQ(entries.size(), 4u) << "no . or ..";
    for (const DirectoryEntryStatus& entry : entries) {
        SCOPED_TRACE(WideToUtf8(entry.name));
        ASSERT_TRUE(entry.hasStatus);
        FileStatus byPath;
        ASSERT_EQ(QueryFileStatus(JoinPath(folder.Path(), entry.name), byPath), ERROR_SUCCESS);
        EXPECT_EQ(entry.status.isDirectory, byPath.isDirectory);
        EXPECT_EQ(entry.status.isRegularFile, byPath.isRegularFile);
        EXPECT_EQ(entry.status.isSymbolicLink, byPath.isSymbolicLink);
        EXPECT_EQ(entry.status.size, byPath.size);
        EXPECT_EQ(entry.status.fileId, byPath.fileId);
        EXPECT_EQ(entry.status.modifiedNanoseconds, byPath.modifiedNanoseconds);
        EXPECT_EQ(entry.status.changedNanoseconds, byPath.changedNanoseconds);
    }
    EXPECT_TRUE(Find(entries, L"link.xml")->status.isSymbolicLink);
    EXPECT_TRUE(Find(entries, L"sub")->status.isDirectory);
    EXPECT_EQ(Find(entries, L"task.xml")->status.size, 5u);
    EXPECT_NE(Find(entries, L"\u00e9t\u00e9.xml"), nullptr);

    EXPECT_EQ(ListDirectoryWithStatus(folder / L"missing", entries), ERROR_FILE_NOT_FOUND);
}

TEST(FileStatus, ChangeTimeMovesWithPermissionsWhenTheModificationTimeDoesNot) {
    TempFolder folder;
    const std::wstring path = folder / L"file";
    WriteBytes(path, "x");
    FileStatus before;
    ASSERT_EQ(QueryFileStatus(path, before), ERROR_SUCCESS);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::chmod(WideToUtf8(path).c_str(), 0600);
    FileStatus after;
    ASSERT_EQ(QueryFileStatus(path, after), ERROR_SUCCESS);
    EXPECT_EQ(after.modifiedNanoseconds, before.modifiedNanoseconds);
    EXPECT_GT(after.changedNanoseconds, before.changedNanoseconds);
}

}  // namespace
