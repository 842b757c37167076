#include "support/AgentLogFiles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>

#include "platform/FileSystem.h"
#include "platform/WideText.h"
#include "support/TempFolder.h"

namespace {

// Gives a file a last-write time `secondsAgo` in the past.
void Age(const std::wstring& path, int secondsAgo) {
    const timespec when{std::time(nullptr) - secondsAgo, 0};
    const timespec times[2] = {when, when};
    ASSERT_EQ(utimensat(AT_FDCWD, WideToUtf8(path).c_str(), times, 0), 0);
}

std::vector<std::wstring> Names(const TempFolder& folder) {
    std::vector<DirectoryEntry> entries;
    ListDirectory(folder.Path(), entries);
    std::vector<std::wstring> names;
    for (const auto& entry : entries) {
        names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

using NameList = std::vector<std::wstring>;

TEST(AgentLogFiles, SmallFileIsNotRotated) {
    TempFolder folder;
    CAgentLogFiles files(folder.Path(), L"Agent.log");
    ASSERT_TRUE(files.Append("12345"));
    EXPECT_TRUE(files.PrepareForWrite(5, 2));
    EXPECT_EQ(Names(folder), NameList{L"Agent.log"});
    EXPECT_TRUE(files.PrepareForWrite(5, 2));  // a missing file needs no room either
}

TEST(AgentLogFiles, OldestNumberedFileMakesRoom) {
    TempFolder folder;
    WriteBytes(folder / L"Agent.log", "too big");
    WriteBytes(folder / L"Agent1.log", "newer");
    WriteBytes(folder / L"Agent2.log", "older");
    WriteBytes(folder / L"Other.log", "not ours");
    Age(folder / L"Agent1.log", 100);
    Age(folder / L"Agent2.log", 200);
    Age(folder / L"Agent.log", 300);  // the current file is never the one deleted
    CAgentLogFiles files(folder.Path(), L"Agent.log");
    ASSERT_TRUE(files.PrepareForWrite(3, 3));
    EXPECT_EQ(Names(folder), (NameList{L"Agent1.log", L"Agent2.log", L"Other.log"}));
    EXPECT_EQ(ReadBytes(folder / L"Agent1.log"), "newer");
    EXPECT_EQ(ReadBytes(folder / L"Agent2.log"), "too big");
    ASSERT_TRUE(files.Append("next"));
    EXPECT_EQ(ReadBytes(folder / L"Agent.log"), "next");
}

TEST(AgentLogFiles, RotatesIntoTheFirstFreeNumber) {
    TempFolder folder;
    WriteBytes(folder / L"Agent.log", "big");
    WriteBytes(folder / L"Agent1.log", "one");
    CAgentLogFiles files(folder.Path(), L"Agent.log");
    ASSERT_TRUE(files.PrepareForWrite(1, 20));
    EXPECT_EQ(Names(folder), (NameList{L"Agent1.log", L"Agent2.log"}));
    EXPECT_EQ(ReadBytes(folder / L"Agent2.log"), "big");
}

TEST(AgentLogFiles, NameWithoutExtension) {
    TempFolder folder;
    WriteBytes(folder / L"events", "big");
    CAgentLogFiles files(folder.Path(), L"events");
    ASSERT_TRUE(files.PrepareForWrite(1, 20));
    EXPECT_EQ(Names(folder), NameList{L"events1"});
}

}  // namespace
