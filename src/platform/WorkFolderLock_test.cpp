#include "platform/WorkFolderLock.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/ProcessInfo.h"
#include "platform/WideText.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace {

bool Exists(const std::wstring& path) {
    FileStatus status;
    return QueryFileStatus(path, status) == ERROR_SUCCESS;
}

TEST(WorkFolderLock, OneHolderAtATimeAndTheFileGoesWithItsOwnRelease) {
    TempFolder folder;
    const std::wstring path = folder / L"lock.tmp";
    auto first = WorkFolderLock::Acquire(path);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(Exists(path));
    const WorkFolderLock::HolderInfo holder = WorkFolderLock::Holder(path);
    EXPECT_TRUE(holder.held);
    EXPECT_EQ(holder.processId, GetCurrentProcessId());
    EXPECT_FALSE(holder.leaving);
    EXPECT_EQ(WorkFolderLock::Acquire(path), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    first->AnnounceLeaving();
    EXPECT_TRUE(WorkFolderLock::Holder(path).leaving);
    EXPECT_EQ(WorkFolderLock::Holder(path).processId, GetCurrentProcessId());
    first.reset();
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(WorkFolderLock::Holder(path).held);
    auto second = WorkFolderLock::Acquire(path);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(WorkFolderLock::Acquire(folder / L"missing/lock.tmp"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    // Someone removed the holder's file and a claimant made a new one: the first holder's
    // release must leave the new holder's file, and with it its claim, alone.
    ASSERT_EQ(RemoveFile(path), ERROR_SUCCESS);
    auto third = WorkFolderLock::Acquire(path);
    if (third == nullptr) {
        // Where a removed file keeps its name while it is open (Windows), nobody gets in.
        EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
        GTEST_SKIP() << "a removed file keeps its name while its holder has it open";
    }
    second.reset();
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(WorkFolderLock::Acquire(path), nullptr);
}

ZYN_CHILD_ROLE(HoldWorkFolderLock) {
    auto lock = WorkFolderLock::Acquire(Utf8ToWideLossy(args.at(0)));
    if (!lock) {
        return 1;
    }
    WriteBytes(Utf8ToWideLossy(args.at(1)), "held");
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

TEST(WorkFolderLock, AnotherProcessHoldsUntilItDies) {
    TempFolder folder;
    const std::wstring path = folder / L"lock.tmp";
    const std::wstring marker = folder / L"held";
    ChildProcess holder("HoldWorkFolderLock", {WideToUtf8(path), WideToUtf8(marker)});
    while (!Exists(marker)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(WorkFolderLock::Acquire(path), nullptr);
    EXPECT_EQ(WorkFolderLock::Holder(path).processId, static_cast<DWORD>(holder.Pid()));
    holder.Kill();
    holder.Wait();
    // The dead holder's file stays behind, but nobody holds it.
    EXPECT_FALSE(WorkFolderLock::Holder(path).held);
    EXPECT_NE(WorkFolderLock::Acquire(path), nullptr);
}

TEST(WorkFolderLock, RacingClaimantsNeverHoldTogether) {
    TempFolder folder;
    const std::wstring path = folder / L"lock.tmp";
    std::atomic<int> holders{0};
    std::atomic<bool> overlap{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                if (auto lock = WorkFolderLock::Acquire(path)) {
                    if (++holders > 1) {
                        overlap = true;
                    }
                    --holders;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_FALSE(overlap);
}

}  // namespace
