// The engine with real task objects on a temporary work folder: configuration and its lock,
// the task list against the folder, and the scheduler cycle's decisions under a test clock.
#include <gtest/gtest.h>

#include <thread>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "automation/ZynTask.h"
#include "engine/EngineTestSupport.h"
#include "platform/ComError.h"
#include "platform/Path.h"
#include "platform/WideText.h"
#include "support/Folders.h"
#include "support/LogCall.h"
#include "support/LogCapture.h"
#include "support/ScopedLock.h"

namespace {

constexpr wchar_t kTaskA[] = L"{11111111-1111-4111-8111-111111111111}";
constexpr wchar_t kTaskB[] = L"{22222222-2222-4222-8222-222222222222}";
constexpr wchar_t kTaskC[] = L"{33333333-3333-4333-8333-333333333333}";
constexpr auto kHangGuard = std::chrono::seconds(20);

std::wstring LockFile(const std::wstring& workFolder) {
    return JoinPath(workFolder, L"ZynTaskSchedulerLock/taskSchedulerLock.tmp");
}

TEST(EngineConfiguration, ClaimsTheFolderAndReportsTheDocument) {
    TestEngine engine;
    EXPECT_EQ(engine->GetConfiguration(), L"<TaskScheduler WorkFolder=''/>");
    engine.Configure();  // what the attributes read is the configuration reader's table
    EXPECT_TRUE(engine->HasWorkFolderLock());
    EXPECT_TRUE(FileExists(LockFile(engine.WorkFolder())));
    EXPECT_EQ(engine->GetMaxExecQueueSize(), 50u);
    EXPECT_EQ(engine->GetConfiguration(),
              L"<TaskScheduler WorkFolder='" + engine.WorkFolder() + L"'/>");
    engine->SetConfiguration(L"<TaskScheduler WorkFolder='" + engine.WorkFolder() +
                             L"' MaxExecQueueSize='7' LoggingEnabled='1'/>");
    EXPECT_EQ(engine->GetMaxExecQueueSize(), 7u);
    EXPECT_TRUE(engine->IsLoggingEnabled());
    engine.Configure();  // no MaxExecQueueSize keeps it; no LoggingEnabled switches logging off
    EXPECT_EQ(engine->GetMaxExecQueueSize(), 7u);
    EXPECT_FALSE(engine->IsLoggingEnabled());
    engine->Shutdown();
    EXPECT_FALSE(FileExists(LockFile(engine.WorkFolder())));
}

// What the document itself may hold is the configuration reader's table; here, what the engine
// adds: another root element is ignored, a folder that cannot be made is refused.
TEST(EngineConfiguration, IgnoresOtherDocumentsAndRefusesUnwritableFolders) {
    TestEngine engine;
    LogCapture log;
    EXPECT_NO_THROW(engine->SetConfiguration(L"<Other/>"));
    WriteBytes(JoinPath(engine.WorkFolder(), L"file"), "x");
    try {
        engine->SetConfiguration(L"<TaskScheduler WorkFolder='" +
                                 JoinPath(engine.WorkFolder(), L"file/sub") + L"'/>");
        ADD_FAILURE() << "accepted a folder that cannot be made";
    } catch (const ComError& error) {
        EXPECT_EQ(error.Error(), MakeHResult(0x80041002));
        EXPECT_NE(error.Description().find(L"Cannot create work folder "), std::wstring::npos);
    }
}

TEST(EngineConfiguration, SecondEngineOnTheFolderIsRefused) {
    LogCapture log;  // outlives the engines, whose threads log until they end
    TestEngine first;
    first.Configure();
    log.Clear();
    TestEngine second;
    second->SetConfiguration(L"<TaskScheduler WorkFolder='" + first.WorkFolder() + L"'/>");
    EXPECT_FALSE(second->HasWorkFolderLock());
    EXPECT_EQ(log.Matching(L"Unable to obtain file lock. Task scheduler already running. No tasks "
                           L"will be executed by this task scheduler")
                  .size(),
              1u);
    EXPECT_FALSE(second->Enable());
    EXPECT_EQ(
        log.Matching(L"Will not enable scheduler. Scheduler not able to obtain file lock.").size(),
        1u);
    EXPECT_TRUE(first->Enable());
}

// A name that differs from a task document's only in the case of its extension is no task
// document: it is left alone. (Documents that do not load are the caches and corpus tests'.)
TEST(EngineTaskList, FollowsTheFolder) {
    TestEngine engine;
    engine.WriteTask(kTaskA, OnceTask(L"A", L"2030-01-01 10:00:00"));
    CreateDirectoryPath(JoinPath(engine.WorkFolder(), L"folder.xml"));
    const std::wstring upperCase = JoinPath(engine.WorkFolder(), std::wstring(kTaskC) + L".XML");
    WriteBytes(upperCase, WideToUtf8(OnceTask(L"C", L"2030-01-01 10:00:00")));
    LogCapture log;
    engine.Configure();
    engine->UpdateTaskList();
    EXPECT_EQ(ListCount(*engine), 1u);
    EXPECT_TRUE(FileExists(upperCase));
    RemoveFile(JoinPath(engine.WorkFolder(), std::wstring(kTaskA) + L".xml"));
    engine->UpdateTaskList();
    EXPECT_EQ(ListCount(*engine), 0u);
    EXPECT_EQ(log.Matching(std::wstring(L"Removing task ") + kTaskA).size(), 1u);
    EXPECT_TRUE(log.Matching(kTaskC).empty());
}

TEST(EngineTaskList, ReenabledEngineWatchesTheFolderAgain) {
    TestEngine engine;
    engine.Configure();
    // Wherever the thread parked, in its timed wait or in the wait of a disabled engine,
    // enabling must bring it back to watching the folder.
    ASSERT_TRUE(engine->Enable());
    engine->Disable();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(engine->Enable());
    engine.WriteTask(kTaskA, OnceTask(L"A", L"2030-01-01 10:00:00"));
    EXPECT_TRUE(HoldsWithin(kHangGuard, [&] { return ListCount(*engine) == 1; }));
}

TEST(EngineTaskList, DuplicateScheduleNamesAreRefused) {
    TestEngine engine;
    engine.Configure();
    const ComPtr<IZynTask> a = MakeZynTask(CountedPtr<CZynTaskSchedulerThread>(&*engine), 1);
    const ComPtr<IZynTask> b = MakeZynTask(CountedPtr<CZynTaskSchedulerThread>(&*engine), 1);
    ASSERT_EQ(a->put_Guid(CBstr(kTaskA).Get()), S_OK);
    ASSERT_EQ(b->put_Guid(CBstr(kTaskB).Get()), S_OK);
    const CBstr document(OnceTask(L"Nightly", L"2030-01-01 10:00:00"));
    ASSERT_EQ(a->put_Xml(document.Get()), S_OK);
    engine->UpdateTaskList();
    LogCapture log;
    EXPECT_EQ(b->put_Xml(document.Get()), E_FAIL);
    EXPECT_EQ(log.Matching(L"Failed to set task xml. Task " + std::wstring(kTaskB) +
                           L" with name Nightly already exists")
                  .size(),
              1u);
    EXPECT_EQ(a->put_Xml(document.Get()), S_OK);  // the owner of the name may set it again
}

class EngineCycle : public testing::Test {
protected:
    EngineCycle() : clock(LocalMoment(2030, 1, 1, 9, 59, 30)) {}

    DWORD CheckTasks() {
        ScopedLock lock(engine->MainLock());
        return engine->CheckTasks();
    }

    TestClock clock;
    TestEngine engine;
};

TEST_F(EngineCycle, WaitsUntilTheEarliestRunAtMostAMinute) {
    engine.Configure();
    EXPECT_EQ(CheckTasks(), INFINITE);  // no tasks
    engine.WriteTask(kTaskA, OnceTask(L"A", L"2030-01-01 10:00:00"));
    engine.WriteTask(kTaskB, OnceTask(L"B", L"2030-01-01 11:00:00"));
    engine->UpdateTaskList();
    EXPECT_EQ(CheckTasks(), 30000u);
    clock.Set(LocalMoment(2030, 1, 1, 9, 50, 0));
    EXPECT_EQ(CheckTasks(), 600000u);  // ProcessTasks caps it at a minute
    {
        ScopedLock lock(engine->MainLock());
        EXPECT_EQ(engine->TaskList()->GetTask(0U)->Identity, kTaskA);  // sorted by next run
    }
}

TEST_F(EngineCycle, QueuesADueTaskOnceAndSkipsALateOne) {
    engine.Configure();
    engine.WriteTask(kTaskA, OnceTask(L"A", L"2030-01-01 10:00:00"));
    engine->UpdateTaskList();
    CheckTasks();
    LogCapture log;
    clock.Set(LocalMoment(2030, 1, 1, 10, 0, 0));
    engine->ExecuteDueTasks();
    EXPECT_EQ(engine->QueueLength(), 1u);
    EXPECT_EQ(log.Matching(std::wstring(L"Queueing task ") + kTaskA).size(), 1u);
    engine->ExecuteDueTasks();
    EXPECT_EQ(engine->QueueLength(), 1u);
    EXPECT_EQ(log.Matching(std::wstring(L"Task ") + kTaskA + L" already in queue").size(), 1u);
    const std::vector<RunRecord> queuedTwice = RunRecordsOf(*engine, kTaskA);
    ASSERT_EQ(queuedTwice.size(), 1u);
    EXPECT_EQ(queuedTwice[0].skipped, SkipReason::AlreadyQueued);

    engine.WriteTask(kTaskB, OnceTask(L"B", L"2030-01-01 10:00:10"));
    engine->UpdateTaskList();
    clock.Set(LocalMoment(2030, 1, 1, 10, 0, 9));
    CheckTasks();
    clock.Set(LocalMoment(2030, 1, 1, 10, 0, 16));  // six seconds late
    engine->ExecuteDueTasks();
    EXPECT_TRUE(log.Matching(std::wstring(L"Queueing task ") + kTaskB).empty());
    const std::vector<RunRecord> late = RunRecordsOf(*engine, kTaskB);
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].skipped, SkipReason::Late);
    EXPECT_EQ(late[0].due, LocalMoment(2030, 1, 1, 10, 0, 10));
    EXPECT_TRUE(late[0].detail.starts_with(L"late by 6 s")) << WideToUtf8(late[0].detail);
}

TEST_F(EngineCycle, ARunWhoseSecondPassedBeforeTheNextLookIsStillQueued) {
    engine.Configure();
    engine.WriteTask(kTaskA, OnceTask(L"A", L"2030-01-01 10:00:00"));
    engine->UpdateTaskList();
    clock.Set(LocalMoment(2030, 1, 1, 9, 59, 59));
    CheckTasks();
    engine->ExecuteDueTasks();  // nothing due yet
    // The thread was busy (a folder change, say) through the run's second.
    clock.Set(LocalMoment(2030, 1, 1, 10, 0, 2));
    EXPECT_EQ(CheckTasks(), 0u) << "a run found in the past is looked at at once";
    engine->ExecuteDueTasks();
    EXPECT_EQ(engine->QueueLength(), 1u);
    EXPECT_EQ(CheckTasks(), INFINITE) << "once queued, the run is not found again";
}

TEST_F(EngineCycle, FullQueueTurnsDueTasksAway) {
    engine.Configure(L"MaxExecQueueSize='1'");
    engine.WriteTask(kTaskA, OnceTask(L"A", L"2030-01-01 10:00:00"));
    engine.WriteTask(kTaskB, OnceTask(L"B", L"2030-01-01 10:00:00"));
    engine->UpdateTaskList();
    CheckTasks();
    clock.Set(LocalMoment(2030, 1, 1, 10, 0, 0));
    LogCapture log;
    engine->ExecuteDueTasks();
    EXPECT_EQ(engine->QueueLength(), 1u);
    EXPECT_EQ(log.Matching(L"Task list is full or task is already running. Not executing due task ")
                  .size(),
              1u);
    const std::size_t turnedAway =
        RunRecordsOf(*engine, kTaskA).size() + RunRecordsOf(*engine, kTaskB).size();
    EXPECT_EQ(turnedAway, 1u);
    for (const wchar_t* task : {kTaskA, kTaskB}) {
        for (const RunRecord& record : RunRecordsOf(*engine, task)) {
            EXPECT_EQ(record.skipped, SkipReason::QueueFull);
        }
    }
}

}  // namespace
