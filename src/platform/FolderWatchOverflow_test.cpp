// Overflowing the Linux notification queue, whose length the system states.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "platform/Wait.h"
#include "support/WatchedFolder.h"

namespace {

constexpr DWORD kHangGuardMs = 30000;

TEST(FolderWatchTest, ReportsAnOverflowOnceAfterTooManyChanges) {
    WatchedFolder folder;
    std::ifstream limitFile("/proc/sys/fs/inotify/max_queued_events");
    int limit = 0;
    ASSERT_TRUE(limitFile >> limit);
    // Distinct names: the system merges a change that repeats the one before it.
    for (int i = 0; i <= limit; ++i) {
        WriteBytes(folder.WidePath(L"file") + std::to_wstring(i), "");
    }
    EXPECT_FALSE(folder.Watch()->TakeOverflow());  // only a wait takes the changes
    ASSERT_EQ(WaitOne(*folder.Watch(), kHangGuardMs), WAIT_OBJECT_0);
    EXPECT_TRUE(folder.Watch()->TakeOverflow());
    EXPECT_FALSE(folder.Watch()->TakeOverflow());
    std::vector<std::wstring> names;
    EXPECT_FALSE(folder.Watch()->TakeChangedNames(names)) << "names were lost with the changes";
}

}  // namespace
