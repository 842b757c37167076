// An engine on a temporary work folder with one task processor (so that every run lands on
// processor 0), task logging on, the test handlers registered; tasks
// are run as a client's run-now would, the scheduler thread staying disabled.
#pragma once

#include <gtest/gtest.h>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "execution/ExecutionTestSupport.h"
#include "platform/Path.h"
#include "platform/WideText.h"
#include "platform/XmlDocument.h"
#include "support/Folders.h"
#include "support/LogCapture.h"
#include "support/TempRegistry.h"

class ProcessorRuns : public testing::Test {
protected:
    ProcessorRuns() {
        RegisterTestHandlers();
        engine.Configure(L"WorkerThreadPoolSize='1' LoggingEnabled='1'");
    }

    void RunNow(const std::wstring& identity, const std::wstring& document) {
        engine.WriteTask(identity, document);
        const ComPtr<IZynTask> task = ListedTask(engine, identity);
        ASSERT_TRUE(task) << "task not loaded";
        ASSERT_EQ(task->ExecuteTask(), S_OK);
    }
    // Runs the task and waits until `expectedLine` is logged once more: the processor is done
    // with the run.
    void RunUntilLogged(const std::wstring& identity, const std::wstring& document,
                        const std::wstring& expectedLine) {
        const std::size_t before = log.Matching(expectedLine).size();
        RunNow(identity, document);
        ASSERT_TRUE(Eventually([&] { return log.Matching(expectedLine).size() > before; }))
            << "never logged: " << WideToUtf8(expectedLine);
    }
    void RunHandlerTask(const std::wstring& identity, const std::wstring& handler,
                        const std::wstring& behaviour, const std::wstring& expectedLine) {
        RunUntilLogged(identity,
                       HandlerTask(L"T" + identity, handler, behaviour, RecordFile(identity)),
                       expectedLine);
    }
    LONG Status(const std::wstring& identity) {
        LONG status = -1;
        EXPECT_EQ(factory.LastProcessor()->GetTaskStatus(CBstr(identity).Get(), &status), S_OK);
        return status;
    }
    std::wstring RecordFile(const std::wstring& identity) const {
        return records / (identity + L".txt");
    }
    std::wstring Record(const std::wstring& identity) const {
        if (!FileExists(RecordFile(identity))) {
            return L"";
        }
        const std::string bytes = ReadBytes(RecordFile(identity));
        return {bytes.begin(), bytes.end()};
    }
    bool RecordReads(const std::wstring& identity, const std::wstring& expected) const {
        return Eventually([&] { return Record(identity) == expected; });
    }
    std::wstring TaskLogFile(const std::wstring& identity) const {
        return JoinPath(engine.WorkFolder(), L"Logs/" + identity + L".xml");
    }
    // The run times in the task's log document: 0 without one, -1 when it does not load.
    int RunTimesLogged(const std::wstring& identity) const {
        if (!FileExists(TaskLogFile(identity))) {
            return 0;
        }
        const std::string bytes = ReadBytes(TaskLogFile(identity));
        XmlDocument document;
        std::wstring reason;
        if (!document.Load(std::wstring(bytes.begin(), bytes.end()), reason)) {
            return -1;
        }
        return static_cast<int>(document.SelectAll(L"//TaskHistory/LastRunTime").size());
    }
    static std::wstring Executing(const std::wstring& identity) {
        return L"Executing due task " + identity + L" at ";
    }

    static constexpr wchar_t kHandlerFailed[] = L"Failed to execute handler failed.";

    TempRegistry registry;
    TempFolder records;
    LogCapture log;
    TasksAndProcessors factory;
    TestEngine engine{&factory};
};
