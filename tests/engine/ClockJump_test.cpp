// The wall clock set back and forward under a running schedule. The scheduler cycle is played
// step by step against a test clock the way the scheduler thread plays it against the real one
// (compute the wait, let that time pass, run what is due), so every run can be checked: no run
// made before a set-back is made again, and no schedule stops after a jump either way. A running
// engine recomputes its next runs as soon as the clock change is signalled.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "engine/EngineTestSupport.h"
#include "platform/WideText.h"
#include "support/LogCapture.h"
#include "support/ScopedLock.h"
#include "tasks/ScheduleArithmetic.h"

namespace {

using namespace std::chrono_literals;

constexpr wchar_t kOnce[] = L"{66666666-6666-4666-8666-666666666661}";
constexpr wchar_t kDaily[] = L"{66666666-6666-4666-8666-666666666662}";
constexpr wchar_t kQuarterly[] = L"{66666666-6666-4666-8666-666666666663}";
constexpr auto kHangGuard = 20s;

struct QueuedRun {
    std::wstring task;
    WallClock::TimePoint at;
    bool operator==(const QueuedRun&) const = default;
};

std::ostream& operator<<(std::ostream& out, const QueuedRun& run) {
    const std::time_t at = std::chrono::system_clock::to_time_t(run.at);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::localtime(&at));
    return out << WideToUtf8(run.task) << " at " << text;
}

WallClock::TimePoint Jan(int day, int hour, int minute, int second = 0) {
    return LocalMoment(2030, 1, day, hour, minute, second);
}

DATE DateOf(WallClock::TimePoint moment) {
    const SYSTEMTIME local = LocalTimeAt(moment);
    DATE date = 0;
    SystemTimeToVariantTime(const_cast<SYSTEMTIME*>(&local), &date);
    return date;
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

    // Plays scheduler cycles until the clock reaches `end`; the runs queued on the way.
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

    // What the engine computed last as the task's next run.
    DATE NextRunOf(const wchar_t* identity) {
        ScopedLock lock(engine->MainLock());
        return engine->TaskList()->GetTask(std::wstring_view(identity))->NextRunTime;
    }

    // The run of `task` due at `at`, made within the lateness the engine allows.
    static testing::Matcher<QueuedRun> RunOf(const wchar_t* task, WallClock::TimePoint at) {
        return testing::AllOf(testing::Field(&QueuedRun::task, std::wstring(task)),
                              testing::Field(&QueuedRun::at, testing::Ge(at)),
                              testing::Field(&QueuedRun::at, testing::Lt(at + 5s)));
    }

    LogCapture log;  // outlives the engine, whose threads log until they end
    TestClock clock;
    TestEngine engine;
};

TEST_F(ClockJump, SetBackAnHourRepeatsNoRunAndTheSchedulesGoOn) {
    EXPECT_THAT(
        PlayUntil(Jan(1, 10, 0, 30)),
        testing::UnorderedElementsAre(RunOf(kOnce, Jan(1, 10, 0)), RunOf(kDaily, Jan(1, 10, 0)),
                                      RunOf(kQuarterly, Jan(1, 10, 0))));
    clock.Set(Jan(1, 9, 0, 30));
    // The quarter hours from 09:15 to 10:00 ran already; 10:15 is the first not yet made.
    EXPECT_THAT(PlayUntil(Jan(1, 10, 31)), testing::ElementsAre(RunOf(kQuarterly, Jan(1, 10, 15)),
                                                                RunOf(kQuarterly, Jan(1, 10, 30))));
    EXPECT_EQ(CompareDates(NextRunOf(kOnce), 0), 0);
    EXPECT_EQ(CompareDates(NextRunOf(kDaily), DateOf(Jan(2, 10, 0))), 0);
    const std::vector<QueuedRun> nextDay = PlayUntil(Jan(2, 10, 0, 30));
    EXPECT_EQ(std::count_if(nextDay.begin(), nextDay.end(),
                            [](const QueuedRun& run) { return run.task == kDaily; }),
              1);
    EXPECT_THAT(nextDay, testing::Contains(RunOf(kDaily, Jan(2, 10, 0))));
    EXPECT_THAT(nextDay, testing::Contains(RunOf(kQuarterly, Jan(2, 9, 0))));
}

TEST_F(ClockJump, ForwardAnHourSkipsThePassedRunsAndTheSchedulesGoOn) {
    EXPECT_THAT(PlayUntil(Jan(1, 9, 59, 50)), testing::IsEmpty());
    clock.Set(Jan(1, 10, 59, 50));  // the runs of 10:00 never come
    EXPECT_THAT(PlayUntil(Jan(1, 11, 16)), testing::ElementsAre(RunOf(kQuarterly, Jan(1, 11, 0)),
                                                                RunOf(kQuarterly, Jan(1, 11, 15))));
    EXPECT_EQ(CompareDates(NextRunOf(kOnce), 0), 0);
    EXPECT_THAT(PlayUntil(Jan(2, 10, 0, 30)), testing::Contains(RunOf(kDaily, Jan(2, 10, 0))));
}

TEST_F(ClockJump, AClockCorrectedByADayStartsTheSchedulesAgainFromTheNewTime) {
    PlayUntil(Jan(1, 10, 0, 30));
    clock.Set(LocalMoment(2029, 12, 31, 9, 59, 30));
    // Waiting for the day the clock showed before would stop every schedule for a day.
    EXPECT_THAT(
        PlayUntil(LocalMoment(2029, 12, 31, 10, 0, 30)),
        testing::UnorderedElementsAre(RunOf(kDaily, LocalMoment(2029, 12, 31, 10, 0, 0)),
                                      RunOf(kQuarterly, LocalMoment(2029, 12, 31, 10, 0, 0))));
}

// The running engine: with its wait computed for a run a minute away, a clock change must
// make it compute the next runs again at once, not when that wait ends.
TEST_F(ClockJump, ARunningEngineRecomputesAtOnceWhenTheClockChanges) {
    struct Step {
        const char* what;
        WallClock::TimePoint setTo;
        DATE quarterly;  // the next runs the engine must compute then
        DATE daily;
    };
    // Worked out before the engine runs: its clock thread reloads the zone, which the test's
    // own local-time conversion must not race.
    const Step steps[] = {
        {"forward", Jan(1, 10, 59), DateOf(Jan(1, 11, 0)), DateOf(Jan(2, 10, 0))},
        {"back", Jan(1, 9, 29), DateOf(Jan(1, 9, 30)), DateOf(Jan(1, 10, 0))},
    };
    const DATE first = DateOf(Jan(1, 9, 0));
    clock.Set(Jan(1, 8, 59));
    ASSERT_TRUE(engine->Enable());
    ASSERT_TRUE(
        HoldsWithin(kHangGuard, [&] { return CompareDates(NextRunOf(kQuarterly), first) == 0; }));
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        clock.Set(step.setTo);
        WriteBytes(engine.ZoneFile(), std::string("the clock was set ") + step.what);
        EXPECT_TRUE(HoldsWithin(kHangGuard, [&] {
            return CompareDates(NextRunOf(kQuarterly), step.quarterly) == 0 &&
                   CompareDates(NextRunOf(kDaily), step.daily) == 0;
        }));
    }
}

}  // namespace
