#include "execution/ZynCmdLineTaskHandler.h"

#include <string_view>
#include <vector>

#include "platform/LastError.h"
#include "platform/Wait.h"
#include "platform/WideText.h"
#include "platform/XmlDocument.h"
#include "support/LogCall.h"
#include "support/MethodGuard.h"
#include "support/ScopedLock.h"
#include "support/ThrowError.h"

namespace {

constexpr const wchar_t* kClassName = L"CZynCmdLineTaskHandler";
const AutomationIdentity kIdentity{IID_IZynScheduledTaskHandler, kProgIdZynCmdLineTaskHandler,
                                   CZynCmdLineTaskHandler::kLogSource};

// The agent's log readers know a start that could not read its task by these locations.
constexpr const char* kFailedReturnFile = "ZynCmdLineTaskHandler";
constexpr int kProcessTaskReturnLine = 83;
constexpr int kProcessTaskAsyncReturnLine = 187;

constexpr std::size_t kMessageCapacity = 4096;
// How long output that comes slowly is let gather in the pipe before it is drained again.
constexpr DWORD kOutputGatheringMs = 1;

constexpr DISPID kDispidProcessTask = 1;
constexpr DISPID kDispidProcessTaskAsync = 2;
constexpr DISPID kDispidCancelTask = 3;

GuardNames Names(const wchar_t* member) {
    return {kClassName, member};
}

std::wstring_view TextOf(BSTR text) {
    return {text == nullptr ? L"" : text, SysStringLen(text)};
}

void TraceFailedReturn(int line, HRESULT hr) {
    CETrace(CE_SEVERITY_WARNING, kFailedReturnFile, line, L"FAILED_RETURN %x",
            static_cast<unsigned>(hr));
}

// The exit code of the program behind a handle, STILL_ACTIVE while it runs. The zero handle
// names no program and fails as the system fails it.
DWORD ExitCodeOf(SpawnedProcess* process) {
    DWORD exitCode = 0;
    if (process == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    if (process == nullptr || !process->ExitCode(exitCode)) {
        CEThrowError(HRESULT_FROM_WIN32(GetLastError()), L"GetExitCodeProcess failed.");
    }
    return exitCode;
}

}  // namespace

CZynCmdLineTaskHandler::CZynCmdLineTaskHandler() : CCEThread(kThreadName, THREAD_PRIORITY_LOWEST) {
    SetConnectionPoints({&m_events});
}

CZynCmdLineTaskHandler::~CZynCmdLineTaskHandler() {
    Stop();  // FinalRelease has ended the thread already; this finds none
}

std::span<const DispatchMember<IZynScheduledTaskHandler>>
CZynCmdLineTaskHandler::DispatchMembers() {
    static constexpr DispatchMember<IZynScheduledTaskHandler> kMembers[] = {
        DispatchMethod<&IZynScheduledTaskHandler::ProcessTask, VT_EMPTY, In(VT_BSTR), In(VT_BSTR)>(
            L"ProcessTask", kDispidProcessTask),
        DispatchMethod<&IZynScheduledTaskHandler::ProcessTaskAsync, VT_EMPTY, In(VT_BSTR),
                       In(VT_BSTR)>(L"ProcessTaskAsync", kDispidProcessTaskAsync),
        DispatchMethod<&IZynScheduledTaskHandler::CancelTask>(L"CancelTask", kDispidCancelTask),
    };
    return kMembers;
}

void CZynCmdLineTaskHandler::FinalRelease() {
    {
        const ScopedLock lock(m_csHandler);
        m_bAlive = false;
    }
    m_evWake.Set();
    CancelTask();
    // Ended here rather than in the destructor, so that an event the thread is firing still
    // finds the whole object.
    EndThread();
    m_events.UnadviseAll();
}

HRESULT CZynCmdLineTaskHandler::ProcessTask(BSTR bstrTaskGuid, BSTR bstrTaskXml) {
    HRESULT parametersResult = S_OK;
    GuardFailure failure;
    const HRESULT hr = RunGuarded(Names(L"ProcessTask"), failure, [&] {
        std::shared_ptr<SpawnedProcess> process;
        {
            const ScopedLock lock(m_csHandler);
            parametersResult = BeginTask(false, bstrTaskGuid, bstrTaskXml);
            if (FAILED(parametersResult)) {
                TraceFailedReturn(kProcessTaskReturnLine, parametersResult);
                return;
            }
            process = CreateTaskProcess(L"Creating process for task ");
        }
        CEReportEventFormat(CE_SEVERITY_TRACE, kLogSource,
                            L"Waiting for process for task %ls to complete.",
                            std::wstring(TextOf(bstrTaskGuid)).c_str());
        WaitForProgram(*process, false);
        Fire_OnTaskStatus(ST_TASK_COMPLETED);  // whatever the exit code
        CloseProcessHandles();
    });
    if (FAILED(hr)) {
        CloseProcessHandles();
    }
    return FinishStart(parametersResult, hr, failure);
}

HRESULT CZynCmdLineTaskHandler::ProcessTaskAsync(BSTR bstrTaskGuid, BSTR bstrTaskXml) {
    HRESULT parametersResult = S_OK;
    GuardFailure failure;
    const HRESULT hr = RunGuarded(Names(L"ProcessTaskAsync"), failure, [&] {
        const ScopedLock lock(m_csHandler);
        parametersResult = BeginTask(true, bstrTaskGuid, bstrTaskXml);
        if (FAILED(parametersResult)) {
            TraceFailedReturn(kProcessTaskAsyncReturnLine, parametersResult);
            return;
        }
        CreateTaskProcess(L"Creating process async for task ");
        if (m_bThreadSuspended) {
            m_bThreadSuspended = false;
            ResumeThread();
        }
    });
    // The handles stay open: the thread may already be waiting on the program.
    return FinishStart(parametersResult, hr, failure);
}

HRESULT CZynCmdLineTaskHandler::CancelTask() {
    bool hadHandle = false;
    GuardFailure failure;
    const HRESULT hr =
        RunGuarded(Names(L"CancelTask"), failure, [&] { TerminateRunningProcess(hadHandle); });
    // A failed termination still ends the task for the sinks and closes the handles.
    if (hadHandle) {
        Fire_OnTaskStatus(ST_TASK_CANCELLED);
    }
    CloseProcessHandles();
    if (FAILED(hr)) {
        ReportAutomationFailure(failure, kIdentity);
    }
    return hr;
}

HRESULT CZynCmdLineTaskHandler::Process() {
    GuardFailure failure;
    const HRESULT hr = RunGuarded(Names(L"DoProcess"), failure, [this] { DoProcess(); });
    if (FAILED(hr)) {
        ReportAutomationFailure(failure, kIdentity);
        return hr;  // the thread framework reports it too and runs the next cycle
    }
    WaitForRelease();  // one status per task: nothing more to do until the object goes
    return S_OK;
}

HRESULT CZynCmdLineTaskHandler::LoadProcessParameters(BSTR bstrTaskXml) {
    GuardFailure failure;
    const HRESULT hr = RunGuarded(Names(L"LoadProcessParameters"), failure, [&] {
        const ScopedLock lock(m_csHandler);
        XmlDocument document;
        std::wstring reason;
        if (!document.Load(TextOf(bstrTaskXml), reason)) {
            CEThrowError(E_FAIL, FormatText(kMessageCapacity,
                                            L"Failed to load task xml into XMLDOM. Error %ls.",
                                            reason.c_str()));
        }
        const XmlNode application = document.SelectSingle(L"//ApplicationName");
        if (!application) {
            CEThrowError(E_FAIL, L"ApplicationName node doesn't exist");
        }
        const XmlNode parameters = document.SelectSingle(L"//Parameters");
        // The quotes and the space are written whatever the texts hold: a task without
        // parameters ends in a space, and an application in quotes gets a second pair.
        m_bstrCommandLine =
            L"\"" + application.Text() + L"\" " + (parameters ? parameters.Text() : L"");
        if (const XmlNode directory = document.SelectSingle(L"//WorkingDirectory")) {
            m_bstrWorkingDirectory = directory.Text();
        }
    });
    if (FAILED(hr)) {
        ReportAutomationFailure(failure, kIdentity);
        const ScopedLock lock(m_csHandler);
        m_startFailure = failure.message;
    }
    return hr;
}

HRESULT CZynCmdLineTaskHandler::BeginTask(bool async, BSTR bstrTaskGuid, BSTR bstrTaskXml) {
    m_bAsync = async;
    m_bstrTaskGuid = CBstr(TextOf(bstrTaskGuid));
    return LoadProcessParameters(bstrTaskXml);
}

std::shared_ptr<SpawnedProcess> CZynCmdLineTaskHandler::CreateTaskProcess(
    const wchar_t* logPrefix) {
    const std::wstring announcement = logPrefix + std::wstring(m_bstrTaskGuid.View()) +
                                      L" Command: " + m_bstrCommandLine + L" WorkFolder: " +
                                      m_bstrWorkingDirectory;
    CEReportEvent(CE_SEVERITY_INFORMATION, kLogSource, announcement.c_str());
    std::shared_ptr<OutputPipe> output = OutputPipe::Open(kKeptOutputBytes);
    if (!output) {
        CEThrowError(HRESULT_FROM_WIN32(GetLastError()),
                     L"Failed to make a pipe for the output of " + m_bstrCommandLine);
    }
    // An empty working directory keeps ours.
    std::shared_ptr<SpawnedProcess> process =
        SpawnedProcess::Start(m_bstrCommandLine, m_bstrWorkingDirectory, output.get());
    if (!process) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        CEThrowError(hr, L"Create process failed to create " + m_bstrCommandLine);
    }
    output->CloseWriteEnd();
    m_processInfo = {process, false};
    m_program = process;
    m_output = std::move(output);
    m_terminated = false;
    m_startFailure.clear();
    return process;
}

HRESULT CZynCmdLineTaskHandler::FinishStart(HRESULT parametersResult, HRESULT hr,
                                            const GuardFailure& failure) {
    if (FAILED(parametersResult)) {
        return parametersResult;
    }
    if (FAILED(hr)) {
        ReportAutomationFailure(failure, kIdentity);
        {
            const ScopedLock lock(m_csHandler);
            m_startFailure = failure.message;
        }
        Fire_OnTaskStatus(ST_TASK_FAILED);
    }
    return hr;
}

void CZynCmdLineTaskHandler::DoProcess() {
    if (KillEvent.Lock(0)) {
        return;
    }
    std::shared_ptr<SpawnedProcess> process;  // the waits below keep the program object
    bool closed = false;
    bool async = false;
    bool alive = false;
    std::wstring taskGuid;
    {
        const ScopedLock lock(m_csHandler);
        process = m_processInfo.hProcess;
        closed = m_processInfo.closed;
        async = m_bAsync;
        alive = m_bAlive;
        taskGuid = m_bstrTaskGuid.View();
    }
    // A task cancelled before this thread first looked has had its handle closed: the cancel
    // has reported the end, and there is no program left to watch.
    if (!alive || closed) {
        WaitForRelease();
        return;
    }
    TaskStatus status = ST_TASK_FAILED;
    if (async) {
        if (ExitCodeOf(process.get()) == STILL_ACTIVE) {
            CEReportEventFormat(CE_SEVERITY_TRACE, kLogSource,
                                L"Waiting for process for task %ls to complete async.",
                                taskGuid.c_str());
            if (!WaitForProgram(*process, true)) {
                return;  // the object is going: whoever releases it reports the end
            }
            CEReportEventFormat(CE_SEVERITY_INFORMATION, kLogSource,
                                L"Process for task %ls stopped async.", taskGuid.c_str());
        }
        status = ST_TASK_COMPLETED;  // whatever the exit code
    }
    Fire_OnTaskStatus(status);
}

void CZynCmdLineTaskHandler::TerminateRunningProcess(bool& hadHandle) {
    const ScopedLock lock(m_csHandler);
    hadHandle = !m_processInfo.closed;
    if (!hadHandle) {
        return;
    }
    SpawnedProcess* process = m_processInfo.hProcess.get();
    if (ExitCodeOf(process) != STILL_ACTIVE) {
        return;  // ended by itself: left alone
    }
    // A refused termination needs no entry of its own: the exit code read next tells.
    m_terminated = process->Terminate(kCancelledExitCode);
    const DWORD exitCode = ExitCodeOf(process);
    if (exitCode != kCancelledExitCode) {
        const HRESULT hr = HRESULT_FROM_WIN32(static_cast<LONG>(exitCode));
        CEThrowError(hr, FormatText(kMessageCapacity, L"Process returned failed %lx.",
                                    static_cast<unsigned long>(static_cast<DWORD>(hr))));
    }
}

// The program's end comes before its output in the wait, so the last output is taken once the
// program has ended; a program that passed its output on to programs of its own that outlive it
// is not waited for beyond that. Output that comes slowly is let gather for a moment between
// drains: woken for every write, the drainer would cost a program writing in small pieces more
// than the pipe itself does.
bool CZynCmdLineTaskHandler::WaitForProgram(SpawnedProcess& process, bool stoppable) {
    std::shared_ptr<OutputPipe> output;
    {
        const ScopedLock lock(m_csHandler);
        output = m_output;
    }
    bool gathering = false;
    for (;;) {
        std::vector<WaitableObject*> objects{&process};
        if (stoppable) {
            objects = {&KillEvent.Handle(), &process, &m_evWake.Handle()};
        }
        if (output && !gathering) {
            objects.push_back(output.get());
        }
        const DWORD woken = WaitAny(objects, gathering ? kOutputGatheringMs : INFINITE);
        gathering = false;
        if (woken == WAIT_TIMEOUT) {
            continue;
        }
        WaitableObject* winner = woken < objects.size() ? objects[woken] : &process;
        if (winner == output.get()) {
            if (!DrainOutput(*output, gathering)) {
                output.reset();
            }
            continue;
        }
        if (winner == &process && output) {
            DrainOutput(*output, gathering);
        }
        return winner == &process;
    }
}

bool CZynCmdLineTaskHandler::DrainOutput(OutputPipe& output, bool& comesSlowly) {
    const ScopedLock lock(m_csHandler);
    const bool open = output.Drain();
    comesSlowly = open && output.ComesSlowly();
    return open;
}

// What the program left is read here too: a cancelled program's last output may still be in the
// pipe when its end is reported.
void CZynCmdLineTaskHandler::GetRunEnd(RunEnd& end) {
    const ScopedLock lock(m_csHandler);
    if (!m_startFailure.empty()) {
        end.outcome = RunOutcome::StartFailed;
        end.detail = m_startFailure;
        return;
    }
    DWORD exitCode = STILL_ACTIVE;
    if (!m_program || !m_program->ExitCode(exitCode) || exitCode == STILL_ACTIVE) {
        return;  // no program, or its end is not known
    }
    const int signal = m_program->EndingSignal();
    end.detail.clear();
    end.outcome = m_terminated  ? RunOutcome::Cancelled
                  : signal != 0 ? RunOutcome::Signalled
                                : RunOutcome::Exited;
    if (signal != 0 && !m_terminated) {
        end.signal = signal;
    } else {
        end.exitCode = exitCode;
    }
    if (m_output) {
        m_output->Drain();
        end.output = m_output->Tail().Bytes();
        end.outputBytes = m_output->Tail().TotalBytes();
    }
}

void CZynCmdLineTaskHandler::WaitForRelease() {
    WaitAny({&KillEvent.Handle(), &m_evWake.Handle()}, INFINITE);
}

void CZynCmdLineTaskHandler::CloseProcessHandles() {
    const ScopedLock lock(m_csHandler);
    m_processInfo.hProcess.reset();  // a waiter still holds the program object
    m_processInfo.closed = true;
}

void CZynCmdLineTaskHandler::EndThread() {
    {
        const ScopedLock lock(m_csHandler);
        // Stop resumes a thread that was never resumed once StopEvent is set, so such a thread
        // leaves without running a cycle.
        m_bThreadSuspended = false;
    }
    Stop();
}

void CZynCmdLineTaskHandler::Fire_OnTaskStatus(TaskStatus status) {
    const ScopedLock lock(m_csHandler);
    VARIANT arguments[2]{};  // the platform's order: the last argument first
    arguments[0].vt = VT_I4;
    arguments[0].lVal = status;
    arguments[1].vt = VT_BSTR;
    arguments[1].bstrVal = m_bstrTaskGuid.Get();  // lent for the calls; the lock keeps it
    DISPPARAMS params{arguments, nullptr, 2, 0};
    try {
        m_events.FireDispatch(DISPID_OnTaskStatus, params);
    } catch (...) {
        // Only listing the sinks can throw, and only bad_alloc: the event is lost, as when a
        // sink fails, and the caller's own result stands.
    }
}
