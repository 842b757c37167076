// The task processor with real task objects and handlers activated by ProgID: which handler a
// document names and how it is made, how each kind of handler's run is followed to its end,
// a handler that never reports while other runs go on, and pause, resume and stop. One processor,
// so that every run lands on processor 0.
#include "execution/ZynTaskProcessor.h"

#include <gtest/gtest.h>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "execution/ProcessorFixture.h"
#include "execution/handlers/TestHandlers.h"
#include "platform/ComError.h"
#include "support/ScopedLock.h"

namespace {

using Processor = CComInstance<CZynTaskProcessor>;

// A processor as a class factory makes it: no engine, no running thread. The calling thread
// joins the multithreaded apartment for the activations it makes.
class ProcessorWithoutEngine : public testing::Test {
protected:
    ProcessorWithoutEngine() {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        RegisterTestHandlers();
        EXPECT_EQ(Processor::Make(processor), S_OK);
    }
    ~ProcessorWithoutEngine() override {
        processor.Reset();
        CoUninitialize();
    }

    TempRegistry registry;
    ComPtr<Processor> processor;
};

TEST_F(ProcessorWithoutEngine, HandlerProgIdComesFromTheDocument) {
    struct Row {
        const wchar_t* xml;
        const wchar_t* progId;
    };
    const Row rows[] = {
        {L"<Schedule><Task/></Schedule>", L"Kalvane.ZynCmdLineTaskHandler"},
        {L"<Task><HandlerCLSID>ZynTest.EventHandler</HandlerCLSID></Task>",
         L"ZynTest.EventHandler"},
        {L"<Task><HandlerCLSID/></Task>", L""},
        {L"<Task><A><HandlerCLSID>Deep.One</HandlerCLSID></A><HandlerCLSID>Second</HandlerCLSID>"
         L"</Task>",
         L"Deep.One"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << WideToUtf8(row.xml));
        EXPECT_EQ(processor->GetHandlerCLSID(row.xml), row.progId);
    }
    try {
        processor->GetHandlerCLSID(L"<Task>");
        ADD_FAILURE() << "a document that does not load named a handler";
    } catch (const ComError& error) {
        EXPECT_EQ(error.Error(), E_FAIL);
        EXPECT_EQ(error.Description().rfind(L"Failed to load task xml into XMLDOM. Error ", 0), 0u);
    }
}

TEST_F(ProcessorWithoutEngine, HandlersAreMadeByProgId) {
    struct Row {
        const wchar_t* progId;
        HRESULT result;
    };
    const Row rows[] = {
        {kTestEventHandlerProgId, S_OK},
        {kTestPlainHandlerProgId, S_OK},
        // Not registered here: the built-in handler is made in-process all the same.
        {L"Kalvane.ZynCmdLineTaskHandler", S_OK},
        {L"Kalvane.ZynCmdLineTaskHandler.1", S_OK},
        {L"No.Such.Handler", CO_E_CLASSSTRING},
        {L"", CO_E_CLASSSTRING},
        // Known by ProgID, served by no library: the surrogate host is the last resort, and
        // there is none.
        {kTestUnservedHandlerProgId, REGDB_E_CLASSNOTREG},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << WideToUtf8(row.progId));
        ComPtr<IZynScheduledTaskHandler> handler;
        EXPECT_EQ(processor->CreateHandlerInstance(row.progId, handler), row.result);
        EXPECT_EQ(static_cast<bool>(handler), SUCCEEDED(row.result));
    }
}

TEST_F(ProcessorWithoutEngine, AnswersForTasksItDoesNotHold) {
    LONG status = -1;
    EXPECT_EQ(processor->GetTaskStatus(CBstr(TaskGuid(1)).Get(), &status), S_OK);
    EXPECT_EQ(status, ST_TASK_NOTRUNNING);
    EXPECT_EQ(processor->GetTaskStatus(nullptr, &status), S_OK);
    EXPECT_EQ(status, ST_TASK_NOTRUNNING);
    EXPECT_EQ(processor->GetTaskStatus(CBstr(TaskGuid(1)).Get(), nullptr), E_POINTER);
    EXPECT_EQ(processor->CancelTask(CBstr(TaskGuid(1)).Get()), S_OK);
    EXPECT_EQ(processor->OnTaskStatus(CBstr(TaskGuid(1)).Get(), ST_TASK_COMPLETED), S_OK);
    EXPECT_EQ(processor->GetTaskStatus(CBstr(TaskGuid(1)).Get(), &status), S_OK);
    EXPECT_EQ(status, ST_TASK_NOTRUNNING);
}

TEST_F(ProcessorRuns, SilentHandlerKeepsItsTaskRunningWithoutBlockingTheProcessor) {
    const std::wstring silent = TaskGuid(1);
    const std::wstring next = TaskGuid(2);
    RunHandlerTask(silent, kTestEventHandlerProgId, L"silent", Executing(silent));
    EXPECT_EQ(Status(silent), ST_TASK_RUNNING);
    EXPECT_EQ(Status(silent), ST_TASK_RUNNING);

    // Each handler has a connection of its own: the next task runs and reports beside the
    // silent one, whose run still counts. Nobody asks about the next task: the processor lets
    // its handler go by itself.
    RunHandlerTask(next, kTestEventHandlerProgId, L"complete", Executing(next));
    EXPECT_TRUE(RecordReads(next, L"ProcessTaskAsync\nRelease\n"));
    EXPECT_TRUE(log.Matching(kHandlerFailed).empty());
    EXPECT_EQ(RunTimesLogged(next), 1);
    EXPECT_EQ(Status(next), ST_TASK_NOTRUNNING);
    EXPECT_EQ(Status(silent), ST_TASK_RUNNING);

    engine->CancelTask(silent);
    EXPECT_TRUE(RecordReads(silent, L"ProcessTaskAsync\nCancelTask\nRelease\n"));
    EXPECT_EQ(Status(silent), ST_TASK_NOTRUNNING);
}

TEST_F(ProcessorRuns, EveryFirstEventOfATaskEndsItsRunOnlyItsOwnCounts) {
    struct Row {
        const wchar_t* handler;
        const wchar_t* behaviour;
        LONG statusAfterRun;
        const wchar_t* calls;
    };
    const Row rows[] = {
        {kTestEventHandlerProgId, L"running", ST_TASK_NOTRUNNING, L"ProcessTaskAsync\n"},
        // Events during a synchronous run of a connected handler are taken too.
        {kTestEventHandlerProgId, L"notimpl", ST_TASK_NOTRUNNING,
         L"ProcessTaskAsync\nProcessTask\n"},
        // Without events the processor reports the end itself.
        {kTestPlainHandlerProgId, L"complete", ST_TASK_NOTRUNNING, L"ProcessTask\n"},
        // An event for another task is not this one's end.
        {kTestEventHandlerProgId, L"stranger", ST_TASK_RUNNING, L"ProcessTaskAsync\n"},
    };
    int number = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << WideToUtf8(row.handler) << " " << WideToUtf8(row.behaviour));
        const std::wstring task = TaskGuid(++number);
        RunHandlerTask(task, row.handler, row.behaviour, Executing(task));
        // A finished task's handler may already be let go of.
        std::wstring calls = Record(task);
        if (row.statusAfterRun != ST_TASK_RUNNING && calls.ends_with(L"Release\n")) {
            calls.erase(calls.size() - std::wstring(L"Release\n").size());
        }
        EXPECT_EQ(calls, row.calls);
        EXPECT_EQ(Status(task), row.statusAfterRun);
        engine->CancelTask(task);  // lets go of a handler that is still held
        EXPECT_TRUE(Eventually([&] { return Record(task).ends_with(L"Release\n"); }));
        EXPECT_EQ(RunTimesLogged(task), 1);
    }
    EXPECT_TRUE(log.Matching(kHandlerFailed).empty());
}

TEST_F(ProcessorRuns, FailedRunsAreReportedAndTheWorkerGoesOn) {
    const std::wstring syncFailure = TaskGuid(1);
    RunHandlerTask(syncFailure, kTestPlainHandlerProgId, L"fail", kHandlerFailed);
    EXPECT_FALSE(log.Matching(L"CZynTaskProcessor::ExecuteHandler failed. COM event handler "
                              L"failed")
                     .empty());
    EXPECT_TRUE(log.Matching(Executing(syncFailure)).empty());
    EXPECT_EQ(RunTimesLogged(syncFailure), 0);
    EXPECT_EQ(Status(syncFailure), ST_TASK_NOTRUNNING);  // the processor reported the failure
    EXPECT_TRUE(RecordReads(syncFailure, L"ProcessTask\nRelease\n"));

    // A refused asynchronous start still counts as a run, and the handler stays.
    const std::wstring asyncFailure = TaskGuid(2);
    RunHandlerTask(asyncFailure, kTestEventHandlerProgId, L"asyncfail", kHandlerFailed);
    EXPECT_FALSE(log.Matching(Executing(asyncFailure)).empty());
    EXPECT_EQ(RunTimesLogged(asyncFailure), 1);
    EXPECT_EQ(Status(asyncFailure), ST_TASK_RUNNING);
    engine->CancelTask(asyncFailure);
    EXPECT_EQ(Status(asyncFailure), ST_TASK_NOTRUNNING);

    const std::wstring good = TaskGuid(3);
    RunHandlerTask(good, kTestEventHandlerProgId, L"complete", Executing(good));
}

// The engine asks and cancels with its main lock held; a synchronous run must neither keep
// those calls waiting nor be kept from finishing once the lock is free.
TEST_F(ProcessorRuns, QuestionsAndCancelsDoNotWaitForASynchronousRun) {
    const std::wstring blocked = TaskGuid(1);
    RunNow(blocked,
           HandlerTask(L"Blocked", kTestPlainHandlerProgId, L"block", RecordFile(blocked)));
    ASSERT_TRUE(RecordReads(blocked, L"ProcessTask\n"));
    EXPECT_EQ(ListedTask(engine, blocked)->ExecuteTask(), S_OK);
    EXPECT_EQ(engine->QueueLength(), 0u) << "a running task was queued again";
    {
        ScopedLock lock(engine->MainLock());
        EXPECT_TRUE(engine->IsTaskAlreadyRunning(blocked));
        EXPECT_EQ(factory.LastProcessor()->Pause(), S_OK);
        EXPECT_EQ(factory.LastProcessor()->Resume(), S_OK);
        engine->CancelTask(blocked);
        EXPECT_TRUE(RecordReads(blocked, L"ProcessTask\nCancelTask\n"));
    }
    // The run ends once the worker may read the engine's settings again.
    EXPECT_TRUE(Eventually([&] { return !log.Matching(Executing(blocked)).empty(); }));
    EXPECT_TRUE(RecordReads(blocked, L"ProcessTask\nCancelTask\nRelease\n"));
    EXPECT_FALSE(engine->IsTaskAlreadyRunning(blocked));
}

TEST_F(ProcessorRuns, PauseParksTheWorkerAndStopEndsIt) {
    const ComPtr<IZynTaskProcessor> processor = factory.LastProcessor();
    const std::wstring first = TaskGuid(1);
    const std::wstring second = TaskGuid(2);
    EXPECT_EQ(processor->Pause(), S_OK);
    EXPECT_EQ(processor->Pause(), S_OK);  // suspends once
    RunNow(first, HandlerTask(L"First", kTestEventHandlerProgId, L"complete"));
    EXPECT_EQ(engine->QueueLength(), 1u);  // a parked worker takes nothing
    EXPECT_EQ(processor->Resume(), S_OK);
    EXPECT_TRUE(Eventually([&] { return !log.Matching(Executing(first)).empty(); }));

    EXPECT_EQ(processor->Resume(), S_OK);  // without a pause: nothing
    EXPECT_EQ(processor->Pause(), S_OK);
    RunNow(second, HandlerTask(L"Second", kTestEventHandlerProgId, L"complete"));
    EXPECT_EQ(engine->QueueLength(), 1u);

    EXPECT_EQ(processor->Stop(), S_OK);
    EXPECT_EQ(processor->Pause(), S_OK);  // after Stop: nothing
    EXPECT_EQ(processor->Resume(), S_OK);
    EXPECT_EQ(engine->QueueLength(), 1u);  // no worker any more
    EXPECT_TRUE(log.Matching(Executing(second)).empty());
}

}  // namespace
