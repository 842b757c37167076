// Runs missed while the scheduler could not run them: each leaves a record saying why, and a
// task whose document asks for it gets one catch-up run, after a gap and at start-up. A clock set
// forward by hand within three hours leaves no gap: what it skips runs at once.
#include <gtest/gtest.h>

#include <optional>

#include "engine/EngineTestSupport.h"
#include "platform/Path.h"
#include "platform/WideText.h"
#include "support/ScopedLock.h"
#include "tasks/RunRecordFile.h"

namespace {

constexpr wchar_t kTask[] = L"{11111111-1111-4111-8111-111111111111}";
// Every hour from 10:00 to 20:00.
constexpr wchar_t kHourly[] =
    L"<Trigger Type=\"1\" Interval=\"60\" Duration=\"600\"><BeginDate>2030-01-01 10:00:00"
    L"</BeginDate></Trigger>";
constexpr wchar_t kDailyAtTwo[] =
    L"<Trigger Type=\"1\"><BeginDate>2029-12-01 02:00:00</BeginDate></Trigger>";

std::wstring MissedOnce(int horizonMinutes) {
    return L"<RunPolicy><MissedRuns Horizon=\"" + std::to_wstring(horizonMinutes) +
           L"\">once</MissedRuns></RunPolicy>";
}

WallClock::TimePoint Jan1(int hour, int minute, int second = 0) {
    return LocalMoment(2030, 1, 1, hour, minute, second);
}

// The ticket of the one run queued; none when none or several are.
std::optional<RunTicket> OnlyQueuedRun(CZynTaskSchedulerThread& engine) {
    if (engine.QueueLength() != 1) {
        return std::nullopt;
    }
    std::wstring identity;
    std::wstring xml;
    RunTicket ticket;
    engine.ProcessNextEvent(0, identity, xml, ticket);
    return ticket;
}

void LookForDueTasks(CZynTaskSchedulerThread& engine) {
    ScopedLock lock(engine.MainLock());
    engine.CheckTasks();
    engine.ExecuteDueTasks();
}

TEST(MissedRuns, EachGapRecordsTheRunsItSkippedAndCatchesUpOnce) {
    struct Row {
        const char* what;
        bool disabled;
        bool byHand;  // the clock set by hand, no time passing
        WallClock::TimePoint to;
        std::optional<SkipReason> reason;  // none: no run is missed
        const wchar_t* cause;
    };
    const Row rows[] = {
        {"disabled", true, false, Jan1(13, 30, 30), SkipReason::SchedulerDisabled,
         L"the scheduler was disabled"},
        {"held up", false, false, Jan1(13, 30, 30), SkipReason::Late,
         L"the scheduler thread was held up"},
        {"clock corrected forward", false, true, Jan1(13, 30, 30), SkipReason::ClockCorrected,
         L"the clock was corrected forward by 3 h 31 min"},
        {"clock set forward within three hours", false, true, Jan1(11, 30, 30), std::nullopt, L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestClock clock(Jan1(9, 59, 30));
        TestEngine engine;
        engine.WriteTask(kTask, TaskDocument(L"A", kHourly, MissedOnce(600)));
        engine.Configure();
        LookForDueTasks(*engine);
        if (row.disabled) {
            engine->Disable();
        }
        row.byHand ? clock.SetByHand(row.to) : clock.Set(row.to);
        LookForDueTasks(*engine);
        const std::vector<RunRecord> records = RunRecordsOf(*engine, kTask);
        if (!row.reason) {
            // 10:00 and 11:00 were skipped by the clock: one run for both, at once.
            EXPECT_TRUE(records.empty());
            clock.Set(clock.Now() + std::chrono::seconds(1));
            LookForDueTasks(*engine);
            const std::optional<RunTicket> run = OnlyQueuedRun(*engine);
            ASSERT_TRUE(run);
            EXPECT_EQ(run->reason, RunReason::Schedule);
            continue;
        }
        ASSERT_EQ(records.size(), 4u);  // 10:00 to 13:00, newest first
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].skipped, row.reason);
            EXPECT_EQ(records[i].due, Jan1(13 - static_cast<int>(i), 0));
            EXPECT_TRUE(records[i].detail.ends_with(row.cause)) << WideToUtf8(records[i].detail);
        }
        EXPECT_TRUE(records[3].detail.starts_with(L"late by 3 h 30 min"))
            << WideToUtf8(records[3].detail);
        const std::optional<RunTicket> catchUp = OnlyQueuedRun(*engine);
        ASSERT_TRUE(catchUp);
        EXPECT_EQ(catchUp->reason, RunReason::CatchUp);
        EXPECT_EQ(catchUp->due, Jan1(13, 0));
    }
}

TEST(MissedRuns, StartUpCatchesUpOnceOnARunMissedWithinTheHorizon) {
    struct Row {
        const char* what;
        const wchar_t* triggers;
        std::wstring policies;
        std::optional<WallClock::TimePoint> lastStarted;
        std::optional<WallClock::TimePoint> catchUpDue;
    };
    const Row rows[] = {
        {"missed within the horizon", kDailyAtTwo, MissedOnce(1440), std::nullopt, Jan1(2, 0)},
        {"missed before the horizon", kDailyAtTwo, MissedOnce(60), std::nullopt, std::nullopt},
        {"ran since", kDailyAtTwo, MissedOnce(1440), Jan1(2, 0, 1), std::nullopt},
        {"no policy", kDailyAtTwo, L"", std::nullopt, std::nullopt},
        {"hundreds missed, one run",
         L"<Trigger Type=\"1\" Interval=\"1\" Duration=\"1440\"><BeginDate>2029-12-01 00:00:00"
         L"</BeginDate></Trigger>",
         MissedOnce(1440), std::nullopt, Jan1(9, 59)},
    };
    TestClock clock(Jan1(9, 59, 30));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestEngine started;
        started.WriteTask(kTask, TaskDocument(L"A", row.triggers, row.policies));
        if (row.lastStarted) {
            RunRecord record;
            record.started = row.lastStarted;
            record.outcome = RunOutcome::Exited;
            RunRecordFile(JoinPath(started.WorkFolder(), L"Logs"), kTask).Add({&record, 1});
        }
        started.Configure();
        {
            ScopedLock lock(started->MainLock());
            started->CheckTasks();
            started->CheckTasks();  // the start is looked at once
        }
        const std::optional<RunTicket> catchUp = OnlyQueuedRun(*started);
        EXPECT_EQ(catchUp.has_value(), row.catchUpDue.has_value());
        if (catchUp && row.catchUpDue) {
            EXPECT_EQ(catchUp->reason, RunReason::CatchUp);
            EXPECT_EQ(catchUp->due, row.catchUpDue);
        }
    }
}

// The engine here has no processors: the run due at 10:00 is still queued when it stops.
TEST(MissedRuns, ARunStillQueuedWhenTheSchedulerStopsIsRecordedAsNotStarted) {
    TestClock clock(Jan1(9, 59, 30));
    TestEngine engine;
    engine.WriteTask(kTask, TaskDocument(L"A", kHourly));
    engine.Configure();
    LookForDueTasks(*engine);
    clock.Set(Jan1(10, 0));
    LookForDueTasks(*engine);
    ASSERT_EQ(engine->QueueLength(), 1u);
    engine->Shutdown();
    const std::vector<RunRecord> records = RunRecordsOf(*engine, kTask);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records.front().skipped, SkipReason::SchedulerStopped);
    EXPECT_EQ(records.front().due, Jan1(10, 0));
}

}  // namespace
