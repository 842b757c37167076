// The command-line handler with real programs: the command line it builds, where the program
// runs, how starts fail, both ways of running, cancelling and releasing with the program's
// whole process group, and the events a task processor sees. (Its class factory, aggregation
// and late binding are those of every class: ServerClasses_test, ScriptClient_test; the run
// outcomes a processor records from it: RunOutcomes_test, ProcessorBadInput_test.)
#include "execution/ZynCmdLineTaskHandler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/Connections.h"
#include "execution/ExecutionTestSupport.h"
#include "execution/ZynTaskHandlerEventSink.h"
#include "platform/SystemMessage.h"
#include "platform/WideText.h"
#include "support/Folders.h"
#include "support/LogCall.h"
#include "support/LogCapture.h"

namespace {

using Handler = CComInstance<CZynCmdLineTaskHandler>;

constexpr wchar_t kTaskGuid[] = L"{5F0C9A8E-7B1D-4C55-9E2A-3D4B6C7E8F90}";
const std::wstring kSource = CZynCmdLineTaskHandler::kLogSource;

// A shell script run by /bin/sh, in `folder` when one is given.
std::wstring Script(const std::wstring& script, std::optional<std::wstring> folder = {}) {
    return CommandTask(L"t", L"/bin/sh", ShellParameters(script), std::move(folder));
}

struct StatusEvent {
    std::wstring id;
    LONG status;
    std::thread::id thread;
};

// The handler's events as a processor's sink receives them.
class StatusRecorder {
public:
    HRESULT OnTaskStatus(BSTR id, LONG status) {
        std::function<void(LONG)> reaction;
        {
            const std::lock_guard lock(m_mutex);
            m_events.push_back({id == nullptr ? L"" : id, status, std::this_thread::get_id()});
            reaction = m_reaction;
        }
        if (reaction) {
            reaction(status);
        }
        return S_OK;
    }
    // Runs on the firing thread, from inside each event.
    void ReactWith(std::function<void(LONG)> reaction) {
        const std::lock_guard lock(m_mutex);
        m_reaction = std::move(reaction);
    }
    bool WaitForEvents(std::size_t count) const {
        return Eventually([&] { return Events().size() >= count; });
    }
    std::vector<StatusEvent> Events() const {
        const std::lock_guard lock(m_mutex);
        return m_events;
    }
    std::vector<LONG> SortedStatuses() const {
        std::vector<LONG> statuses;
        for (const StatusEvent& event : Events()) {
            statuses.push_back(event.status);
        }
        std::sort(statuses.begin(), statuses.end());
        return statuses;
    }
    void Clear() {
        const std::lock_guard lock(m_mutex);
        m_events.clear();
    }
    IDispatch* Sink() { return &m_sink; }

private:
    mutable std::mutex m_mutex;
    std::vector<StatusEvent> m_events;
    std::function<void(LONG)> m_reaction;
    CZynTaskHandlerEventSink<StatusRecorder> m_sink{*this};
};

struct ErrorRecord {
    std::wstring description;
    std::wstring source;
    GUID guid{};
};

ErrorRecord TakeErrorRecord() {
    ErrorRecord result;
    ComPtr<IErrorInfo> record;
    if (GetErrorInfo(0, record.Receive()) == S_OK) {
        CBstr description;
        CBstr source;
        record->GetDescription(description.Receive());
        record->GetSource(source.Receive());
        record->GetGUID(&result.guid);
        result.description = description.View();
        result.source = source.View();
    }
    return result;
}

// The state letter of a process ('Z' for a zombie); 0 once the system has no such process.
char ProcessState(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const std::size_t close = text.rfind(')');
    return close == std::string::npos || close + 2 >= text.size() ? 0 : text[close + 2];
}

// The process ids a script wrote into `path`, one a line, once there are `count` of them.
std::vector<int> WaitForPids(const std::wstring& path, std::size_t count) {
    std::vector<int> pids;
    EXPECT_TRUE(Eventually([&] {
        std::ifstream file(WideToUtf8(path));
        pids.clear();
        for (int pid = 0; file >> pid;) {
            pids.push_back(pid);
        }
        return pids.size() >= count;
    }));
    return pids;
}

class CmdLineTaskHandlerTest : public testing::Test {
protected:
    void SetUp() override { MakeHandler(); }

    // A fresh handler connected to the emptied recorder.
    void MakeHandler() {
        m_handler.Reset();
        m_recorder.Clear();
        ASSERT_EQ(S_OK, Handler::Make(m_handler));
        ComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(S_OK, m_handler->QueryInterface(IID_IConnectionPointContainer,
                                                  reinterpret_cast<void**>(container.Receive())));
        ComPtr<IConnectionPoint> point;
        ASSERT_EQ(S_OK, container->FindConnectionPoint(DIID_IZynScheduledTaskHandlerEvents,
                                                       point.Receive()));
        DWORD cookie = 0;
        ASSERT_EQ(S_OK, point->Advise(m_recorder.Sink(), &cookie));
    }
    HRESULT Run(const std::wstring& xml, bool async = false) {
        const CBstr guid(kTaskGuid);
        return async ? m_handler->ProcessTaskAsync(guid.Get(), CBstr(xml).Get())
                     : m_handler->ProcessTask(guid.Get(), CBstr(xml).Get());
    }
    bool Logged(DWORD severity, const std::wstring& message) const {
        return m_log.Contains(severity, kSource, message);
    }
    // Waits for a thread to hold the program, so that a cancel cannot come first.
    void WaitUntilWatched(const wchar_t* how) {
        EXPECT_TRUE(Eventually([&] {
            return Logged(CE_SEVERITY_TRACE, std::wstring(L"Waiting for process for task ") +
                                                 kTaskGuid + L" to complete" + how + L".");
        }));
    }

    LogCapture m_log;
    TempFolder m_folder;
    StatusRecorder m_recorder;  // outlives the handler, which fires into it until it goes
    ComPtr<Handler> m_handler;
};

// --- The command line and where it runs ---

TEST_F(CmdLineTaskHandlerTest, QuotesTheApplicationAndAppendsTheParametersAfterOneSpace) {
    struct Row {
        std::wstring application;
        std::optional<std::wstring> parameters;
        std::wstring commandLine;
    };
    const Row rows[] = {
        {L"true", L"a b", L"\"true\" a b"},
        {L"true", std::nullopt, L"\"true\" "},
        {L"true", L"", L"\"true\" "},
        {L"\"true\"", L"x", L"\"\"true\"\" x"},  // a second pair, which the split takes away
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "application " << WideToUtf8(row.application));
        MakeHandler();
        EXPECT_EQ(S_OK, Run(CommandTask(L"t", row.application, row.parameters)));
        EXPECT_TRUE(Logged(CE_SEVERITY_INFORMATION, std::wstring(L"Creating process for task ") +
                                                        kTaskGuid + L" Command: " +
                                                        row.commandLine + L" WorkFolder: "));
    }
}

TEST_F(CmdLineTaskHandlerTest, RunsInTheGivenWorkingDirectoryOrElseInOurs) {
    const std::wstring work = m_folder / L"work";
    std::filesystem::create_directory(WideToUtf8(work));
    const std::wstring out = m_folder / L"where.txt";
    const std::string ours = std::filesystem::canonical(std::filesystem::current_path()).string();
    const std::pair<std::optional<std::wstring>, std::string> rows[] = {
        {work, std::filesystem::canonical(WideToUtf8(work)).string()},
        {L"", ours},
        {std::nullopt, ours},
    };
    for (const auto& [workingDirectory, expected] : rows) {
        SCOPED_TRACE(expected);
        MakeHandler();
        ASSERT_EQ(S_OK, Run(Script(L"pwd -P > " + out, workingDirectory)));
        EXPECT_EQ(expected + "\n", ReadBytes(out));
    }
}

// --- Tasks that cannot start ---

TEST_F(CmdLineTaskHandlerTest, AStartThatFailsIsDescribedAndAFailedProgramReported) {
    const std::wstring missingFolder = m_folder / L"missing";
    const std::wstring noApplication =
        L"CZynCmdLineTaskHandler::LoadProcessParameters failed. ApplicationName node doesn't "
        L"exist " +
        HResultText(E_FAIL) + L".";
    const auto createFailed = [](const wchar_t* method, const std::wstring& commandLine,
                                 DWORD error) {
        return std::wstring(L"CZynCmdLineTaskHandler::") + method +
               L" failed. Create process failed to create " + commandLine + L" " +
               HResultText(HRESULT_FROM_WIN32(error)) + L".";
    };
    struct Row {
        const char* what;
        bool async;
        std::wstring xml;
        HRESULT hr;
        std::wstring description;  // the start of it
        bool failedEvent;          // else no event at all
    };
    const Row rows[] = {
        {"no application", false, CommandTask(L"t", std::nullopt, L"-x"), E_FAIL, noApplication,
         false},
        {"no application, async", true, CommandTask(L"t", std::nullopt, L"-x"), E_FAIL,
         noApplication, false},
        {"no document", false, L"<Task><ApplicationName>true</Task>", E_FAIL,
         L"CZynCmdLineTaskHandler::LoadProcessParameters failed. Failed to load task xml into "
         L"XMLDOM. Error ",
         false},
        {"missing program", false, CommandTask(L"t", L"/no/such/zyn-program", L"-v"),
         HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
         createFailed(L"ProcessTask", L"\"/no/such/zyn-program\" -v", ERROR_FILE_NOT_FOUND), true},
        {"missing program, async", true, CommandTask(L"t", L"/no/such/zyn-program"),
         HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
         createFailed(L"ProcessTaskAsync", L"\"/no/such/zyn-program\" ", ERROR_FILE_NOT_FOUND),
         true},
        {"missing folder", false, CommandTask(L"t", L"true", std::nullopt, missingFolder),
         HRESULT_FROM_WIN32(ERROR_DIRECTORY),
         createFailed(L"ProcessTask", L"\"true\" ", ERROR_DIRECTORY), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MakeHandler();
        m_log.Clear();
        EXPECT_EQ(row.hr, Run(row.xml, row.async));
        const ErrorRecord record = TakeErrorRecord();
        EXPECT_TRUE(record.description.starts_with(row.description))
            << WideToUtf8(record.description);
        EXPECT_EQ(kProgIdZynCmdLineTaskHandler, record.source);
        EXPECT_EQ(IID_IZynScheduledTaskHandler, record.guid);
        EXPECT_EQ(1u, m_log.Matching(L"failed").size()) << "logged once, by the failing step";
        EXPECT_TRUE(Logged(CE_SEVERITY_ERROR, record.description));
        const std::vector<StatusEvent> events = m_recorder.Events();
        ASSERT_EQ(events.size(), row.failedEvent ? 1u : 0u);
        if (row.failedEvent) {
            EXPECT_EQ(kTaskGuid, events[0].id);
            EXPECT_EQ(ST_TASK_FAILED, events[0].status);
        }
    }
}

// --- Running, cancelling, releasing ---

TEST_F(CmdLineTaskHandlerTest, ProcessTaskWaitsForTheProgramAndCompletesWhateverItsExitCode) {
    const std::wstring out = m_folder / L"done.txt";
    EXPECT_EQ(S_OK, Run(Script(L"sleep 0.2; echo done > " + out + L"; exit 3")));
    EXPECT_EQ("done\n", ReadBytes(out)) << "returned before the program ended";
    const std::vector<StatusEvent> events = m_recorder.Events();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(kTaskGuid, events[0].id);
    EXPECT_EQ(ST_TASK_COMPLETED, events[0].status);
    EXPECT_EQ(std::this_thread::get_id(), events[0].thread);

    // The handles went with the end of the run: a cancel finds nothing to report.
    EXPECT_EQ(S_OK, m_handler->CancelTask());
    EXPECT_EQ(1u, m_recorder.Events().size());
}

TEST_F(CmdLineTaskHandlerTest, ProcessTaskAsyncCompletesFromTheHandlersThreadAndASinkMayCancel) {
    IZynScheduledTaskHandler* handler = m_handler.Get();
    std::atomic<HRESULT> cancelled = E_UNEXPECTED;
    m_recorder.ReactWith([&](LONG status) {
        if (status == ST_TASK_COMPLETED) {
            // Re-enters the lock the event is fired under, on the firing thread.
            cancelled = handler->CancelTask();
        }
    });
    const std::wstring release = m_folder / L"release";
    ASSERT_EQ(S_OK,
              Run(Script(L"while [ ! -e " + release + L" ]; do sleep 0.01; done; exit 7"), true));
    EXPECT_TRUE(m_recorder.Events().empty()) << "the program still runs";
    WriteBytes(release, "");
    EXPECT_TRUE(Eventually([&] { return cancelled != E_UNEXPECTED; }));
    m_recorder.ReactWith(nullptr);
    EXPECT_EQ(S_OK, cancelled.load());
    const std::vector<StatusEvent> events = m_recorder.Events();
    ASSERT_EQ(2u, events.size());
    EXPECT_EQ(kTaskGuid, events[0].id);
    EXPECT_EQ(ST_TASK_COMPLETED, events[0].status);
    EXPECT_NE(std::this_thread::get_id(), events[0].thread);
    // The program has ended by itself: the cancel reports it and terminates nothing.
    EXPECT_EQ(ST_TASK_CANCELLED, events[1].status);
    EXPECT_EQ(events[0].thread, events[1].thread);
    EXPECT_TRUE(m_log.Matching(L"Process returned failed").empty());
}

TEST_F(CmdLineTaskHandlerTest, CancelTaskEndsTheWholeProcessGroupWithCode20) {
    // The shell is the started program; the background sleep is another member of its group.
    ASSERT_EQ(
        S_OK,
        Run(Script(L"sleep 100 & echo $! > pids; echo $$ >> pids; wait", m_folder.Path()), true));
    const std::vector<int> pids = WaitForPids(m_folder / L"pids", 2);
    ASSERT_EQ(2u, pids.size());
    WaitUntilWatched(L" async");

    EXPECT_EQ(S_OK, m_handler->CancelTask()) << "a code other than 20 fails the cancel";
    EXPECT_EQ(0, ProcessState(pids[1])) << "the started program was not reaped";
    EXPECT_TRUE(Eventually([&] {
        const char state = ProcessState(pids[0]);
        return state == 0 || state == 'Z';  // its reaper is our parent's business
    })) << "the rest of the group survived";
    // The thread, woken by the ended program, reports the end as well.
    ASSERT_TRUE(m_recorder.WaitForEvents(2));
    EXPECT_EQ((std::vector<LONG>{ST_TASK_COMPLETED, ST_TASK_CANCELLED}),
              m_recorder.SortedStatuses());
}

TEST_F(CmdLineTaskHandlerTest, CancelTaskFromAnotherThreadEndsAWaitingProcessTask) {
    HRESULT runResult = E_UNEXPECTED;
    std::thread runner([&] { runResult = Run(CommandTask(L"t", L"sleep", L"100")); });
    WaitUntilWatched(L"");
    EXPECT_EQ(S_OK, m_handler->CancelTask());
    runner.join();
    EXPECT_EQ(S_OK, runResult);
    EXPECT_EQ((std::vector<LONG>{ST_TASK_COMPLETED, ST_TASK_CANCELLED}),
              m_recorder.SortedStatuses());
}

TEST_F(CmdLineTaskHandlerTest, CancelTaskBeforeAnyStartFailsButStillReportsTheCancel) {
    const HRESULT invalidHandle = HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
    EXPECT_EQ(invalidHandle, m_handler->CancelTask());
    const std::wstring message =
        L"CZynCmdLineTaskHandler::CancelTask failed. GetExitCodeProcess failed. " +
        HResultText(invalidHandle) + L".";
    EXPECT_EQ(message, TakeErrorRecord().description);
    EXPECT_TRUE(Logged(CE_SEVERITY_ERROR, message));
    ASSERT_EQ(1u, m_recorder.Events().size());
    EXPECT_EQ(ST_TASK_CANCELLED, m_recorder.Events()[0].status);

    EXPECT_EQ(S_OK, m_handler->CancelTask()) << "the handles were closed by the first cancel";
    EXPECT_EQ(1u, m_recorder.Events().size());
}

TEST_F(CmdLineTaskHandlerTest, ReleasingTheHandlerTerminatesItsRunningProgram) {
    ASSERT_EQ(S_OK, Run(Script(L"echo $$ > pid; exec sleep 100", m_folder.Path()), true));
    const std::vector<int> pids = WaitForPids(m_folder / L"pid", 1);
    ASSERT_EQ(1u, pids.size());
    ASSERT_NE(0, ProcessState(pids[0]));

    m_handler.Reset();
    EXPECT_EQ(0, ProcessState(pids[0])) << "still there, or left as a zombie";
    const std::vector<LONG> statuses = m_recorder.SortedStatuses();
    EXPECT_NE(statuses.end(), std::find(statuses.begin(), statuses.end(), ST_TASK_CANCELLED));
}

}  // namespace
