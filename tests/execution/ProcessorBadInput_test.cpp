// Tasks that cannot run as written, through the built-in command-line handler (made
// in-process: the test registry does not know it) and through handler names that lead
// nowhere; and task log files that are not what the processor expects. Each is reported, and
// the same worker then runs the next task.
#include <gtest/gtest.h>

#include <vector>

#include "execution/ProcessorFixture.h"
#include "platform/FileSystem.h"

namespace {

class ProcessorBadInput : public ProcessorRuns {
protected:
    // A task whose command writes a marker file; true once the marker is there and the
    // processor, asked as the scheduler asks, has let go of the finished handler.
    bool GoodTaskRuns(int number) {
        const std::wstring marker = records / (L"marker" + std::to_wstring(number));
        const std::wstring identity = TaskGuid(number);
        RunNow(identity, CommandTask(L"Good" + std::to_wstring(number), L"/bin/sh",
                                     ShellParameters(L"echo done > " + marker)));
        return Eventually([&] { return FileExists(marker); }) && Ended(identity);
    }
    bool Ended(const std::wstring& identity) {
        return Eventually([&] { return Status(identity) == ST_TASK_NOTRUNNING; });
    }
};

TEST_F(ProcessorBadInput, EachBadTaskIsReportedAndTheWorkerGoesOn) {
    struct Row {
        const wchar_t* what;
        std::wstring document;
        std::vector<std::wstring> messages;
        bool countsAsRun;  // "Executing due task" and a run time in the task log
        LONG statusAfterRun;
    };
    const std::wstring doProcessFailed =
        L"CZynTaskProcessor::DoProcess failed. Failed to execute handler failed.";
    const Row rows[] = {
        // The handler refuses the start without an event: it stays, as a running task.
        {L"no ApplicationName",
         CommandTask(L"NoApplication", std::nullopt),
         {L"CZynCmdLineTaskHandler::LoadProcessParameters failed. ApplicationName node doesn't "
          L"exist",
          doProcessFailed},
         true,
         ST_TASK_RUNNING},
        // The handler reports the failed start as the task's end (the ways a start fails are
        // the platform's and the handler's tests).
        {L"missing program",
         CommandTask(L"Missing", L"/nonexistent/program"),
         {L"Create process failed to create \"/nonexistent/program\" ", doProcessFailed},
         true,
         ST_TASK_NOTRUNNING},
        // No handler at all: nothing runs and nothing is held.
        {L"empty HandlerCLSID",
         L"<Schedule Name=\"Empty\"><Task><Triggers><Trigger Type=\"0\" Interval=\"0\" "
         L"Duration=\"0\"><BeginDate>2099-01-01 10:00:00</BeginDate></Trigger></Triggers>"
         L"<HandlerCLSID></HandlerCLSID><ApplicationName>/bin/true</ApplicationName></Task>"
         L"</Schedule>",
         {L"CZynTaskProcessor::ExecuteHandler failed. Could not get Prog ID from task",
          doProcessFailed},
         false,
         ST_TASK_NOTRUNNING},
        {L"unregistered ProgID",
         HandlerTask(L"Unregistered", L"No.Such.Handler"),
         {L"CZynTaskProcessor::ExecuteHandler failed. Could not create handler instance.",
          doProcessFailed},
         false,
         ST_TASK_NOTRUNNING},
    };
    int number = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << WideToUtf8(row.what));
        const std::wstring bad = TaskGuid(++number);
        log.Clear();
        RunUntilLogged(bad, row.document, doProcessFailed);
        for (const std::wstring& message : row.messages) {
            EXPECT_FALSE(log.Matching(message).empty()) << "missing: " << WideToUtf8(message);
        }
        EXPECT_EQ(!log.Matching(Executing(bad)).empty(), row.countsAsRun);
        EXPECT_EQ(RunTimesLogged(bad), row.countsAsRun ? 1 : 0);
        EXPECT_EQ(Status(bad), row.statusAfterRun);
        engine->CancelTask(bad);  // as the scheduler would, at the end of the trigger's window
        EXPECT_TRUE(GoodTaskRuns(++number));
    }
    EXPECT_TRUE(ChildProcessIds().empty());
}

TEST_F(ProcessorBadInput, TaskLogThatIsNoDocumentIsLeftAndOneDeletedIsMadeAgain) {
    const std::wstring task = TaskGuid(1);
    CreateDirectoryPath(ParentPath(TaskLogFile(task)));
    WriteBytes(TaskLogFile(task), "not a document");
    const std::wstring marker = records / L"marker";
    const std::wstring document =
        CommandTask(L"Logged", L"/bin/sh", ShellParameters(L"echo done > " + marker));
    RunUntilLogged(task, document, Executing(task));
    EXPECT_FALSE(log.Matching(L"CZynTaskLog::LogLastRunTime failed. Failed to load task xml into "
                              L"XMLDOM. Error ")
                     .empty());
    EXPECT_TRUE(Eventually([&] { return FileExists(marker); }));
    EXPECT_EQ(ReadBytes(TaskLogFile(task)), "not a document");
    EXPECT_TRUE(Ended(task));

    log.Clear();
    RemoveFile(TaskLogFile(task));
    RunUntilLogged(task, document, Executing(task));
    EXPECT_EQ(RunTimesLogged(task), 1);
    EXPECT_TRUE(log.Matching(L"CZynTaskLog::").empty());
}

}  // namespace
