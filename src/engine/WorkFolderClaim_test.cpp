#include "engine/WorkFolderClaim.h"

#include <gtest/gtest.h>

#include <thread>

#include "ZynTaskSchedulerLib/WorkFolder.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "support/Folders.h"
#include "support/TempFolder.h"

namespace {

TEST(WorkFolderClaim, AStayingHolderRefusesALeavingOneIsWaitedFor) {
    TempFolder work;
    auto first = WorkFolderClaim::Take(work.Path());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(WorkFolderClaim::Take(work.Path()), nullptr);

    first->AnnounceLeaving();
    std::thread leaving([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        first.reset();
    });
    auto second = WorkFolderClaim::Take(work.Path());
    leaving.join();
    EXPECT_NE(second, nullptr);
}

TEST(WorkFolderClaim, LettingGoRemovesTheLockFolderOnlyWhenNothingElseIsInIt) {
    TempFolder work;
    const std::wstring lockFolder = JoinPath(work.Path(), kWorkFolderLockFolderName);
    auto claim = WorkFolderClaim::Take(work.Path());
    ASSERT_NE(claim, nullptr);
    claim.reset();
    EXPECT_FALSE(DirectoryExists(lockFolder));

    claim = WorkFolderClaim::Take(work.Path());
    ASSERT_NE(claim, nullptr);
    const std::wstring other = JoinPath(lockFolder, L"other");
    WriteBytes(other, "another's");
    claim.reset();
    EXPECT_TRUE(FileExists(other));
}

}  // namespace
