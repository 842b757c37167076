// The command-line task handler, the one the library ships: a task whose document names no
// other handler is run by it. It reads the program ("//ApplicationName"), its arguments
// ("//Parameters") and its working directory ("//WorkingDirectory") from the task XML, starts
// the program and reports its end to every connected sink through OnTaskStatus
// (DIID_IZynScheduledTaskHandlerEvents). ProcessTask waits for the program on the caller's
// thread; ProcessTaskAsync starts it and leaves the waiting to the handler's own thread
// ("CZynCmdLineTaskHandler Thread", lowest priority), which the first asynchronous start
// resumes. CancelTask ends the program's whole process group with exit code 20. Any program
// that has ended counts as completed, whatever its exit code. The program's standard output and
// error go into a pipe that whichever thread waits for the program drains, keeping the last
// 16 KiB; IZynRunReport tells them, with how the program ended, to the task processor.
//
// Ownership: made by the object framework as CComInstance<CZynCmdLineTaskHandler>, plain or
// aggregated; a server library lists it with
// ClassEntryOf<CZynCmdLineTaskHandler>(CLSID_ZynCmdLineTaskHandler). One instance runs one
// task. The final release terminates a program that still runs, ends the handler's thread and
// lets go of the sinks.
//
// Failures: every method answers an HRESULT and lets no exception out; a failure is logged at
// error severity under "Command Line COM event handler" and put into the caller's error record
// (IID_IZynScheduledTaskHandler, the class's ProgID).
//
// Thread safety: free-threaded. m_csHandler (recursive) guards the state and is held while an
// event is fired, on whichever thread fires it: the caller of a method or of the final
// release, or the handler's thread; and while the program's output is drained (a bounded read
// that waits for nothing) by whichever thread waits for the program. Being recursive, it lets a
// sink call back into this handler from inside OnTaskStatus on the firing thread (CancelTask from
// the event, say). What it cannot survive is a lock cycle across threads: a thread that holds a
// lock L and calls into the handler waits for m_csHandler, while the firing thread holds
// m_csHandler and its sink waits for L. The task processor's sink takes the processor's handler-map
// lock, so a processor that called CancelTask with that lock held could meet the handler's thread
// firing the end of the task the other way round. The rule the processor (and any caller) must
// follow is therefore: never call CancelTask, or drop the last reference (which cancels and waits
// for the handler's thread), while holding a lock that the sink's OnTaskStatus takes; take the
// handler out of the map under the lock, leave the lock, then call. With that rule kept, firing
// under m_csHandler cannot deadlock with a cancel: the cancelling thread holds nothing the sink
// needs when it waits for m_csHandler. (Advise and Unadvise take only the connection point's list
// lock and are safe under any lock.) This class keeps its side: while it holds m_csHandler it calls
// out only to fire, and takes no other lock but the connection point's list lock and the started
// program's bookkeeping, neither of which is held while anybody is called. A sink must not wait
// inside OnTaskStatus for a thread that is calling into this handler, and must not drop the last
// reference to the handler from inside an event fired by the handler's own thread (the final
// release ends that thread and waits for it).
#pragma once

#include <memory>
#include <span>
#include <string>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "execution/ZynRunReport.h"
#include "platform/OutputPipe.h"
#include "platform/SpawnedProcess.h"
#include "support/AtlCriticalSection.h"
#include "support/AtlEvent.h"
#include "support/CEThread.h"
#include "support/ComObject.h"
#include "support/ConnectionPointContainer.h"
#include "support/DispatchImpl.h"
#include "support/MethodGuard.h"
#include "support/SupportErrorInfo.h"
#include "support/ThreadAnnotations.h"

class CZynCmdLineTaskHandler
    : public CObjectRoot,
      public CDispatchImpl<IZynScheduledTaskHandler, CZynCmdLineTaskHandler>,
      public CSupportErrorInfo<IID_IZynScheduledTaskHandler>,
      public CConnectionPointContainer,
      public IZynRunReport,
      public CCEThread {
public:
    using Interfaces =
        InterfaceTable<Implements<IID_IZynScheduledTaskHandler, IZynScheduledTaskHandler>,
                       Implements<IID_IDispatch, IDispatch, IZynScheduledTaskHandler>,
                       Implements<IID_ISupportErrorInfo, ISupportErrorInfo>,
                       Implements<IID_IConnectionPointContainer, IConnectionPointContainer>,
                       Implements<IID_IZynRunReport, IZynRunReport>>;

    static constexpr const wchar_t* kThreadName = L"CZynCmdLineTaskHandler Thread";
    static constexpr const wchar_t* kLogSource = L"Command Line COM event handler";
    // The exit code a cancelled program reports.
    static constexpr DWORD kCancelledExitCode = 20;
    // How much of a program's output its run record keeps: the last bytes.
    static constexpr std::size_t kKeptOutputBytes = 16 * 1024;

    CZynCmdLineTaskHandler();
    ~CZynCmdLineTaskHandler() override;

    static std::span<const DispatchMember<IZynScheduledTaskHandler>> DispatchMembers();
    // The last reference is going: no more work for the thread, the program is cancelled, the
    // thread ended, the sinks let go.
    void FinalRelease();

    HRESULT ProcessTask(BSTR bstrTaskGuid, BSTR bstrTaskXml) override;
    HRESULT ProcessTaskAsync(BSTR bstrTaskGuid, BSTR bstrTaskXml) override;
    HRESULT CancelTask() override;

    void GetRunEnd(RunEnd& end) override;

protected:
    // One cycle of the handler's thread: DoProcess, then sleep until the object goes.
    HRESULT Process() override;
    int GetComApartment() override { return 2; }  // the multithreaded apartment

private:
    // The started program as the handler holds it. The handle is zero until a program is
    // started and closed (the invalid-handle value) when no longer needed. A waiter holds a
    // reference of its own, so that a handle closed while somebody waits on the program
    // leaves the program object valid until that wait has ended. (The system's record also
    // carries the thread handle and the ids, which nothing here reads.)
    struct ProcessInformation {
        std::shared_ptr<SpawnedProcess> hProcess;  // null for the zero and the closed handle
        bool closed = false;
    };

    // Builds m_bstrCommandLine and m_bstrWorkingDirectory from the task XML; a failure is
    // logged and put into the caller's error record before it is answered.
    HRESULT LoadProcessParameters(BSTR bstrTaskXml);
    // Steps shared by both start methods up to reading the parameters.
    HRESULT BeginTask(bool async, BSTR bstrTaskGuid, BSTR bstrTaskXml)
        EXCLUSIVE_LOCKS_REQUIRED(m_csHandler);
    // Starts m_bstrCommandLine, logging `logPrefix` and the task first; raises the start
    // failure.
    std::shared_ptr<SpawnedProcess> CreateTaskProcess(const wchar_t* logPrefix)
        EXCLUSIVE_LOCKS_REQUIRED(m_csHandler);
    // The end of a start method. A failure to read the parameters has been reported by
    // LoadProcessParameters and goes back as it stands, without an event; any other failure
    // of the method is reported here and ends the task as failed for the sinks.
    HRESULT FinishStart(HRESULT parametersResult, HRESULT hr, const GuardFailure& failure);
    // Waits for the program when the handler runs asynchronously and fires the status.
    void DoProcess();
    // Step one of CancelTask: terminates the program when it still runs; raises when its exit
    // code cannot be read or is not the cancelled one afterwards. `hadHandle` tells whether
    // the handle was still open.
    void TerminateRunningProcess(bool& hadHandle);
    // Waits for the program to end, draining its output meanwhile; with `stoppable`, false when
    // the thread's kill or wake event came first.
    bool WaitForProgram(SpawnedProcess& process, bool stoppable);
    // Takes what the program wrote so far, telling whether it comes slowly; false once its
    // output has ended.
    bool DrainOutput(OutputPipe& output, bool& comesSlowly);
    void WaitForRelease();
    void CloseProcessHandles();
    void EndThread();

    // OnTaskStatus with m_bstrTaskGuid and `status` to every sink, m_csHandler held.
    void Fire_OnTaskStatus(TaskStatus status);

    CAtlCriticalSection m_csHandler;
    bool m_bAlive GUARDED_BY(m_csHandler) = true;
    bool m_bThreadSuspended GUARDED_BY(m_csHandler) = true;
    CAtlEvent m_evWake{FALSE, TRUE};
    bool m_bAsync GUARDED_BY(m_csHandler) = false;
    CBstr m_bstrTaskGuid GUARDED_BY(m_csHandler);
    std::wstring m_bstrCommandLine GUARDED_BY(m_csHandler);
    std::wstring m_bstrWorkingDirectory GUARDED_BY(m_csHandler);
    ProcessInformation m_processInfo GUARDED_BY(m_csHandler);
    // The last program started and its output, kept for the run's report after the handles
    // are closed; the output is drained by whoever waits for the program, under m_csHandler.
    std::shared_ptr<SpawnedProcess> m_program GUARDED_BY(m_csHandler);
    std::shared_ptr<OutputPipe> m_output GUARDED_BY(m_csHandler);
    bool m_terminated GUARDED_BY(m_csHandler) = false;    // CancelTask ended the program
    std::wstring m_startFailure GUARDED_BY(m_csHandler);  // why the program did not start
    CConnectionPoint m_events{*this, DIID_IZynScheduledTaskHandlerEvents};
};
