// The command-line handler with real programs: the command line it builds, where the program
// runs, how starts fail, both ways of running, cancelling and releasing with the program's
// whole process group, and the events a task processor sees. (Its class factory, aggregation
// and late binding are those of every class: ServerClasses_test, ScriptClient_test.)
#include "execution/ZynCmdLineTaskHandler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/Connections.h"
#include "ZynTaskSchedulerLib/SystemErrors.h"
#include "platform/SystemMessage.h"
#include "platform/WideText.h"
#include "support/LogCall.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"

namespace {

using Handler = CComInstance<CZynCmdLineTaskHandler>;
using namespace std::chrono_literals;

// Only a hang ends a wait this long; no test relies on how quickly anything happens.
constexpr auto kHangGuard = 60s;
constexpr wchar_t kTaskGuid[] = L"{5F0C9A8E-7B1D-4C55-9E2A-3D4B6C7E8F90}";
const std::wstring kSource = CZynCmdLineTaskHandler::kLogSource;

template <class T>
void** Out(ComPtr<T>& pointer) {
    return reinterpret_cast<void**>(pointer.Receive());
}

std::wstring Escaped(const std::wstring& text) {
    std::wstring escaped;
    for (const wchar_t c : text) {
        escaped += c == L'&' ? L"&amp;" : c == L'<' ? L"&lt;" : std::wstring(1, c);
    }
    return escaped;
}

// The parts of a task document the handler reads; a missing part is left out of the XML.
struct TaskParts {
    std::optional<std::wstring> application;
    std::optional<std::wstring> parameters = {};
    std::optional<std::wstring> workingDirectory = {};
};

std::wstring TaskXml(const TaskParts& parts) {
    std::wstring action;
    const auto element = [&](const wchar_t* name, const std::optional<std::wstring>& text) {
        if (text) {
            action += std::wstring(L"<") + name + L">" + Escaped(*text) + L"</" + name + L">";
        }
    };
    element(L"ApplicationName", parts.application);
    element(L"Parameters", parts.parameters);
    element(L"WorkingDirectory", parts.workingDirectory);
    return L"<Task><Name>t</Name><Action>" + action + L"</Action></Task>";
}

// A shell script run by /bin/sh, in `folder` when one is given.
TaskParts Script(const std::wstring& script, std::optional<std::wstring> folder = {}) {
    return {L"/bin/sh", L"-c '" + script + L"'", std::move(folder)};
}

struct StatusEvent {
    std::wstring id;
    LONG status;
    std::thread::id thread;
};

// A sink of the handler's events, built on the object framework as a processor's would be.
class CStatusRecorder : public CObjectRoot,
                        public CDispatchImpl<IDispatch, CStatusRecorder, UnknownMembers::Ignored> {
public:
    using Interfaces = InterfaceTable<Implements<DIID_IZynScheduledTaskHandlerEvents, IDispatch>,
                                      Implements<IID_IDispatch, IDispatch>>;
    static std::span<const DispatchMember<CStatusRecorder>> DispatchMembers() {
        static constexpr DispatchMember<CStatusRecorder> kMembers[] = {
            DispatchMethod<&CStatusRecorder::OnTaskStatus, VT_EMPTY, In(VT_BSTR), In(VT_I4)>(
                L"OnTaskStatus", DISPID_OnTaskStatus),
        };
        return kMembers;
    }

    HRESULT OnTaskStatus(BSTR id, LONG status) {
        std::function<void(LONG)> reaction;
        {
            const std::lock_guard lock(m_mutex);
            m_events.push_back({id == nullptr ? L"" : id, status, std::this_thread::get_id()});
            reaction = m_reaction;
        }
        m_changed.notify_all();
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
    bool WaitForEvents(std::size_t count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kHangGuard, [&] { return m_events.size() >= count; });
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

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<StatusEvent> m_events;
    std::function<void(LONG)> m_reaction;
};

using Recorder = CComInstance<CStatusRecorder>;

ComPtr<IConnectionPoint> EventsOf(IZynScheduledTaskHandler* handler) {
    ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(S_OK, handler->QueryInterface(IID_IConnectionPointContainer, Out(container)));
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(S_OK,
              container->FindConnectionPoint(DIID_IZynScheduledTaskHandlerEvents, point.Receive()));
    return point;
}

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

bool EventuallyTrue(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// The process ids a script wrote into `path`, one a line, once there are `count` of them.
std::vector<int> WaitForPids(const std::wstring& path, std::size_t count) {
    std::vector<int> pids;
    EXPECT_TRUE(EventuallyTrue([&] {
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
    void SetUp() override {
        ASSERT_EQ(S_OK, Handler::Make(m_handler));
        ASSERT_EQ(S_OK, Recorder::Make(m_recorder));
        DWORD cookie = 0;
        ASSERT_EQ(S_OK, EventsOf(m_handler.Get())->Advise(m_recorder.Get(), &cookie));
    }

    HRESULT Run(const TaskParts& parts) { return RunXml(TaskXml(parts)); }
    HRESULT RunXml(const std::wstring& xml) {
        return m_handler->ProcessTask(CBstr(kTaskGuid).Get(), CBstr(xml).Get());
    }
    HRESULT RunAsync(const TaskParts& parts) {
        return m_handler->ProcessTaskAsync(CBstr(kTaskGuid).Get(), CBstr(TaskXml(parts)).Get());
    }
    bool Logged(DWORD severity, const std::wstring& message) const {
        return m_log.Contains(severity, kSource, message);
    }
    // Waits for the handler's thread to hold the program, so that a cancel cannot come first.
    void WaitUntilWatched() {
        EXPECT_TRUE(EventuallyTrue([&] {
            return Logged(CE_SEVERITY_TRACE, std::wstring(L"Waiting for process for task ") +
                                                 kTaskGuid + L" to complete async.");
        }));
    }

    LogCapture m_log;
    TempFolder m_folder;
    ComPtr<Handler> m_handler;
    ComPtr<Recorder> m_recorder;
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
        ComPtr<Handler> handler;
        ASSERT_EQ(S_OK, Handler::Make(handler));
        EXPECT_EQ(S_OK,
                  handler->ProcessTask(CBstr(kTaskGuid).Get(),
                                       CBstr(TaskXml({row.application, row.parameters})).Get()));
        EXPECT_TRUE(Logged(CE_SEVERITY_INFORMATION, std::wstring(L"Creating process for task ") +
                                                        kTaskGuid + L" Command: " +
                                                        row.commandLine + L" WorkFolder: "));
    }
}

TEST_F(CmdLineTaskHandlerTest, HandsTheProgramItsArgumentsAsTheShellWouldSplitThem) {
    const std::wstring out = m_folder / L"args.txt";
    ASSERT_EQ(S_OK, Run({L"/bin/sh", L"-c 'printf \"%s|%s|%s\" \"$1\" \"$2\" \"$3\" > \"$0\"' " +
                                         out + L" \"first arg\" 'second & $HOME' third"}));
    EXPECT_EQ("first arg|second & $HOME|third", ReadBytes(out));
}

TEST_F(CmdLineTaskHandlerTest, RunsInTheGivenWorkingDirectoryOrElseInOurs) {
    const std::wstring work = m_folder / L"work";
    std::filesystem::create_directory(WideToUtf8(work));
    const std::wstring out = m_folder / L"where.txt";
    const std::string ours = std::filesystem::canonical(std::filesystem::current_path()).string();
    struct Row {
        std::optional<std::wstring> workingDirectory;
        std::string expected;
    };
    const Row rows[] = {
        {work, std::filesystem::canonical(WideToUtf8(work)).string()},
        {L"", ours},
        {std::nullopt, ours},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "expected " << row.expected);
        ComPtr<Handler> handler;
        ASSERT_EQ(S_OK, Handler::Make(handler));
        const TaskParts parts = Script(L"pwd -P > " + out, row.workingDirectory);
        ASSERT_EQ(S_OK, handler->ProcessTask(CBstr(kTaskGuid).Get(), CBstr(TaskXml(parts)).Get()));
        EXPECT_EQ(row.expected + "\n", ReadBytes(out));
    }
}

// --- Tasks that cannot start ---

TEST_F(CmdLineTaskHandlerTest, TaskWithoutApplicationFailsWithoutAnEvent) {
    for (const bool async : {false, true}) {
        SCOPED_TRACE(async ? "ProcessTaskAsync" : "ProcessTask");
        m_log.Clear();
        const CBstr xml(TaskXml({std::nullopt, L"-x"}));
        const CBstr guid(kTaskGuid);
        EXPECT_EQ(E_FAIL, async ? m_handler->ProcessTaskAsync(guid.Get(), xml.Get())
                                : m_handler->ProcessTask(guid.Get(), xml.Get()));
        const std::wstring message =
            L"CZynCmdLineTaskHandler::LoadProcessParameters failed. ApplicationName node "
            L"doesn't exist " +
            HResultText(E_FAIL) + L".";
        const ErrorRecord record = TakeErrorRecord();
        EXPECT_EQ(message, record.description);
        EXPECT_EQ(kProgIdZynCmdLineTaskHandler, record.source);
        EXPECT_EQ(IID_IZynScheduledTaskHandler, record.guid);
        EXPECT_TRUE(Logged(CE_SEVERITY_ERROR, message));
        EXPECT_EQ(1u, m_log.Matching(L"failed").size()) << "the start methods add no message";
    }
    EXPECT_TRUE(m_recorder->Events().empty());
}

TEST_F(CmdLineTaskHandlerTest, TaskThatIsNoXmlFailsWithTheParsersReason) {
    EXPECT_EQ(E_FAIL, RunXml(L"<Task><ApplicationName>true</Task>"));
    EXPECT_EQ(1u, m_log
                      .Matching(L"CZynCmdLineTaskHandler::LoadProcessParameters failed. Failed "
                                L"to load task xml into XMLDOM. Error ")
                      .size());
    EXPECT_TRUE(m_recorder->Events().empty());
}

TEST_F(CmdLineTaskHandlerTest, ProgramThatCannotStartFailsTheTaskWithTheSystemsReason) {
    struct Row {
        bool async;
        TaskParts parts;
        DWORD error;
    };
    const Row rows[] = {
        {false, {L"/no/such/zyn-program", L"-v"}, ERROR_FILE_NOT_FOUND},
        {true, {L"/no/such/zyn-program", std::nullopt}, ERROR_FILE_NOT_FOUND},
        {false, {L"true", std::nullopt, m_folder / L"missing"}, ERROR_DIRECTORY},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "error " << row.error << " async " << row.async);
        ComPtr<Handler> handler;
        ASSERT_EQ(S_OK, Handler::Make(handler));
        ComPtr<Recorder> recorder;
        ASSERT_EQ(S_OK, Recorder::Make(recorder));
        DWORD cookie = 0;
        ASSERT_EQ(S_OK, EventsOf(handler.Get())->Advise(recorder.Get(), &cookie));

        const CBstr xml(TaskXml(row.parts));
        const CBstr guid(kTaskGuid);
        const HRESULT expected = HRESULT_FROM_WIN32(row.error);
        EXPECT_EQ(expected, row.async ? handler->ProcessTaskAsync(guid.Get(), xml.Get())
                                      : handler->ProcessTask(guid.Get(), xml.Get()));
        const std::wstring commandLine =
            L"\"" + *row.parts.application + L"\" " + row.parts.parameters.value_or(L"");
        const std::wstring message = std::wstring(L"CZynCmdLineTaskHandler::") +
                                     (row.async ? L"ProcessTaskAsync" : L"ProcessTask") +
                                     L" failed. Create process failed to create " + commandLine +
                                     L" " + HResultText(expected) + L".";
        const ErrorRecord record = TakeErrorRecord();
        EXPECT_EQ(message, record.description);
        EXPECT_EQ(IID_IZynScheduledTaskHandler, record.guid);
        EXPECT_TRUE(Logged(CE_SEVERITY_ERROR, message));
        const std::vector<StatusEvent> events = recorder->Events();
        ASSERT_EQ(1u, events.size());
        EXPECT_EQ(kTaskGuid, events[0].id);
        EXPECT_EQ(ST_TASK_FAILED, events[0].status);
    }
}

// --- Running, cancelling, releasing ---

TEST_F(CmdLineTaskHandlerTest, ProcessTaskWaitsForTheProgramAndCompletesWhateverItsExitCode) {
    const std::wstring out = m_folder / L"done.txt";
    EXPECT_EQ(S_OK, Run(Script(L"sleep 0.2; echo done > " + out + L"; exit 3")));
    EXPECT_EQ("done\n", ReadBytes(out)) << "returned before the program ended";
    const std::vector<StatusEvent> events = m_recorder->Events();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(kTaskGuid, events[0].id);
    EXPECT_EQ(ST_TASK_COMPLETED, events[0].status);
    EXPECT_EQ(std::this_thread::get_id(), events[0].thread);
    EXPECT_TRUE(Logged(CE_SEVERITY_TRACE, std::wstring(L"Waiting for process for task ") +
                                              kTaskGuid + L" to complete."));

    // The handles went with the end of the run: a cancel finds nothing to report.
    EXPECT_EQ(S_OK, m_handler->CancelTask());
    EXPECT_EQ(1u, m_recorder->Events().size());
}

TEST_F(CmdLineTaskHandlerTest, ProcessTaskAsyncCompletesFromTheHandlersThread) {
    const std::wstring release = m_folder / L"release";
    ASSERT_EQ(S_OK, RunAsync(Script(L"while [ ! -e " + release +
                                    L" ]; do sleep 0.01; done; "
                                    L"exit 7")));
    EXPECT_TRUE(m_recorder->Events().empty()) << "the program still runs";
    WriteBytes(release, "");
    ASSERT_TRUE(m_recorder->WaitForEvents(1));
    const StatusEvent completed = m_recorder->Events()[0];
    EXPECT_EQ(kTaskGuid, completed.id);
    EXPECT_EQ(ST_TASK_COMPLETED, completed.status);
    EXPECT_NE(std::this_thread::get_id(), completed.thread);

    // The program has ended by itself: a cancel reports it and terminates nothing.
    EXPECT_EQ(S_OK, m_handler->CancelTask());
    ASSERT_EQ(2u, m_recorder->Events().size());
    EXPECT_EQ(ST_TASK_CANCELLED, m_recorder->Events()[1].status);
    EXPECT_TRUE(m_log.Matching(L"Process returned failed").empty());
}

TEST_F(CmdLineTaskHandlerTest, CancelTaskEndsTheWholeProcessGroupWithCode20) {
    // The shell is the started program; the background sleep is another member of its group.
    ASSERT_EQ(S_OK, RunAsync(Script(L"sleep 100 & echo $! > pids; echo $$ >> pids; wait",
                                    m_folder.Path())));
    const std::vector<int> pids = WaitForPids(m_folder / L"pids", 2);
    ASSERT_EQ(2u, pids.size());
    WaitUntilWatched();

    EXPECT_EQ(S_OK, m_handler->CancelTask()) << "a code other than 20 fails the cancel";
    EXPECT_EQ(0, ProcessState(pids[1])) << "the started program was not reaped";
    EXPECT_TRUE(EventuallyTrue([&] {
        const char state = ProcessState(pids[0]);
        return state == 0 || state == 'Z';  // its reaper is our parent's business
    })) << "the rest of the group survived";
    // The thread, woken by the ended program, reports the end as well.
    ASSERT_TRUE(m_recorder->WaitForEvents(2));
    EXPECT_EQ((std::vector<LONG>{ST_TASK_COMPLETED, ST_TASK_CANCELLED}),
              m_recorder->SortedStatuses());
}

TEST_F(CmdLineTaskHandlerTest, CancelTaskFromAnotherThreadEndsAWaitingProcessTask) {
    HRESULT runResult = E_UNEXPECTED;
    std::thread runner([&] { runResult = Run({L"sleep", L"100"}); });
    EXPECT_TRUE(EventuallyTrue([&] {
        return Logged(CE_SEVERITY_TRACE, std::wstring(L"Waiting for process for task ") +
                                             kTaskGuid + L" to complete.");
    }));
    EXPECT_EQ(S_OK, m_handler->CancelTask());
    runner.join();
    EXPECT_EQ(S_OK, runResult);
    EXPECT_EQ((std::vector<LONG>{ST_TASK_COMPLETED, ST_TASK_CANCELLED}),
              m_recorder->SortedStatuses());
}

TEST_F(CmdLineTaskHandlerTest, CancelTaskBeforeAnyStartFailsButStillReportsTheCancel) {
    const HRESULT invalidHandle = HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
    EXPECT_EQ(invalidHandle, m_handler->CancelTask());
    const std::wstring message =
        L"CZynCmdLineTaskHandler::CancelTask failed. GetExitCodeProcess failed. " +
        HResultText(invalidHandle) + L".";
    EXPECT_EQ(message, TakeErrorRecord().description);
    EXPECT_TRUE(Logged(CE_SEVERITY_ERROR, message));
    ASSERT_EQ(1u, m_recorder->Events().size());
    EXPECT_EQ(ST_TASK_CANCELLED, m_recorder->Events()[0].status);

    EXPECT_EQ(S_OK, m_handler->CancelTask()) << "the handles were closed by the first cancel";
    EXPECT_EQ(1u, m_recorder->Events().size());
}

TEST_F(CmdLineTaskHandlerTest, ReleasingTheHandlerTerminatesItsRunningProgram) {
    ASSERT_EQ(S_OK, RunAsync(Script(L"echo $$ > pid; exec sleep 100", m_folder.Path())));
    const std::vector<int> pids = WaitForPids(m_folder / L"pid", 1);
    ASSERT_EQ(1u, pids.size());
    ASSERT_NE(0, ProcessState(pids[0]));

    m_handler.Reset();
    EXPECT_EQ(0, ProcessState(pids[0])) << "still there, or left as a zombie";
    const std::vector<LONG> statuses = m_recorder->SortedStatuses();
    EXPECT_NE(statuses.end(), std::find(statuses.begin(), statuses.end(), ST_TASK_CANCELLED));
}

// --- Events ---

TEST_F(CmdLineTaskHandlerTest, SinkMayCallBackIntoTheHandlerFromInsideAnEvent) {
    IZynScheduledTaskHandler* handler = m_handler.Get();
    std::promise<HRESULT> cancelled;
    m_recorder->ReactWith([&](LONG status) {
        if (status == ST_TASK_COMPLETED) {
            // Re-enters the lock the event is fired under, on the firing thread.
            cancelled.set_value(handler->CancelTask());
        }
    });
    ASSERT_EQ(S_OK, RunAsync({L"true"}));
    std::future<HRESULT> cancelResult = cancelled.get_future();
    ASSERT_EQ(std::future_status::ready, cancelResult.wait_for(kHangGuard));
    EXPECT_EQ(S_OK, cancelResult.get());
    const std::vector<StatusEvent> events = m_recorder->Events();
    ASSERT_EQ(2u, events.size());
    EXPECT_EQ(ST_TASK_COMPLETED, events[0].status);
    EXPECT_EQ(ST_TASK_CANCELLED, events[1].status);
    EXPECT_EQ(events[0].thread, events[1].thread);
    m_recorder->ReactWith(nullptr);
}

}  // namespace
