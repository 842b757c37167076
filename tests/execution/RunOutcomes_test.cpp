// What each run leaves in its task's records, on the whole road (queue, processor, handler,
// program): how it ended, what it wrote, and what the run policies made of runs that came due
// while another ran. Processors run; the scheduler thread does not: the tests look for due tasks
// themselves, on a clock of their own.
#include <gtest/gtest.h>

#include "execution/ExecutionTestSupport.h"
#include "execution/handlers/TestHandlers.h"
#include "platform/MomentText.h"
#include "platform/WideText.h"
#include "support/Folders.h"
#include "support/LogCapture.h"
#include "support/ScopedLock.h"
#include "support/TempRegistry.h"

namespace {

// ClockSetForward: the clock is set past the run's time limit by hand, then the run cancelled.
enum class Ending { ByItself, Cancel, TimeLimit, ClockSetForward };

// A script that notes it started in `marker` and then sleeps until it is ended.
std::wstring Sleeper(const std::wstring& marker) {
    return L"echo started; echo run >> " + marker + L"; exec sleep 60";
}

std::wstring WithPolicy(std::wstring document, const std::wstring& policy) {
    document.insert(document.rfind(L"</Schedule>"), L"<RunPolicy>" + policy + L"</RunPolicy>");
    return document;
}

class RunRecords : public testing::Test {
protected:
    RunRecords() {
        RegisterTestHandlers();
        engine.Configure(L"WorkerThreadPoolSize='2'");  // the processors run at once
    }

    // As the scheduler thread does: the next runs computed a moment before, the look for due
    // tasks when the moment comes.
    void LookForDueTasksAt(int hour, int minute) {
        clock.Set(LocalMoment(2030, 1, 1, hour, minute, 0) - std::chrono::seconds(2));
        {
            ScopedLock lock(engine->MainLock());
            engine->CheckTasks();
        }
        clock.Set(LocalMoment(2030, 1, 1, hour, minute, 0));
        engine->ExecuteDueTasks();
    }

    TempRegistry registry;
    TempFolder files;
    LogCapture log;
    TestClock clock{LocalMoment(2030, 1, 1, 9, 59, 30)};
    TasksAndProcessors factory;
    TestEngine engine{&factory};
};

TEST_F(RunRecords, EachOutcomeIsRecordedWithWhatTheProgramWrote) {
    const std::wstring marker = files / L"marker";
    struct Row {
        const char* what;
        std::wstring document;
        Ending ending;
        RunOutcome outcome;
        std::optional<DWORD> exitCode;
        std::optional<int> signal;
        std::optional<std::string> output;  // none: not captured
        std::wstring detail = {};           // a part of it
    };
    const auto shell = [](const wchar_t* name, const std::wstring& script) {
        return CommandTask(name, L"/bin/sh", ShellParameters(script));
    };
    const auto limited = [&](const wchar_t* name) {
        return WithPolicy(shell(name, Sleeper(marker)), L"<TimeLimit>1</TimeLimit>");
    };
    constexpr std::nullopt_t none = std::nullopt;
    const Row rows[] = {
        {"exit 0", shell(L"zero", L"exit 0"), Ending::ByItself, RunOutcome::Exited, 0, none, ""},
        {"exit 3", shell(L"three", L"echo out; echo err >&2; exit 3"), Ending::ByItself,
         RunOutcome::Exited, 3, none, "out\nerr\n"},
        {"signal", shell(L"signal", L"kill -KILL $$"), Ending::ByItself, RunOutcome::Signalled,
         none, 9, ""},
        {"cancel", shell(L"cancel", Sleeper(marker)), Ending::Cancel, RunOutcome::Cancelled, 20,
         none, "started\n"},
        {"time limit", limited(L"limit"), Ending::TimeLimit, RunOutcome::TimeLimit, 20, none,
         "started\n", L"ran longer than its time limit of 1 minute"},
        {"time limit, clock set forward by hand", limited(L"handset"), Ending::ClockSetForward,
         RunOutcome::Cancelled, 20, none, "started\n"},
        {"missing program", CommandTask(L"missing", L"/nonexistent/program"), Ending::ByItself,
         RunOutcome::StartFailed, none, none, none, L"Create process failed to create"},
        {"no program named", CommandTask(L"unnamed", none), Ending::ByItself,
         RunOutcome::StartFailed, none, none, none, L"ApplicationName node doesn't exist"},
        {"plug-in completing", HandlerTask(L"plugin", kTestEventHandlerProgId, L"complete"),
         Ending::ByItself, RunOutcome::Completed, none, none, none, L"not known"},
        {"plug-in failing", HandlerTask(L"failing", kTestPlainHandlerProgId, L"fail"),
         Ending::ByItself, RunOutcome::Failed, none, none, none, L"reported failure"},
    };
    int number = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RemoveFile(marker);
        const std::wstring identity = TaskGuid(++number);
        engine.WriteTask(identity, row.document);
        const ComPtr<IZynTask> task = ListedTask(engine, identity);
        ASSERT_TRUE(task);
        ASSERT_EQ(task->ExecuteTask(), S_OK);
        if (row.ending != Ending::ByItself) {
            ASSERT_TRUE(Eventually([&] { return LinesIn(marker) == 1; }));
        }
        if (row.ending == Ending::Cancel) {
            EXPECT_EQ(task->CancelTask(), S_OK);
        } else if (row.ending == Ending::TimeLimit) {
            clock.Set(clock.Now() + std::chrono::minutes(2));
            engine->RunKeeper().DoPendingWork();
        } else if (row.ending == Ending::ClockSetForward) {
            clock.SetByHand(clock.Now() + std::chrono::minutes(2));
            engine->RunKeeper().DoPendingWork();
            EXPECT_EQ(task->CancelTask(), S_OK);
        }
        std::vector<RunRecord> records;
        ASSERT_TRUE(
            Eventually([&] { return !(records = RunRecordsOf(*engine, identity)).empty(); }));
        ASSERT_EQ(records.size(), 1u);
        const RunRecord& record = records.front();
        EXPECT_EQ(record.reason, RunReason::RunNow);
        EXPECT_FALSE(record.due);
        EXPECT_TRUE(record.queued && record.started && record.ended);
        EXPECT_EQ(record.outcome, row.outcome);
        EXPECT_EQ(record.exitCode, row.exitCode);
        EXPECT_EQ(record.signal, row.signal);
        EXPECT_EQ(record.output, row.output);
        EXPECT_NE(record.detail.find(row.detail), std::wstring::npos) << WideToUtf8(record.detail);
    }
}

TEST_F(RunRecords, ARunDueWhileTheLastRunsIsSkippedQueuedOrReplacedByItsPolicy) {
    struct Expected {
        RunOutcome outcome;
        std::optional<int> dueMinute;  // past the row's hour; none for the run asked for now
        std::wstring detail;           // a part of it
        std::wstring notInDetail = {};
    };
    struct Row {
        const wchar_t* overlap;
        std::size_t startedAtTheHour;  // runs started once the row's hour came
        std::size_t startedAMinutePast;
        std::vector<Expected> records;  // newest first
    };
    const Row rows[] = {
        {L"skip",
         1,
         1,
         {{RunOutcome::Cancelled, {}, L""},
          {RunOutcome::Skipped, 1, L"the run before it was still under way"},
          {RunOutcome::Skipped, 0, L"the run before it was still under way"}}},
        {L"queue",
         1,
         1,
         {{RunOutcome::Cancelled, 0, L"waited for the run before it to end"},
          {RunOutcome::Cancelled, {}, L""},
          {RunOutcome::Skipped, 1, L"a run already waits for the one under way"}}},
        {L"replace",
         2,
         3,
         {{RunOutcome::Cancelled, 1, L"", L"replaced"},
          {RunOutcome::Cancelled, 0, L"replaced by a newer run"},
          {RunOutcome::Cancelled, {}, L"replaced by a newer run"}}},
    };
    int number = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.overlap));
        // Each row an hour later, its task's runs at the hour and a minute past it: time only
        // goes forward, and no run of a row before comes due.
        const int hour = 10 + number;
        clock.Set(LocalMoment(2030, 1, 1, hour - 1, 59, 30));
        const std::wstring identity = TaskGuid(++number);
        const std::wstring marker = files / (L"runs" + std::to_wstring(number));
        engine.WriteTask(
            identity,
            WithPolicy(CommandTask(L"overlap" + std::to_wstring(number), L"/bin/sh",
                                   ShellParameters(Sleeper(marker)), std::nullopt,
                                   L"<Trigger Type=\"1\" Interval=\"1\" Duration=\"2\">"
                                   L"<BeginDate>2030-01-01 " +
                                       std::to_wstring(hour) + L":00:00</BeginDate></Trigger>"),
                       std::wstring(L"<Overlap>") + row.overlap + L"</Overlap>"));
        const ComPtr<IZynTask> task = ListedTask(engine, identity);
        ASSERT_TRUE(task);
        ASSERT_EQ(task->ExecuteTask(), S_OK);
        ASSERT_TRUE(Eventually([&] { return LinesIn(marker) == 1; }));
        LookForDueTasksAt(hour, 0);
        ASSERT_TRUE(Eventually([&] { return LinesIn(marker) == row.startedAtTheHour; }));
        LookForDueTasksAt(hour, 1);
        ASSERT_TRUE(Eventually([&] { return LinesIn(marker) == row.startedAMinutePast; }));
        // Cancelled until no run is under way: a run that waited starts once the last one ends.
        std::vector<RunRecord> records;
        ASSERT_TRUE(Eventually([&] {
            task->CancelTask();
            records = RunRecordsOf(*engine, identity);
            return records.size() == row.records.size() && !engine->IsTaskAlreadyRunning(identity);
        })) << records.size()
            << " records";
        for (std::size_t i = 0; i < records.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(records[i].outcome, row.records[i].outcome);
            const std::optional<int> minute = row.records[i].dueMinute;
            EXPECT_EQ(records[i].due, minute
                                          ? std::optional(LocalMoment(2030, 1, 1, hour, *minute, 0))
                                          : std::nullopt);
            EXPECT_NE(records[i].detail.find(row.records[i].detail), std::wstring::npos)
                << WideToUtf8(records[i].detail);
            if (!row.records[i].notInDetail.empty()) {
                EXPECT_EQ(records[i].detail.find(row.records[i].notInDetail), std::wstring::npos)
                    << WideToUtf8(records[i].detail);
            }
        }
    }
}

}  // namespace
