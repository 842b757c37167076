#include "support/AtlSyncObject.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/LastError.h"
#include "support/AtlCriticalSection.h"
#include "support/AtlEvent.h"
#include "support/AtlSemaphore.h"
#include "support/ScopedLock.h"
#include "support/ThreadAnnotations.h"

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

// Shared state as the library guards it.
class GuardedCounter {
public:
    void Add() {
        ScopedLock held(m_lock);
        ++m_total;
    }
    // The analysis does not follow a lock taken again by its owner.
    int AddTwiceNested() NO_THREAD_SAFETY_ANALYSIS {
        ScopedLock outer(m_lock);
        ScopedLock inner(m_lock);  // a plain mutex would hang here
        m_total += 2;
        return m_total;
    }
    int Total() {
        ScopedLock held(m_lock);
        return m_total;
    }

private:
    CAtlCriticalSection m_lock;
    int m_total GUARDED_BY(m_lock) = 0;
};

TEST(CAtlCriticalSectionTest, OwnerEntersAgainAndOthersWait) {
    GuardedCounter counter;
    EXPECT_EQ(counter.AddTwiceNested(), 2);
    constexpr int kThreads = 4;
    constexpr int kRounds = 10000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                counter.Add();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter.Total(), 2 + kThreads * kRounds);
}

}  // namespace
