// Runs missed while the scheduler could not run them: each leaves a record saying why, and a
// task whose document asks for it gets one catch-up run, after a gap and at start-up.
#include <gtest/gtest.h>

#include "engine/EngineTestSupport.h"
#include "platform/MomentText.h"
#include "platform/Path.h"
#include "platform/WideText.h"
#include "support/Folders.h"
#include "support/LogCapture.h"
#include "support/ScopedLock.h"
#include "tasks/RunRecordFile.h"

namespace {

constexpr wchar_t kTask[] = L"{11111111-1111-4111-8111-111111111111}";
constexpr auto kHangGuard = std::chrono::seconds(20);
// Every minute from 10:00 for an hour.
constexpr wchar_t kEveryMinute[] =
    L"<Trigger Type=\"1\" Interval=\"1\" Duration=\"60\"><BeginDate>2030-01-01 10:00:00"
    L"</BeginDate></Trigger>";
constexpr wchar_t kDailyAtTwo[] =
    L"<Trigger Type=\"1\"><BeginDate>2029-12-01 02:00:00</BeginDate></Trigger>";

std::wstring MissedOnce(int horizonMinutes) {
    return L"<RunPolicy><MissedRuns Horizon=\"" + std::to_wstring(horizonMinutes) +
           L"\">once</MissedRuns></RunPolicy>";
}

class MissedRunsTest : public testing::Test {
protected:
    MissedRunsTest() : clock(LocalMoment(2030, 1, 1, 9, 59, 30)) {}

    void LookForDueTasks() {
        ScopedLock lock(engine->MainLock());
        engine->CheckTasks();
        engine->ExecuteDueTasks();
    }
    // The ticket of the one run queued, or none when none or several are.
    std::optional<RunTicket> OnlyQueuedRun() {
        if (engine->QueueLength() != 1) {
            return std::nullopt;
        }
        std::wstring identity;
        std::wstring xml;
        RunTicket ticket;
        engine->ProcessNextEvent(0, identity, xml, ticket);
        return ticket;
    }
    void ExpectGapRecords(SkipReason reason) {
        const std::vector<RunRecord> records = RunRecordsOf(*engine, kTask);
        ASSERT_EQ(records.size(), 4u);  // 10:00 to 10:03, newest first
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].skipped, reason);
            EXPECT_EQ(records[i].due, LocalMoment(2030, 1, 1, 10, 3 - static_cast<int>(i), 0));
        }
        const std::optional<RunTicket> catchUp = OnlyQueuedRun();
        ASSERT_TRUE(catchUp);
        EXPECT_EQ(catchUp->reason, RunReason::CatchUp);
        EXPECT_EQ(MomentOfLocalDate(catchUp->due), LocalMoment(2030, 1, 1, 10, 3, 0));
    }

    TestClock clock;
    TestEngine engine;
};

TEST_F(MissedRunsTest, RunsMissedWhileDisabledAreRecordedAndCaughtUpOnce) {
    // Written before the folder is watched: no change is pending to wake the thread.
    engine.WriteTask(kTask, TaskDocument(L"A", kEveryMinute, MissedOnce(60)));
    engine.Configure();
    LookForDueTasks();
    engine->Disable();
    clock.Set(LocalMoment(2030, 1, 1, 10, 3, 30));
    {
        ScopedLock lock(engine->MainLock());
        engine->CheckTasks();
    }
    ExpectGapRecords(SkipReason::SchedulerDisabled);
}

TEST_F(MissedRunsTest, RunsSkippedByAClockSetForwardAreRecordedAndCaughtUpOnce) {
    LogCapture log;  // outlives the engine, whose threads log until they end
    // Written before the folder is watched: no change is pending to wake the thread.
    engine.WriteTask(kTask, TaskDocument(L"A", kEveryMinute, MissedOnce(60)));
    engine.Configure();
    LookForDueTasks();
    ASSERT_TRUE(engine->Enable());
    // The thread's first wait began before the clock moves.
    ASSERT_TRUE(HoldsWithin(kHangGuard, [&] { return !log.Matching(L"Wait timeout").empty(); }));
    clock.Set(LocalMoment(2030, 1, 1, 10, 3, 30));
    WriteBytes(engine.ZoneFile(), "another zone");  // what the clock watch reports as a change
    std::vector<RunRecord> records;
    ASSERT_TRUE(HoldsWithin(kHangGuard,
                            [&] {
                                records = RunRecordsOf(*engine, kTask);
                                return records.size() == 4;
                            }))
        << records.size() << " records, the first "
        << (records.empty() ? "" : WideToUtf8(records[0].detail));
    engine->Disable();
    ExpectGapRecords(SkipReason::ClockCorrected);
}

TEST_F(MissedRunsTest, StartUpCatchesUpOnceOnARunMissedWithinTheHorizon) {
    struct Row {
        const char* what;
        const wchar_t* triggers;
        std::wstring policies;
        std::optional<WallClock::TimePoint> lastStarted;
        std::optional<WallClock::TimePoint> catchUpDue;
    };
    const Row rows[] = {
        {"missed within the horizon", kDailyAtTwo, MissedOnce(1440), std::nullopt,
         LocalMoment(2030, 1, 1, 2, 0, 0)},
        {"missed before the horizon", kDailyAtTwo, MissedOnce(60), std::nullopt, std::nullopt},
        {"ran since", kDailyAtTwo, MissedOnce(1440), LocalMoment(2030, 1, 1, 2, 0, 1),
         std::nullopt},
        {"no policy", kDailyAtTwo, L"", std::nullopt, std::nullopt},
        {"hundreds missed, one run",
         L"<Trigger Type=\"1\" Interval=\"1\" Duration=\"1440\"><BeginDate>2029-12-01 00:00:00"
         L"</BeginDate></Trigger>",
         MissedOnce(1440), std::nullopt, LocalMoment(2030, 1, 1, 9, 59, 0)},
    };
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
        EXPECT_EQ(started->QueueLength(), row.catchUpDue ? 1u : 0u);
        if (row.catchUpDue && started->QueueLength() == 1) {
            std::wstring identity;
            std::wstring xml;
            RunTicket ticket;
            started->ProcessNextEvent(0, identity, xml, ticket);
            EXPECT_EQ(ticket.reason, RunReason::CatchUp);
            EXPECT_EQ(MomentOfLocalDate(ticket.due), *row.catchUpDue);
        }
    }
}

}  // namespace
