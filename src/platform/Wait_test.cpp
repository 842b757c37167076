#include "platform/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/LastError.h"
#include "platform/Semaphore.h"
#include "support/Eventually.h"

namespace {

std::unique_ptr<Event> MakeEvent(bool manualReset, bool initiallySet = false) {
    auto event = Event::Create(manualReset, initiallySet);
    EXPECT_NE(event, nullptr);
    return event;
}

std::unique_ptr<Semaphore> MakeSemaphore(LONG initialCount, LONG maximumCount = 0x7FFFFFFF) {
    auto semaphore = Semaphore::Create(initialCount, maximumCount);
    EXPECT_NE(semaphore, nullptr);
    return semaphore;
}

TEST(WaitAnyTest, LowestSignalledIndexWinsAndOnlyTheWinnerIsTaken) {
    auto manual = MakeEvent(true);
    auto firstAuto = MakeEvent(false);
    auto secondAuto = MakeEvent(false);
    auto semaphore = MakeSemaphore(0);
    const std::vector<WaitableObject*> objects{manual.get(), firstAuto.get(), secondAuto.get(),
                                               semaphore.get()};
    ASSERT_TRUE(secondAuto->Set());
    ASSERT_TRUE(firstAuto->Set());
    ASSERT_TRUE(semaphore->Release(2));

    EXPECT_EQ(WaitAny(objects, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitAny(objects, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitAny(objects, 0), WAIT_OBJECT_0 + 3);
    ASSERT_TRUE(manual->Set());
    EXPECT_EQ(WaitAny(objects, 0), WAIT_OBJECT_0 + 0);
    ASSERT_TRUE(manual->Reset());
    EXPECT_EQ(WaitAny(objects, 0), WAIT_OBJECT_0 + 3);  // the second count is still there
    EXPECT_EQ(WaitAny(objects, 0), WAIT_TIMEOUT);
}

// A timed wait ends on its time limit, never before it: not when an earlier wait of the thread,
// ended by a signal, leaves its own time limit behind, nor when that limit passed meanwhile.
TEST(WaitAnyTest, ATimedWaitNeverEndsBeforeItsTimeWhateverTheWaitsBeforeIt) {
    using namespace std::chrono;
    auto signalled = MakeEvent(false, true);
    auto never = MakeEvent(false);
    ASSERT_EQ(WaitOne(*signalled, 30), WAIT_OBJECT_0);
    std::this_thread::sleep_for(milliseconds(60));  // the first wait's limit passes unused
    for (const DWORD limit : {200u, 1u, 25u}) {
        const auto start = steady_clock::now();
        EXPECT_EQ(WaitOne(*never, limit), WAIT_TIMEOUT);
        EXPECT_GE(steady_clock::now() - start, milliseconds(limit)) << "limit " << limit;
    }
    // A signal that comes during a timed wait ends it, and the next timed wait still waits.
    std::thread setter([&] {
        std::this_thread::sleep_for(milliseconds(20));
        never->Set();
    });
    EXPECT_EQ(WaitOne(*never, kHangGuardMs), WAIT_OBJECT_0);
    setter.join();
    const auto start = steady_clock::now();
    EXPECT_EQ(WaitOne(*never, 30), WAIT_TIMEOUT);
    EXPECT_GE(steady_clock::now() - start, milliseconds(30));
}

TEST(WaitAnyTest, FailsForUnusableObjectLists) {
    auto event = MakeEvent(true, true);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(WaitAny(std::span<WaitableObject* const>(), 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    const std::vector<WaitableObject*> tooMany(MAXIMUM_WAIT_OBJECTS + 1, event.get());
    EXPECT_EQ(WaitAny(tooMany, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    EXPECT_EQ(WaitAny({event.get(), nullptr}, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(EventTest, ManualResetLetsEveryWaitThroughAutomaticOneAndRepeatedSetsCoalesce) {
    auto manual = MakeEvent(true, true);
    EXPECT_EQ(WaitOne(*manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitOne(*manual, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(manual->Reset());
    EXPECT_EQ(WaitOne(*manual, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(manual->Reset());  // resetting a clear event is no failure

    auto event = MakeEvent(false, true);
    EXPECT_EQ(WaitOne(*event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitOne(*event, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(event->Set());
    ASSERT_TRUE(event->Set());
    EXPECT_EQ(WaitOne(*event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitOne(*event, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(event->Set());
    ASSERT_TRUE(event->Reset());
    EXPECT_EQ(WaitOne(*event, 0), WAIT_TIMEOUT);
}

TEST(SemaphoreTest, CountsAreBoundedByTheMaximumAndImpossibleOnesRefused) {
    auto semaphore = MakeSemaphore(2, 3);
    EXPECT_EQ(WaitOne(*semaphore, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitOne(*semaphore, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitOne(*semaphore, 0), WAIT_TIMEOUT);

    LONG previous = -1;
    ASSERT_TRUE(semaphore->Release(2, &previous));
    EXPECT_EQ(previous, 0);
    EXPECT_FALSE(semaphore->Release(2, &previous));
    EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
    EXPECT_FALSE(semaphore->Release(0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(semaphore->Release(1, &previous));
    EXPECT_EQ(previous, 2);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(WaitOne(*semaphore, 0), WAIT_OBJECT_0);
    }
    EXPECT_EQ(WaitOne(*semaphore, 0), WAIT_TIMEOUT);

    for (const auto& [initial, maximum] :
         std::vector<std::pair<LONG, LONG>>{{-1, 5}, {6, 5}, {0, 0}}) {
        SCOPED_TRACE(testing::Message() << "initial " << initial << " maximum " << maximum);
        EXPECT_EQ(Semaphore::Create(initial, maximum), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
}

// Many waiters on one object, each ending on `stop` (index 0, so it wins over the object).
class WaiterCrowd {
public:
    static constexpr int kWaiters = 8;

    WaiterCrowd(WaitableObject& object, std::function<void()> onTaken) : m_stop(MakeEvent(true)) {
        for (int i = 0; i < kWaiters; ++i) {
            m_waiters.emplace_back([this, &object, onTaken] {
                while (WaitAny({m_stop.get(), &object}, INFINITE) == WAIT_OBJECT_0 + 1) {
                    m_taken.fetch_add(1);
                    onTaken();
                }
            });
        }
    }
    ~WaiterCrowd() { Stop(); }

    long Stop() {
        m_stop->Set();
        for (std::thread& waiter : m_waiters) {
            if (waiter.joinable()) {
                waiter.join();
            }
        }
        return m_taken.load();
    }

private:
    std::unique_ptr<Event> m_stop;
    std::atomic<long> m_taken{0};
    std::vector<std::thread> m_waiters;
};

constexpr int kSignals = 100000;

TEST(WaitAnyStressTest, EachAutomaticResetSignalWakesExactlyOneOfEightWaiters) {
    auto event = MakeEvent(false);
    auto taken = MakeSemaphore(0);
    WaiterCrowd crowd(*event, [&] { taken->Release(1); });
    // One signal at a time: a set while the event is still signalled would rightly coalesce.
    for (int i = 0; i < kSignals; ++i) {
        ASSERT_TRUE(event->Set());
        ASSERT_EQ(WaitOne(*taken, kHangGuardMs), WAIT_OBJECT_0) << "signal " << i << " was lost";
    }
    EXPECT_EQ(crowd.Stop(), kSignals);
    EXPECT_EQ(WaitOne(*taken, 0), WAIT_TIMEOUT) << "a signal was taken twice";
    EXPECT_EQ(WaitOne(*event, 0), WAIT_TIMEOUT);
}

TEST(WaitAnyStressTest, EachSemaphoreCountGoesToExactlyOneOfEightWaiters) {
    constexpr int kProducers = 4;
    auto semaphore = MakeSemaphore(0);
    auto allTaken = MakeEvent(true);
    std::atomic<long> takenSoFar{0};
    WaiterCrowd crowd(*semaphore, [&] {
        if (takenSoFar.fetch_add(1) + 1 == kSignals) {
            allTaken->Set();
        }
    });
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&] {
            for (int i = 0; i < kSignals / kProducers; ++i) {
                semaphore->Release(1);
            }
        });
    }
    for (std::thread& producer : producers) {
        producer.join();
    }
    ASSERT_EQ(WaitOne(*allTaken, kHangGuardMs), WAIT_OBJECT_0) << "counts were lost";
    EXPECT_EQ(crowd.Stop(), kSignals);
    // A count taken twice would have let the crowd reach the total early and leave counts.
    EXPECT_EQ(WaitOne(*semaphore, 0), WAIT_TIMEOUT);
}

}  // namespace
