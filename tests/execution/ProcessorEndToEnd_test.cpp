// The whole road of a task on the real clock: an enabled engine with two processors finds a
// task document in its folder, queues it when its once trigger comes due, and a processor runs
// its command through the command-line handler; a running task is not started again, and
// cancelling it ends its program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "engine/EngineTestSupport.h"
#include "execution/ExecutionTestSupport.h"
#include "platform/WallClock.h"
#include "platform/WideText.h"
#include "support/Folders.h"
#include "support/LogCapture.h"
#include "support/ScopedLock.h"
#include "support/TempRegistry.h"

namespace {

// The local time `ahead` from now as a task document writes it.
std::wstring LocalTimeAhead(std::chrono::seconds ahead) {
    const SYSTEMTIME t = LocalTimeAt(std::chrono::system_clock::now() + ahead);
    return FormatText(32, L"%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour,
                      t.wMinute, t.wSecond);
}

std::wstring OnceTrigger(const std::wstring& begin) {
    return L"<Trigger Type=\"0\" Interval=\"0\" Duration=\"0\"><BeginDate>" + begin +
           L"</BeginDate></Trigger>";
}

class EndToEnd : public testing::Test {
protected:
    EndToEnd() {
        engine.Configure(L"WorkerThreadPoolSize='2' LoggingEnabled='1'");
        EXPECT_TRUE(engine->Enable());
    }

    ComPtr<IZynTask> Task(const std::wstring& identity) {
        ComPtr<IZynTask> task;
        EXPECT_TRUE(Eventually([&] {
            ScopedLock lock(engine->MainLock());
            const CountedPtr<CZynTaskListElement> element = engine->TaskList()->GetTask(identity);
            task = element ? element->Task : ComPtr<IZynTask>();
            return static_cast<bool>(task);
        }));
        return task;
    }
    std::string FileText(const std::wstring& path) {
        std::ifstream file(WideToUtf8(path));
        std::string text;
        std::getline(file, text);
        return text;
    }

    // What the scheduler thread said, for a failure's message.
    std::string SchedulerTrace() const {
        std::string trace;
        for (const LogRecord& record : log.Records()) {
            if (record.source.find(L"CZynTaskSchedulerThread") != std::wstring::npos) {
                trace += WideToUtf8(record.source + L": " + record.message) + "\n";
            }
        }
        return trace;
    }

    TempRegistry registry;  // empty: the command-line handler is made in-process
    TempFolder files;
    LogCapture log;
    TasksAndProcessors factory;
    TestEngine engine{&factory};
};

TEST_F(EndToEnd, DueTaskRunsItsCommandAndTheRunIsLogged) {
    const std::wstring task = TaskGuid(1);
    const std::wstring marker = files / L"marker";
    engine.WriteTask(task,
                     CommandTask(L"Marker", L"/bin/sh", ShellParameters(L"echo ran > " + marker),
                                 std::nullopt, OnceTrigger(LocalTimeAhead(3s))));
    // The shell makes the file before it writes to it.
    ASSERT_TRUE(Eventually([&] { return FileText(marker) == "ran"; })) << SchedulerTrace();
    EXPECT_TRUE(Eventually([&] { return LoggedRunTimes(engine.WorkFolder(), task) == 1; }));
    // Logged once the handler has started the program.
    EXPECT_TRUE(
        Eventually([&] { return !log.Matching(L"Executing due task " + task + L" at ").empty(); }));
    EXPECT_EQ(log.Matching(L"Executing due task " + task + L" at ").size(), 1u);
    EXPECT_EQ(log.Matching(L"Queueing task " + task + L" for execution at ").size(), 1u);
}

TEST_F(EndToEnd, RunningTaskIsNotStartedAgainAndCancelEndsItsProgram) {
    const std::wstring task = TaskGuid(2);
    const std::wstring pidFile = files / L"pid";
    engine.WriteTask(task,
                     CommandTask(L"Sleeper", L"/bin/sh",
                                 ShellParameters(L"echo $$ > " + pidFile + L"; exec sleep 60")));
    const ComPtr<IZynTask> sleeper = Task(task);
    ASSERT_TRUE(sleeper);
    ASSERT_EQ(sleeper->ExecuteTask(), S_OK);
    ASSERT_TRUE(Eventually([&] { return !FileText(pidFile).empty(); }));
    const std::filesystem::path process = "/proc/" + FileText(pidFile);
    EXPECT_TRUE(std::filesystem::exists(process));
    EXPECT_TRUE(engine->IsTaskAlreadyRunning(task));

    // With the processors parked a queued entry would stay in the queue for all to see.
    engine->Disable();
    EXPECT_EQ(sleeper->ExecuteTask(), S_OK);
    EXPECT_EQ(engine->QueueLength(), 0u);
    EXPECT_TRUE(engine->Enable());

    EXPECT_EQ(sleeper->CancelTask(), S_OK);
    EXPECT_TRUE(Eventually([&] { return !std::filesystem::exists(process); }));
    EXPECT_FALSE(engine->IsTaskAlreadyRunning(task));
    // The handler checks that the ended program reports the cancelled code, 20.
    EXPECT_TRUE(log.Matching(L"Process returned failed").empty());
    EXPECT_TRUE(log.Matching(L"CZynCmdLineTaskHandler::CancelTask failed").empty());
    EXPECT_EQ(log.Matching(L"Creating process async for task " + task).size(), 1u);
    EXPECT_TRUE(ChildProcessIds().empty());
}

}  // namespace
