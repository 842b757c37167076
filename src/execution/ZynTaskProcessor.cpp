#include "execution/ZynTaskProcessor.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/Connections.h"
#include "ZynTaskSchedulerLib/Surrogate.h"
#include "ZynTaskSchedulerLib/WorkFolder.h"
#include "execution/ZynCmdLineTaskHandler.h"
#include "execution/ZynRunReport.h"
#include "platform/LastError.h"
#include "platform/Path.h"
#include "platform/Wait.h"
#include "platform/WallClock.h"
#include "platform/WideText.h"
#include "platform/XmlDocument.h"
#include "support/LogCall.h"
#include "support/MethodGuard.h"
#include "support/ScopedLock.h"
#include "support/ThrowError.h"
#include "tasks/ZynTaskLog.h"

namespace {

constexpr const wchar_t* kClassName = L"CZynTaskProcessor";
const AutomationIdentity kIdentity{IID_IZynTaskProcessor, kProgIdZynTaskProcessor,
                                   CZynTaskProcessor::kLogSource};

// The agent's log readers know a run whose start time could not be read by this location.
constexpr const char* kFailedReturnFile = "ZynTaskProcessor";
constexpr int kStartTimeReturnLine = 259;

constexpr std::size_t kMessageCapacity = 4096;

constexpr DISPID kDispidGetTaskStatus = 1;
constexpr DISPID kDispidCancelTask = 2;
constexpr DISPID kDispidResume = 3;
constexpr DISPID kDispidPause = 4;
constexpr DISPID kDispidStop = 5;

// Thrown when a second handler would be connected while the first still is: the connection
// helper reports it as an exception of its own, which no guard knows (an unexpected one).

GuardNames Names(const wchar_t* member) {
    return {kClassName, member};
}

GuardNames ControlNames(const wchar_t* member) {
    return {kClassName, member, GuardStyle::Control};
}

std::wstring TextOf(BSTR text) {
    return {text == nullptr ? L"" : text, SysStringLen(text)};
}

template <class T>
void** Out(ComPtr<T>& pointer) {
    return reinterpret_cast<void**>(pointer.Receive());
}

// The built-in handler lives in this library: when the registry does not know its ProgID
// (this library is in use without having been registered, as in a host that links it), it is
// made here directly rather than the task failing for want of a registration.
bool IsBuiltInHandler(const std::wstring& progId) {
    return progId == CZynTaskProcessor::kDefaultHandlerProgId ||
           progId == kProgIdZynCmdLineTaskHandler;
}

HRESULT CreateBuiltInHandler(ComPtr<IZynScheduledTaskHandler>& handler) {
    return CComInstance<CZynCmdLineTaskHandler>::Create(nullptr, IID_IZynScheduledTaskHandler,
                                                        Out(handler));
}

// The last resort for a class without a server of its own: a surrogate host loads its
// library, and the class is asked for once more as a local server. The answer is that of the
// last creation, or the surrogate's failure.
HRESULT CreateInSurrogate(const CLSID& clsid, HRESULT lastCreation,
                          ComPtr<IZynScheduledTaskHandler>& handler) {
    ComPtr<ISurrogate> surrogate;
    const HRESULT hr = CoCreateInstance(APPID_ZynTaskSchedulerSurrogate, nullptr,
                                        CLSCTX_LOCAL_SERVER, IID_ISurrogate, Out(surrogate));
    if (FAILED(hr)) {
        return hr;
    }
    if (SUCCEEDED(surrogate->LoadDllServer(clsid))) {
        lastCreation = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER,
                                        IID_IZynScheduledTaskHandler, Out(handler));
    }
    return lastCreation;
}

// The handler's connection point for its events, E_NOINTERFACE when it fires none.
HRESULT FindEventPoint(IZynScheduledTaskHandler& handler, ComPtr<IConnectionPoint>& point) {
    ComPtr<IConnectionPointContainer> container;
    const HRESULT hr = handler.QueryInterface(IID_IConnectionPointContainer, Out(container));
    if (FAILED(hr)) {
        return hr;
    }
    return container->FindConnectionPoint(DIID_IZynScheduledTaskHandlerEvents, point.Receive());
}

}  // namespace

// Names the task the worker runs from the start of ExecuteHandler until the handler call has
// returned (End) or the run failed before. By then the handler map tells whether it still runs.
class CZynTaskProcessor::CurrentTaskScope {
public:
    CurrentTaskScope(CZynTaskProcessor& processor, const std::wstring& taskGuid)
        : m_processor(processor) {
        const ScopedLock lock(m_processor.m_csState);
        m_processor.m_bstrCurrentTask = taskGuid;
    }
    ~CurrentTaskScope() { End(); }
    void End() {
        const ScopedLock lock(m_processor.m_csState);
        m_processor.m_bstrCurrentTask.clear();
    }
    CurrentTaskScope(const CurrentTaskScope&) = delete;
    CurrentTaskScope& operator=(const CurrentTaskScope&) = delete;

private:
    CZynTaskProcessor& m_processor;
};

CZynTaskProcessor::CZynTaskProcessor() : CCEThread(kThreadName, THREAD_PRIORITY_BELOW_NORMAL) {}

CZynTaskProcessor::CZynTaskProcessor(CountedPtr<CZynTaskSchedulerThread> engine, DWORD processorId)
    : CCEThread(kThreadName, THREAD_PRIORITY_BELOW_NORMAL),
      m_pScheduler(std::move(engine)),
      m_nProcessorId(processorId) {}

std::span<const DispatchMember<IZynTaskProcessor>> CZynTaskProcessor::DispatchMembers() {
    static constexpr DispatchMember<IZynTaskProcessor> kMembers[] = {
        DispatchMethod<&IZynTaskProcessor::GetTaskStatus, VT_I4, In(VT_BSTR)>(L"GetTaskStatus",
                                                                              kDispidGetTaskStatus),
        DispatchMethod<&IZynTaskProcessor::CancelTask, VT_EMPTY, In(VT_BSTR)>(L"CancelTask",
                                                                              kDispidCancelTask),
        DispatchMethod<&IZynTaskProcessor::Resume>(L"Resume", kDispidResume),
        DispatchMethod<&IZynTaskProcessor::Pause>(L"Pause", kDispidPause),
        DispatchMethod<&IZynTaskProcessor::Stop>(L"Stop", kDispidStop),
    };
    return kMembers;
}

// The thread is ended here, while the whole object still stands, rather than in the
// destructor. Handlers are let go of twice: once so that a synchronous run ends and the
// thread can, and again after the thread has ended, for a handler the worker was starting
// meanwhile; after that nothing can call the sink any more.
void CZynTaskProcessor::FinalRelease() {
    {
        const ScopedLock lock(m_csState);
        m_bActive = false;
    }
    m_evWake.Set();
    CancelTasks();
    EndThread();
    CancelTasks();
}

// A paused thread is resumed by the stop itself, after the kill event is set: resumed before,
// it could wake to a queued task instead and run it.
void CZynTaskProcessor::EndThread() {
    {
        const ScopedLock lock(m_csState);
        m_bStopped = true;
        m_bPaused = true;  // a later Pause does nothing
    }
    CCEThread::Stop();
}

// ---- the engine's questions and commands

HRESULT CZynTaskProcessor::GetTaskStatus(BSTR bstrTaskGuid, LONG* status) {
    return GuardAutomationMethod(Names(L"GetTaskStatus"), kIdentity, [&] {
        if (status == nullptr) {
            throw E_POINTER;
        }
        *status = ST_TASK_NOTRUNNING;
        DeleteTaskHandlers();
        const std::wstring identity = TextOf(bstrTaskGuid);
        {
            const ScopedLock lock(m_csState);
            if (!m_bstrCurrentTask.empty() && m_bstrCurrentTask == identity) {
                *status = ST_TASK_RUNNING;
            }
        }
        const ScopedLock lock(m_csHandlers);
        if (m_mapHandlers.find(identity) != m_mapHandlers.end()) {
            *status = ST_TASK_RUNNING;
        }
    });
}

HRESULT CZynTaskProcessor::CancelTask(BSTR bstrTaskGuid) {
    return GuardAutomationMethod(Names(L"CancelTask"), kIdentity, [&] {
        const std::wstring identity = TextOf(bstrTaskGuid);
        std::optional<HandlerEntry> taken;
        {
            const ScopedLock finished(m_csFinished);
            m_lstFinished.remove(identity);
            const ScopedLock handlers(m_csHandlers);
            const auto found = m_mapHandlers.find(identity);
            if (found != m_mapHandlers.end()) {
                taken = TakeHandler(found);
            }
        }
        if (taken) {
            LetGo(std::move(*taken), true);
        }
    });
}

HRESULT CZynTaskProcessor::CancelTasks() {
    return GuardAndLog(Names(L"CancelTasks"), kLogSource, [this] {
        std::vector<HandlerEntry> all;
        {
            const ScopedLock finished(m_csFinished);
            const ScopedLock handlers(m_csHandlers);
            all.reserve(m_mapHandlers.size());
            while (!m_mapHandlers.empty()) {
                all.push_back(TakeHandler(m_mapHandlers.begin()));
            }
            m_lstFinished.clear();
        }
        for (HandlerEntry& taken : all) {
            LetGo(std::move(taken), true);
        }
    });
}

HRESULT CZynTaskProcessor::DeleteTaskHandlers() {
    return GuardAndLog(Names(L"DeleteTaskHandlers"), kLogSource, [this] {
        std::vector<HandlerEntry> finishedHandlers;
        {
            const ScopedLock finished(m_csFinished);
            const ScopedLock handlers(m_csHandlers);
            finishedHandlers.reserve(m_lstFinished.size());
            for (auto task = m_lstFinished.begin(); task != m_lstFinished.end();) {
                const auto found = m_mapHandlers.find(*task);
                if (found == m_mapHandlers.end()) {
                    ++task;
                    continue;
                }
                finishedHandlers.push_back(TakeHandler(found));
                task = m_lstFinished.erase(task);
            }
        }
        for (HandlerEntry& taken : finishedHandlers) {
            LetGo(std::move(taken), false);
        }
    });
}

HRESULT CZynTaskProcessor::Pause() {
    return GuardAutomationMethod(ControlNames(L"Pause"), kIdentity, [this] {
        const ScopedLock lock(m_csState);
        if (!m_bPaused && !m_bStopped) {
            m_bPaused = true;
            SuspendThread();  // the worker parks at its next wait, holding nothing
        }
    });
}

HRESULT CZynTaskProcessor::Resume() {
    return GuardAutomationMethod(ControlNames(L"Resume"), kIdentity, [this] {
        const ScopedLock lock(m_csState);
        if (m_bPaused && !m_bStopped) {
            m_bPaused = false;
            ResumeThread();
        }
    });
}

HRESULT CZynTaskProcessor::Stop() {
    return GuardAutomationMethod(ControlNames(L"Stop"), kIdentity, [this] {
        CancelTasks();
        EndThread();
    });
}

// ---- handler events

// The finished list only ever names tasks whose handlers are in the map: the look-up and the
// entry happen under both locks, so a cancel that takes the handler meanwhile cannot leave
// a stale name behind to release a later run of the same task.
// The run is only noted as ended here: its record asks the handler how it ended, which must
// not happen on the handler's own thread, where a cancel meanwhile could leave this event the
// last reference to the handler. It is finished where the handler is let go of.
HRESULT CZynTaskProcessor::OnTaskStatus(BSTR bstrId, LONG status) {
    return GuardAndLog(Names(L"OnTaskStatus"), kLogSource, [&] {
        const std::wstring identity = TextOf(bstrId);
        const ScopedLock finished(m_csFinished);
        const ScopedLock handlers(m_csHandlers);
        const auto found = m_mapHandlers.find(identity);
        if (found == m_mapHandlers.end()) {
            return;  // not a task of this processor: ignored
        }
        if (found->second.run) {
            found->second.run->NoteEnd(status);
        }
        if (std::find(m_lstFinished.begin(), m_lstFinished.end(), identity) ==
            m_lstFinished.end()) {
            m_lstFinished.push_back(identity);
        }
        m_evFinished.Set();
    });
}

// ---- the worker

bool CZynTaskProcessor::IsActive() {
    const ScopedLock lock(m_csState);
    return m_bActive;
}

// A pause that came while the worker was already past its wait: the count it took is handed
// back rather than a task started after Pause returned.
bool CZynTaskProcessor::IsPaused() {
    const ScopedLock lock(m_csState);
    return m_bPaused;
}

HRESULT CZynTaskProcessor::DoProcess() {
    if (KillEvent.Lock(0)) {
        return S_OK;
    }
    return GuardAndLog(Names(L"DoProcess"), kLogSource, [this] {
        if (!IsActive()) {
            WaitAny({&KillEvent.Handle(), &m_evWake.Handle()}, INFINITE);
            return;
        }
        CAtlSemaphore& queued = m_pScheduler->GetExecutionSemaphore();
        switch (WaitAny(
            {&KillEvent.Handle(), &queued.Handle(), &m_evWake.Handle(), &m_evFinished.Handle()},
            INFINITE)) {
            case WAIT_OBJECT_0:
            case WAIT_OBJECT_0 + 2:
                return;
            case WAIT_OBJECT_0 + 1:
                RunNextTask(queued);
                return;
            case WAIT_OBJECT_0 + 3:
                // Let go of finished handlers (and their threads and processes) now, rather
                // than when the engine next asks about their tasks, maybe a day later.
                DeleteTaskHandlers();
                return;
            default:
                CEThrowError(HRESULT_FROM_WIN32(GetLastError()), L"WaitForMulitpleObjects failed.");
        }
    });
}

void CZynTaskProcessor::RunNextTask(CAtlSemaphore& queued) {
    if (!IsActive() || IsPaused()) {
        // The count stands for an entry this processor will not take now: another one shall,
        // or this one once it is resumed (a paused worker parks at its next wait).
        queued.Release(1, nullptr);
        return;
    }
    std::wstring identity;
    std::wstring xml;
    RunTicket ticket;
    if (!m_pScheduler->ProcessNextEvent(static_cast<LONG>(m_nProcessorId), identity, xml, ticket) ||
        identity.empty()) {
        return;
    }
    const HRESULT hr = ExecuteHandler(xml, identity, ticket);
    if (FAILED(hr)) {
        CEThrowError(hr, L"Failed to execute handler failed.");
    }
}

// A run whose handler failed to start it, and told nothing of its end, is finished here.
HRESULT CZynTaskProcessor::ExecuteHandler(const std::wstring& xml, const std::wstring& taskGuid,
                                          const RunTicket& ticket) {
    CurrentTaskScope current(*this, taskGuid);
    const std::shared_ptr<RunInProgress> run = m_pScheduler->RunKeeper().StartRun(taskGuid, ticket);
    ComPtr<IZynScheduledTaskHandler> handler;
    HRESULT hr = S_OK;
    GuardFailure failure;
    const HRESULT raised = RunGuarded(Names(L"ExecuteHandler"), failure, [&] {
        const std::wstring progId = GetHandlerCLSID(xml);
        if (progId.empty()) {
            CEThrowError(E_FAIL, L"Could not get Prog ID from task");
        }
        const HRESULT created = CreateHandlerInstance(progId, handler);
        if (FAILED(created)) {
            CEThrowError(created, L"Could not create handler instance.");
        }
        const DWORD cookie = ConnectEventSink(*handler.Get());
        const bool connected = cookie != kUnconnected;
        RememberHandler(taskGuid, {handler, cookie, run});
        SYSTEMTIME local{};
        GetLocalTime(&local);
        DATE now = 0;
        if (!SystemTimeToVariantTime(&local, &now)) {
            CETrace(CE_SEVERITY_WARNING, kFailedReturnFile, kStartTimeReturnLine,
                    L"FAILED_RETURN %x", static_cast<unsigned>(E_UNEXPECTED));
            hr = E_UNEXPECTED;  // answered without a message; the handler stays registered
            return;
        }
        hr = RunHandler(*handler.Get(), connected, taskGuid, xml);
        current.End();
        RecordRun(taskGuid, local, now);
    });
    if (FAILED(raised)) {
        hr = raised;
    }
    if (FAILED(hr)) {
        // A handler that reported an end ran the task; one that did not never started it.
        RunEnd end;
        if (const std::optional<LONG> reported = run->ReportedStatus()) {
            end = EndOfStatus(*reported);
        } else {
            end.outcome = RunOutcome::StartFailed;
        }
        const std::wstring why = !failure.message.empty()
                                     ? failure.message
                                     : FormatText(kMessageCapacity, L"the handler answered 0x%08X",
                                                  static_cast<unsigned>(hr));
        end.detail += (end.detail.empty() ? L"" : L": ") + why;
        FinishRun(*run, handler.Get(), std::move(end));
    }
    handler.Reset();
    if (FAILED(hr)) {
        LogGuardFailure(failure, kLogSource);  // writes nothing when no guard caught anything
    }
    return hr;
}

DWORD CZynTaskProcessor::ConnectEventSink(IZynScheduledTaskHandler& handler) {
    ComPtr<IConnectionPoint> point;
    HRESULT hr = FindEventPoint(handler, point);
    DWORD cookie = kUnconnected;
    if (SUCCEEDED(hr)) {
        hr = point->Advise(&m_sink, &cookie);
    }
    if (hr == E_NOINTERFACE) {
        return kUnconnected;
    }
    if (FAILED(hr)) {
        CEThrowError(
            hr, FormatText(kMessageCapacity,
                           L"Failed to DispEventAdvise on ZynhostTaskHandlerEventsImpl. Error %d",
                           static_cast<int>(hr)));
    }
    return cookie;
}

void CZynTaskProcessor::RememberHandler(const std::wstring& taskGuid, HandlerEntry entry) {
    const ScopedLock lock(m_csHandlers);
    m_mapHandlers.emplace(taskGuid, std::move(entry));  // an entry already there stays as it is
}

HRESULT CZynTaskProcessor::RunHandler(IZynScheduledTaskHandler& handler, bool connected,
                                      const std::wstring& taskGuid, const std::wstring& xml) {
    const CBstr guid(taskGuid);
    const CBstr text(xml);
    if (connected) {
        const HRESULT hr = handler.ProcessTaskAsync(guid.Get(), text.Get());
        if (hr != E_NOTIMPL) {
            return hr;
        }
    }
    const HRESULT hr = handler.ProcessTask(guid.Get(), text.Get());
    OnTaskStatus(guid.Get(), FAILED(hr) ? ST_TASK_FAILED : ST_TASK_COMPLETED);
    if (FAILED(hr)) {
        CEThrowError(hr, L"COM event handler failed");
    }
    return hr;
}

void CZynTaskProcessor::RecordRun(const std::wstring& taskGuid, const SYSTEMTIME& local, DATE now) {
    if (m_pScheduler->HasWorkFolderLock() && m_pScheduler->IsLoggingEnabled()) {
        CZynTaskLog log(JoinPath(m_pScheduler->GetWorkFolder(), kWorkFolderLogsFolderName),
                        taskGuid);
        log.LogLastRunTime(now);
    }
    CEReportEventFormat(CE_SEVERITY_INFORMATION, L"CZynTaskProcessor::ExecuteHandler",
                        L"Executing due task %ls at %02d:%02d:%02d on %02d/%02d/%d\n",
                        taskGuid.c_str(), local.wHour, local.wMinute, local.wSecond, local.wDay,
                        local.wMonth, local.wYear);
}

std::wstring CZynTaskProcessor::GetHandlerCLSID(std::wstring_view xml) {
    XmlDocument document;
    std::wstring reason;
    if (!document.Load(xml, reason)) {
        CEThrowError(
            E_FAIL, FormatText(kMessageCapacity, L"Failed to load task xml into XMLDOM. Error %ls.",
                               reason.c_str()));
    }
    const XmlNode handler = document.SelectSingle(L"//HandlerCLSID");
    return handler ? handler.Text() : kDefaultHandlerProgId;
}

HRESULT CZynTaskProcessor::CreateHandlerInstance(const std::wstring& progId,
                                                 ComPtr<IZynScheduledTaskHandler>& handler) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
    if (FAILED(hr)) {
        return IsBuiltInHandler(progId) ? CreateBuiltInHandler(handler) : hr;
    }
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IZynScheduledTaskHandler, Out(handler));
    if (SUCCEEDED(hr)) {
        return hr;
    }
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IZynScheduledTaskHandler,
                          Out(handler));
    if (SUCCEEDED(hr)) {
        return hr;
    }
    return CreateInSurrogate(clsid, hr, handler);
}

// ---- handlers leaving

CZynTaskProcessor::HandlerEntry CZynTaskProcessor::TakeHandler(HandlerMap::iterator at) {
    HandlerEntry taken = std::move(at->second);
    m_mapHandlers.erase(at);
    return taken;
}

void CZynTaskProcessor::LetGo(HandlerEntry taken, bool cancel) {
    if (!taken.handler) {
        return;
    }
    ComPtr<IConnectionPoint> point;
    if (SUCCEEDED(FindEventPoint(*taken.handler.Get(), point))) {
        point->Unadvise(taken.cookie);  // a handler that was not connected refuses: ignored
    }
    if (cancel) {
        taken.handler->CancelTask();  // its answer does not matter
    }
    if (taken.run) {
        const std::optional<LONG> reported = taken.run->ReportedStatus();
        FinishRun(*taken.run, taken.handler.Get(),
                  EndOfStatus(reported.value_or(ST_TASK_CANCELLED)));
    }
}

RunEnd CZynTaskProcessor::EndOfStatus(LONG status) {
    RunEnd end;
    switch (status) {
        case ST_TASK_COMPLETED:
            end.outcome = RunOutcome::Completed;
            end.detail = L"the handler reported completion; how the task ended is not known";
            break;
        case ST_TASK_FAILED:
            end.outcome = RunOutcome::Failed;
            end.detail = L"the handler reported failure";
            break;
        case ST_TASK_CANCELLED:
            end.outcome = RunOutcome::Cancelled;
            break;
        default:
            end.outcome = RunOutcome::Ended;
            end.detail = L"the handler reported status " + std::to_wstring(status);
    }
    return end;
}

// What the handler can tell of the run goes before what its status said.
void CZynTaskProcessor::FinishRun(RunInProgress& run, IZynScheduledTaskHandler* handler,
                                  RunEnd end) {
    if (run.IsFinished()) {
        return;
    }
    ComPtr<IZynRunReport> report;
    if (handler != nullptr && SUCCEEDED(handler->QueryInterface(IID_IZynRunReport, Out(report)))) {
        report->GetRunEnd(end);
    }
    run.Finish(std::move(end));
}
