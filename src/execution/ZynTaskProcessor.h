// A task processor: one worker of the engine's pool. Its thread ("CZynTaskProcessor Thread")
// takes queued tasks off the engine's execution queue one at a time, creates each task's
// handler from the ProgID the task document names ("//HandlerCLSID", by default the
// command-line handler), connects to the handler's events, starts the handler (asynchronously
// when the handler fires events, else synchronously) and counts the task as finished at the
// handler's first OnTaskStatus. The engine asks it whether a task still runs here
// (GetTaskStatus) and has it cancel one task, pause, resume or stop. Every run it starts is a
// RunInProgress of the engine's run keeper, finished by whatever ends it first (the handler's
// event, a cancel, a start that failed) with what the handler can tell (IZynRunReport).
//
// Ownership: made by the engine through CoZynTaskProcessor, which resumes the thread; one made
// by a class factory has no engine and its thread never runs. The processor holds a counted
// reference to its engine and one to every handler it has given a task until that handler is
// let go of: by GetTaskStatus once the handler has reported the end, or by a cancel. The final
// release cancels every handler, ends the thread and drops the engine.
//
// Failures: the interface methods answer an HRESULT, put the failure into the caller's error
// record (IID_IZynTaskProcessor) and log it under "CZynTaskProcessor"; a failed run is logged
// and the worker goes on with the next task.
//
// Thread safety and why nothing here can deadlock. Locks, in order: m_csState (the worker's
// flags and the task it runs), m_csFinished (tasks whose handlers have reported their end),
// m_csHandlers (the handlers and the event cookie). Each is held only to read or change what
// it guards: never while calling the engine, a handler, a connection point or the task log,
// never while waiting, never while ending a thread. From that:
// - The engine asks GetTaskStatus and has CancelTask done while it holds its main lock (the
//   scheduler thread, the task-list refresh, a client's run-now). Both take only the short
//   locks above and call a handler (Unadvise, CancelTask, the last Release, which ends the
//   handler's thread) after leaving them. A handler's thread meanwhile needs nothing but its
//   own lock, its program's end and, through the sink, the short locks above; none of that
//   waits for the main lock, so both methods return whatever the caller holds.
// - The worker asks the engine for its work folder and logging switch (main lock) while a run
//   is under way, but holds no processor lock then. GetTaskStatus does not wait for a run: the
//   worker names the task it runs in m_bstrCurrentTask from the start of ExecuteHandler until
//   the handler call has returned (a synchronous handler's whole run included), by which time
//   the handler map holds a handler still running; Pause asks the thread to park instead of
//   waiting for the run to end.
// - A handler fires OnTaskStatus holding its own lock, and the sink then takes m_csFinished
//   and m_csHandlers. A cancel takes the handler out of the map under m_csHandlers and calls
//   it only after leaving the lock, so the handler's lock is only ever taken before ours,
//   never after.
// - A paused worker parks at its next wait (Thread.h): the top of its cycle, or inside a
//   synchronous handler waiting for its program. It holds no lock of the engine (the queue
//   lock included: ProcessNextEvent has no wait) or of this object at either point.
// - Stop and the final release wait for the worker thread, which may be waiting for the
//   engine's main lock: neither may be called with the main lock held. The engine stops its
//   processors and lets go of them outside the main lock (CZynWorkerPool).
#pragma once

#include <list>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "engine/ZynTaskSchedulerThread.h"
#include "execution/ZynTaskHandlerEventSink.h"
#include "support/AtlCriticalSection.h"
#include "support/AtlEvent.h"
#include "support/CEThread.h"
#include "support/ComObject.h"
#include "support/DispatchImpl.h"
#include "support/SupportErrorInfo.h"
#include "support/ThreadAnnotations.h"

class CZynTaskProcessor : public CObjectRoot,
                          public CDispatchImpl<IZynTaskProcessor, CZynTaskProcessor>,
                          public CSupportErrorInfo<IID_IZynTaskProcessor>,
                          public CCEThread {
public:
    using Interfaces = InterfaceTable<Implements<IID_IZynTaskProcessor, IZynTaskProcessor>,
                                      Implements<IID_IDispatch, IDispatch, IZynTaskProcessor>,
                                      Implements<IID_ISupportErrorInfo, ISupportErrorInfo>>;

    static constexpr const wchar_t* kThreadName = L"CZynTaskProcessor Thread";
    static constexpr const wchar_t* kLogSource = L"CZynTaskProcessor";
    // The handler of a task document that names none: the command-line handler.
    static constexpr const wchar_t* kDefaultHandlerProgId = L"Kalvane.ZynCmdLineTaskHandler";
    // The cookie of a handler that is not connected; never a connection's cookie.
    static constexpr DWORD kUnconnected = 0;

    // As a class factory makes it: without an engine, its thread never runs.
    CZynTaskProcessor();
    // The engine's processor `processorId`; the thread waits to be resumed (StartWorker).
    CZynTaskProcessor(CountedPtr<CZynTaskSchedulerThread> engine, DWORD processorId);

    static std::span<const DispatchMember<IZynTaskProcessor>> DispatchMembers();
    // Called by CoZynTaskProcessor once the object is complete.
    void StartWorker() { ResumeThread(); }
    void FinalRelease();

    HRESULT GetTaskStatus(BSTR bstrTaskGuid, LONG* status) override;
    HRESULT CancelTask(BSTR bstrTaskGuid) override;
    HRESULT Resume() override;
    HRESULT Pause() override;
    HRESULT Stop() override;

    // The sink's event: the first one for a task held here marks that task finished.
    HRESULT OnTaskStatus(BSTR bstrId, LONG status);

    // One cycle of the worker: waits for a queued task (or the end) and runs it.
    HRESULT DoProcess();
    // Runs one task's handler; a failure is logged and answered.
    HRESULT ExecuteHandler(const std::wstring& xml, const std::wstring& taskGuid,
                           const RunTicket& ticket);
    // The ProgID of the task's handler; raises when the document does not load.
    std::wstring GetHandlerCLSID(std::wstring_view xml);
    HRESULT CreateHandlerInstance(const std::wstring& progId,
                                  ComPtr<IZynScheduledTaskHandler>& handler);
    // Lets go of every handler, each cancelled first, and forgets the finished tasks.
    HRESULT CancelTasks();
    // Lets go of the handlers of finished tasks.
    HRESULT DeleteTaskHandlers();

protected:
    HRESULT Process() override { return DoProcess(); }
    int GetComApartment() override { return 2; }

private:
    // A handler of a task this processor started, with the cookie of its connection to the
    // sink. Each handler keeps its own cookie, so that a handler still running (or silent) never
    // stops the processor from connecting to the next one. Taken out of the map, it is let go
    // of with no lock held (LetGo).
    struct HandlerEntry {
        ComPtr<IZynScheduledTaskHandler> handler;
        DWORD cookie = kUnconnected;
        std::shared_ptr<RunInProgress> run;
    };
    using HandlerMap = std::map<std::wstring, HandlerEntry>;
    class CurrentTaskScope;

    bool IsActive();
    bool IsPaused();
    void RunNextTask(CAtlSemaphore& queued);
    // Connects the sink to the handler: the connection's cookie, kUnconnected when the handler
    // fires no events. Raises when the connection fails.
    DWORD ConnectEventSink(IZynScheduledTaskHandler& handler);
    void RememberHandler(const std::wstring& taskGuid, HandlerEntry entry);
    // Starts the handler: the result of ProcessTaskAsync, or of a synchronous ProcessTask whose
    // end this processor reports itself (raising when it failed).
    HRESULT RunHandler(IZynScheduledTaskHandler& handler, bool connected,
                       const std::wstring& taskGuid, const std::wstring& xml);
    // The run time into the task log (when the engine holds its folder and logs) and the log.
    void RecordRun(const std::wstring& taskGuid, const SYSTEMTIME& local, DATE now);
    HandlerEntry TakeHandler(HandlerMap::iterator at) EXCLUSIVE_LOCKS_REQUIRED(m_csHandlers);
    // Disconnects the sink, cancels the task when asked to, finishes its run (as its handler
    // reported it, else as cancelled) and drops the reference.
    static void LetGo(HandlerEntry taken, bool cancel);
    // How a run ended as a handler's status says it.
    static RunEnd EndOfStatus(LONG status);
    // Finishes the run with `end`, or with what the handler tells of it when it can.
    static void FinishRun(RunInProgress& run, IZynScheduledTaskHandler* handler, RunEnd end);
    void EndThread();

    const CountedPtr<CZynTaskSchedulerThread> m_pScheduler;  // null when made by a factory
    const DWORD m_nProcessorId = 0;

    CAtlCriticalSection m_csState ACQUIRED_BEFORE(m_csFinished);
    bool m_bActive GUARDED_BY(m_csState) = true;
    bool m_bPaused GUARDED_BY(m_csState) = false;
    // Set when Stop or the final release begins ending the thread: from then on Pause and
    // Resume leave the thread alone.
    bool m_bStopped GUARDED_BY(m_csState) = false;
    std::wstring m_bstrCurrentTask GUARDED_BY(m_csState);
    CAtlEvent m_evWake{FALSE, TRUE};
    // Set when a task of this processor reports its end (automatic reset).
    CAtlEvent m_evFinished{FALSE, FALSE};

    CAtlCriticalSection m_csFinished ACQUIRED_BEFORE(m_csHandlers);
    std::list<std::wstring> m_lstFinished GUARDED_BY(m_csFinished);

    CAtlCriticalSection m_csHandlers;
    // Ordinal order of the identities; a missing identity is the empty one.
    HandlerMap m_mapHandlers GUARDED_BY(m_csHandlers);

    CZynTaskHandlerEventSink<CZynTaskProcessor> m_sink{*this};
};
