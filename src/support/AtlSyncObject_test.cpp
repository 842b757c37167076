#include "support/AtlSyncObject.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/LastError.h"
#include "support/AtlCriticalSection.h"
#include "support/AtlEvent.h"
#include "support/AtlMutex.h"
#include "support/AtlSemaphore.h"
#include "support/ScopedLock.h"

namespace {

TEST(CAtlEventTest, InitialStateComesBeforeTheResetPolicy) {
    CAtlEvent setAutomatic(TRUE, FALSE);
    EXPECT_TRUE(setAutomatic.Lock(0));
    EXPECT_FALSE(setAutomatic.Lock(0));

    CAtlEvent clearManual(FALSE, TRUE);
    EXPECT_FALSE(clearManual.Lock(0));
    EXPECT_TRUE(clearManual.Set());
    EXPECT_TRUE(clearManual.Lock(0));
    EXPECT_TRUE(clearManual.Lock(0));
    EXPECT_TRUE(clearManual.Reset());
    EXPECT_FALSE(clearManual.Lock(0));
}

TEST(CAtlSemaphoreTest, LockTakesACountAndUnlockOrReleaseGiveCountsBack) {
    CAtlSemaphore semaphore(1, 3);
    CAtlSyncObject& object = semaphore;
    EXPECT_TRUE(object.Lock(0));
    EXPECT_FALSE(object.Lock(0));
    EXPECT_TRUE(object.Unlock());
    LONG previous = -1;
    EXPECT_TRUE(object.Release(2, &previous));
    EXPECT_EQ(previous, 1);
    EXPECT_FALSE(object.Release(1, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
}

TEST(CAtlSemaphoreTest, ImpossibleCountsThrowTheSystemFailure) {
    EXPECT_THROW(CAtlSemaphore(5, 1), HRESULT);
}

TEST(CAtlMutexTest, OwnerLocksAgainAndAnAbandonedMutexCountsAsLocked) {
    const std::wstring name = L"ZynTest CAtlMutex " + std::to_wstring(::getpid());
    CAtlMutex mutex(name);
    std::thread owner([&] {
        CAtlMutex mine(name);
        EXPECT_TRUE(mine.Lock(0));
        EXPECT_TRUE(mine.Lock(0));
        EXPECT_TRUE(mine.Unlock());
        // Ends still owning it once.
    });
    owner.join();
    EXPECT_TRUE(mutex.Lock(0));
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_FALSE(mutex.Unlock());
}

TEST(CAtlCriticalSectionTest, OwnerEntersAgainAndOthersWait) {
    CAtlCriticalSection lock;
    {
        ScopedLock outer(lock);
        ScopedLock inner(lock);  // a plain mutex would hang here
    }
    constexpr int kThreads = 4;
    constexpr int kRounds = 10000;
    int total = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                ScopedLock held(lock);
                ++total;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(total, kThreads * kRounds);
}

}  // namespace
