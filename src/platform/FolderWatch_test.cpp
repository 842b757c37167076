#include "platform/FolderWatch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "platform/LastError.h"
#include "platform/Wait.h"
#include "platform/WideText.h"
#include "support/Eventually.h"
#include "support/TempFolder.h"
#include "support/WatchedFolder.h"

namespace {

namespace fs = std::filesystem;

void Append(const fs::path& path, const char* text) {
    std::ofstream(path, std::ios::app) << text;
}

struct ChangeRow {
    const char* what;
    bool signals;
    std::function<void(const WatchedFolder&)> change;
};

const std::vector<ChangeRow> kChangeRows = {
    {"file created", true, [](auto& f) { WriteBytes(f.WidePath(L"new.xml"), "x"); }},
    {"file deleted", true, [](auto& f) { fs::remove(f.Path(L"a.xml")); }},
    {"file renamed", true, [](auto& f) { fs::rename(f.Path(L"a.xml"), f.Path(L"b.xml")); }},
    {"file written", true, [](auto& f) { Append(f.Path(L"a.xml"), "more"); }},
    {"file size changed", true, [](auto& f) { fs::resize_file(f.Path(L"a.xml"), 1); }},
    {"file permissions changed", true,
     [](auto& f) { fs::permissions(f.Path(L"a.xml"), fs::perms::owner_read); }},
    {"file created in subfolder", false,
     [](auto& f) { WriteBytes(f.WidePath(L"sub/new.xml"), "x"); }},
    {"file written in subfolder", false, [](auto& f) { Append(f.Path(L"sub/inner.xml"), "x"); }},
    {"file deleted in subfolder", false, [](auto& f) { fs::remove(f.Path(L"sub/inner.xml")); }},
    {"subfolder created", false, [](auto& f) { fs::create_directory(f.Path(L"other")); }},
    {"file only read", false, [](auto& f) { ReadBytes(f.WidePath(L"a.xml")); }},
};

TEST(FolderWatchTest, SignalsForChangesOfTheFoldersOwnFilesOnly) {
    for (const ChangeRow& row : kChangeRows) {
        SCOPED_TRACE(row.what);
        WatchedFolder folder;
        ASSERT_NE(folder.Watch(), nullptr);
        ASSERT_EQ(WaitOne(*folder.Watch(), 0), WAIT_TIMEOUT);
        row.change(folder);
        // Changes are queued before the call that makes them returns, so a look suffices for
        // the rows that must not signal.
        EXPECT_EQ(WaitOne(*folder.Watch(), row.signals ? kHangGuardMs : 0),
                  row.signals ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
        EXPECT_EQ(WaitOne(*folder.Watch(), 0), WAIT_TIMEOUT) << "the wait left changes pending";
        EXPECT_TRUE(folder.Watch()->Rearm());
    }
}

TEST(FolderWatchTest, ChangesMadeWhileTheLastAreHandledSignalTheNextWait) {
    WatchedFolder folder;
    WriteBytes(folder.WidePath(L"first.xml"), "x");
    ASSERT_EQ(WaitOne(*folder.Watch(), kHangGuardMs), WAIT_OBJECT_0);
    WriteBytes(folder.WidePath(L"second.xml"), "x");
    ASSERT_TRUE(folder.Watch()->Rearm());
    EXPECT_EQ(WaitOne(*folder.Watch(), kHangGuardMs), WAIT_OBJECT_0);
}

TEST(FolderWatchTest, NamesEachChangedEntryOnceAndTakesWhatIsStillPending) {
    WatchedFolder folder;
    WriteBytes(folder.WidePath(L"new.xml"), "x");
    Append(folder.Path(L"new.xml"), "more");
    fs::rename(folder.Path(L"a.xml"), folder.Path(L"b.xml"));
    fs::permissions(folder.Path(L"b.xml"), fs::perms::owner_all);
    WriteBytes(folder.WidePath(L"sub/inner.xml"), "not ours");
    fs::create_directory(folder.Path(L"other.xml"));
    WriteBytes(folder.WidePath(L"gone"), "x");
    fs::remove(folder.Path(L"gone"));
    std::vector<std::wstring> names{L"left over"};
    ASSERT_TRUE(folder.Watch()->TakeChangedNames(names));
    EXPECT_EQ(names, (std::vector<std::wstring>{L"a.xml", L"b.xml", L"gone", L"new.xml"}));
    EXPECT_EQ(WaitOne(*folder.Watch(), 0), WAIT_TIMEOUT) << "taken changes signal no more";
    ASSERT_TRUE(folder.Watch()->TakeChangedNames(names));
    EXPECT_TRUE(names.empty());

    // Names a wait already took are kept for the owner.
    WriteBytes(folder.WidePath(L"later.xml"), "x");
    ASSERT_EQ(WaitOne(*folder.Watch(), kHangGuardMs), WAIT_OBJECT_0);
    ASSERT_TRUE(folder.Watch()->TakeChangedNames(names));
    EXPECT_EQ(names, std::vector<std::wstring>{L"later.xml"});
}

TEST(FolderWatchTest, TooManyNamesAreNotKeptAndTheOwnerIsToldSo) {
    WatchedFolder folder;
    for (int i = 0; i < 1001; ++i) {
        WriteBytes(folder.WidePath(L"file") + std::to_wstring(i), "");
    }
    std::vector<std::wstring> names;
    EXPECT_FALSE(folder.Watch()->TakeChangedNames(names));
    EXPECT_TRUE(names.empty());
    WriteBytes(folder.WidePath(L"one.xml"), "x");
    ASSERT_TRUE(folder.Watch()->TakeChangedNames(names)) << "the next changes are named again";
    EXPECT_EQ(names, std::vector<std::wstring>{L"one.xml"});
}

#ifdef _WIN32
// Wine marks itself by an export of its system library that Windows lacks.
bool RunsUnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}
#endif

TEST(FolderWatchTest, RearmFailsOnceTheFolderIsGone) {
#ifdef _WIN32
    if (RunsUnderWine()) {
        GTEST_SKIP() << "Wine never ends the pending read of a folder that is deleted";
    }
#endif
    TempFolder parent;
    const std::wstring watched = parent / L"watched";
    fs::create_directory(WideToUtf8(watched));
    auto watch = FolderWatch::Open(watched);
    ASSERT_NE(watch, nullptr);
    fs::remove(WideToUtf8(watched));
    ASSERT_EQ(WaitOne(*watch, kHangGuardMs), WAIT_OBJECT_0);
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(watch->Rearm());
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(FolderWatchTest, OpeningFailsForWhatIsNoFolder) {
    TempFolder parent;
    const std::wstring watched = parent / L"watched";
    EXPECT_EQ(FolderWatch::Open(watched), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    WriteBytes(watched, "x");
    EXPECT_EQ(FolderWatch::Open(watched), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

}  // namespace
