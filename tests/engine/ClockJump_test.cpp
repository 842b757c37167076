// The wall clock set by hand under a running schedule. The scheduler cycle is played step by
// step against a test clock the way the scheduler thread plays it against the real one (compute
// the wait, let that time pass, run what is due), so every run can be checked. Set back by up to
// three hours, the clock shows a stretch of wall time twice: a run at a time of day is not made
// again, and repetitions go on every Interval of real time. Set forward by up to three hours, it
// skips a stretch: what the stretch held runs once, at once. Set further either way, the clock
// was corrected and the schedules start again from the new time. A running engine recomputes as
// soon as the clock change is signalled.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "engine/EngineTestSupport.h"
#include "platform/WideText.h"
#include "support/LogCapture.h"
#include "support/ScopedLock.h"
#include "support/ScopedZone.h"

namespace {

using namespace std::chrono_literals;

constexpr wchar_t kOnce[] = L"{66666666-6666-4666-8666-666666666661}";
constexpr wchar_t kDaily[] = L"{66666666-6666-4666-8666-666666666662}";
constexpr wchar_t kQuarterly[] = L"{66666666-6666-4666-8666-666666666663}";
constexpr auto kHangGuard = 20s;

struct QueuedRun {
    std::wstring task;
    WallClock::TimePoint at;  // the wall clock then
    bool operator==(const QueuedRun&) const = default;
};

std::ostream& operator<<(std::ostream& out, const QueuedRun& run) {
    const std::time_t at = std::chrono::system_clock::to_time_t(run.at);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::gmtime(&at));
    return out << WideToUtf8(run.task) << " at " << text;
}

WallClock::TimePoint Jan(int day, int hour, int minute, int second = 0) {
    return LocalMoment(2030, 1, day, hour, minute, second);
}

std::wstring DailyTrigger(const std::wstring& begin, const std::wstring& repetition) {
    return L"<Trigger Type=\"1\" " + repetition + L"><BeginDate>" + begin +
           L"</BeginDate><DaysInterval>1</DaysInterval></Trigger>";
}

class ClockJump : public testing::Test {
protected:
    ClockJump() : clock(Jan(1, 9, 59, 30)) {
        engine.WriteTask(kOnce, OnceTask(L"Once", L"2030-01-01 10:00:00"));
        engine.WriteTask(kDaily,
                         TaskDocument(L"Daily", DailyTrigger(L"2029-12-01 10:00:00",
                                                             L"Interval=\"0\" Duration=\"0\"")));
        // Every quarter of an hour from 09:00 to 13:00.
        engine.WriteTask(
            kQuarterly,
            TaskDocument(L"Quarterly", DailyTrigger(L"2029-12-01 09:00:00",
                                                    L"Interval=\"15\" Duration=\"240\"")));
        engine.Configure();
    }

    // Plays scheduler cycles until the wall clock reaches `end`; the runs queued on the way.
    std::vector<QueuedRun> PlayUntil(WallClock::TimePoint end) {
        std::vector<QueuedRun> runs;
        while (clock.Now() < end) {
            DWORD wait = 0;
            {
                ScopedLock lock(engine->MainLock());
                wait = std::min(engine->CheckTasks(), CZynTaskSchedulerThread::kMaxWait);
            }
            clock.Set(std::min(end, clock.Now() + std::chrono::milliseconds(wait)));
            engine->ExecuteDueTasks();
            TakeQueued(runs);
        }
        return runs;
    }

    void TakeQueued(std::vector<QueuedRun>& runs) {
        std::wstring identity;
        std::wstring xml;
        while (engine->QueueLength() > 0 && engine->ProcessNextEvent(-1, identity, xml)) {
            runs.push_back({identity, clock.Now()});
        }
    }

    // The run of `task` due when the wall clock shows `at`, made within the lateness allowed.
    static testing::Matcher<QueuedRun> RunOf(const wchar_t* task, WallClock::TimePoint at) {
        return testing::AllOf(testing::Field(&QueuedRun::task, std::wstring(task)),
                              testing::Field(&QueuedRun::at, testing::Ge(at)),
                              testing::Field(&QueuedRun::at, testing::Lt(at + 5s)));
    }

    ScopedZone zone{"UTC0"};
    LogCapture log;  // outlives the engine, whose threads log until they end
    TestClock clock;
    TestEngine engine;
};

TEST_F(ClockJump, SetBackAnHourMakesNoTimeOfDayRunAgainAndRepetitionsGoOn) {
    EXPECT_THAT(
        PlayUntil(Jan(1, 10, 5)),
        testing::UnorderedElementsAre(RunOf(kOnce, Jan(1, 10, 0)), RunOf(kDaily, Jan(1, 10, 0)),
                                      RunOf(kQuarterly, Jan(1, 10, 0))));
    clock.SetByHand(Jan(1, 9, 5));
    // Every quarter of an hour of real time since 10:00, which the clock now shows as 09:15 ...
    EXPECT_THAT(
        PlayUntil(Jan(1, 10, 31)),
        testing::ElementsAre(RunOf(kQuarterly, Jan(1, 9, 15)), RunOf(kQuarterly, Jan(1, 9, 30)),
                             RunOf(kQuarterly, Jan(1, 9, 45)), RunOf(kQuarterly, Jan(1, 10, 0)),
                             RunOf(kQuarterly, Jan(1, 10, 15)), RunOf(kQuarterly, Jan(1, 10, 30))));
    // ... until the clock shows the window's end again; tomorrow as always.
    const std::vector<QueuedRun> later = PlayUntil(Jan(2, 10, 0, 30));
    EXPECT_THAT(later, testing::Contains(RunOf(kQuarterly, Jan(1, 12, 45))));
    EXPECT_EQ(std::count_if(later.begin(), later.end(),
                            [](const QueuedRun& run) {
                                return run.at >= Jan(1, 13, 0) && run.at < Jan(2, 9, 0);
                            }),
              0);
    EXPECT_THAT(later, testing::Contains(RunOf(kQuarterly, Jan(2, 9, 0))));
    EXPECT_THAT(later, testing::Contains(RunOf(kDaily, Jan(2, 10, 0))));
}

TEST_F(ClockJump, ForwardAnHourRunsWhatItSkippedOnceAtOnce) {
    EXPECT_THAT(PlayUntil(Jan(1, 9, 59, 50)), testing::IsEmpty());
    clock.SetByHand(Jan(1, 10, 59, 50));
    // The runs of 10:00 come at once; the quarter hours go on in real time, 15 minutes apart.
    EXPECT_THAT(PlayUntil(Jan(1, 11, 16)),
                testing::UnorderedElementsAre(
                    RunOf(kOnce, Jan(1, 10, 59, 50)), RunOf(kDaily, Jan(1, 10, 59, 50)),
                    RunOf(kQuarterly, Jan(1, 11, 0)), RunOf(kQuarterly, Jan(1, 11, 15))));
    EXPECT_THAT(PlayUntil(Jan(2, 10, 0, 30)), testing::Contains(RunOf(kDaily, Jan(2, 10, 0))));
}

TEST_F(ClockJump, AClockCorrectedByMoreThanThreeHoursStartsTheSchedulesFromTheNewTime) {
    PlayUntil(Jan(1, 10, 0, 30));
    clock.SetByHand(LocalMoment(2029, 12, 31, 9, 59, 30));
    // Waiting for the day the clock showed before would stop every schedule for a day.
    EXPECT_THAT(
        PlayUntil(LocalMoment(2029, 12, 31, 10, 0, 30)),
        testing::UnorderedElementsAre(RunOf(kDaily, LocalMoment(2029, 12, 31, 10, 0, 0)),
                                      RunOf(kQuarterly, LocalMoment(2029, 12, 31, 10, 0, 0))));
    clock.SetByHand(LocalMoment(2029, 12, 31, 15, 0, 0));  // five hours on: nothing made up
    EXPECT_THAT(PlayUntil(LocalMoment(2029, 12, 31, 15, 30, 0)), testing::IsEmpty());
}

// The running engine: with its wait computed for a run up to a minute away, a clock change must
// make it compute the next runs again at once, not when that wait ends.
TEST_F(ClockJump, ARunningEngineRecomputesAtOnceWhenTheClockChanges) {
    clock.Set(Jan(1, 8, 58));
    ASSERT_TRUE(engine->Enable());
    ASSERT_TRUE(HoldsWithin(kHangGuard, [&] {
        ScopedLock lock(engine->MainLock());
        return engine->TaskList()->GetTask(std::wstring_view(kQuarterly))->NextRunTime != 0;
    }));
    clock.SetByHand(Jan(1, 10, 30));
    WriteBytes(engine.ZoneFile(), "the clock was set");
    EXPECT_TRUE(HoldsWithin(kHangGuard, [&] {
        clock.Set(clock.Now() + 10ms);  // time passes as the test looks
        return !log.Matching(std::wstring(L"Queueing task ") + kDaily).empty();
    })) << "the run of 10:00, skipped by the clock, is made at once";
    EXPECT_FALSE(log.Matching(L"System time has been changed at").empty());
}

}  // namespace
