#include "platform/Thread.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Event.h"
#include "platform/Semaphore.h"
#include "platform/Wait.h"

namespace {

constexpr DWORD kHangGuardMs = 30000;
// Long enough for a thread that wrongly runs, or wrongly takes a count, to do so; the tests
// never assert how long anything took.
constexpr auto kChanceToMisbehave = std::chrono::milliseconds(200);

// Keeps a thread taking counts from `source` until `stop` is set, counting them.
class CountTaker {
public:
    CountTaker() : m_source(Semaphore::Create(0, 1000)), m_stop(Event::Create(true, false)) {
        m_thread = Thread::Create([this] {
            while (WaitAny({m_stop.get(), m_source.get()}, INFINITE) == WAIT_OBJECT_0 + 1) {
                m_taken.fetch_add(1);
            }
        });
    }
    ~CountTaker() {
        m_stop->Set();
        while (m_thread->Resume() > 1) {
        }
        m_thread->Join();
    }

    Semaphore& Source() { return *m_source; }
    Thread& Worker() { return *m_thread; }
    int Taken() const { return m_taken.load(); }
    void WaitUntilTaken(int count) {
        const auto giveUp =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangGuardMs);
        while (Taken() < count && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_EQ(Taken(), count);
    }

private:
    std::unique_ptr<Semaphore> m_source;
    std::unique_ptr<Event> m_stop;
    std::atomic<int> m_taken{0};
    std::unique_ptr<Thread> m_thread;
};

// A thread is made suspended, and runs only once resumed as often as it was suspended.
TEST(ThreadTest, ParkedThreadTakesNoCountUntilResumedAsOftenAsSuspended) {
    CountTaker taker;
    EXPECT_NE(taker.Worker().Id(), 0u);
    ASSERT_TRUE(taker.Source().Release(1));
    std::this_thread::sleep_for(kChanceToMisbehave);
    EXPECT_EQ(taker.Taken(), 0);
    EXPECT_TRUE(taker.Worker().IsRunning());
    EXPECT_EQ(taker.Worker().Resume(), 1u);
    taker.WaitUntilTaken(1);

    EXPECT_EQ(taker.Worker().Suspend(), 0u);
    EXPECT_EQ(taker.Worker().Suspend(), 1u);
    ASSERT_TRUE(taker.Source().Release(1));
    std::this_thread::sleep_for(kChanceToMisbehave);
    EXPECT_EQ(taker.Taken(), 1);

    EXPECT_EQ(taker.Worker().Resume(), 2u);  // still suspended once
    std::this_thread::sleep_for(kChanceToMisbehave);
    EXPECT_EQ(taker.Taken(), 1);

    EXPECT_EQ(taker.Worker().Resume(), 1u);
    taker.WaitUntilTaken(2);
}

TEST(ThreadTest, TimedWaitDoesNotReturnWhileParked) {
    auto never = Event::Create(true, false);
    std::atomic<int> timeouts{0};
    std::atomic<bool> stop{false};
    auto thread = Thread::Create([&] {
        while (!stop.load()) {
            if (WaitOne(*never, 1) == WAIT_TIMEOUT) {
                timeouts.fetch_add(1);
            }
        }
    });
    thread->Resume();
    while (timeouts.load() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    thread->Suspend();
    const int atSuspension = timeouts.load();
    std::this_thread::sleep_for(kChanceToMisbehave);
    // One wait may have returned just before the suspension and not yet been counted.
    EXPECT_LE(timeouts.load(), atSuspension + 1);

    stop.store(true);
    thread->Resume();
    thread->Join();
}

TEST(ThreadTest, LowerPriorityRaisesTheThreadsNiceValue) {
    auto thread = Thread::Create([] {});
    const int processNice = ::getpriority(PRIO_PROCESS, 0);
    if (processNice > 9) {  // two steps of 5 would pass the lowest value, 19
        GTEST_SKIP() << "the process already runs at nice " << processNice;
    }
    // Raising a nice value needs no privilege; lowering it again would.
    ASSERT_TRUE(thread->SetPriority(THREAD_PRIORITY_BELOW_NORMAL));
    const int belowNormal = ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread->Id()));
    ASSERT_TRUE(thread->SetPriority(THREAD_PRIORITY_LOWEST));
    const int lowest = ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread->Id()));
    EXPECT_GT(lowest, belowNormal);
    EXPECT_GT(belowNormal, processNice);
    thread->Resume();
    thread->Join();
}

}  // namespace
