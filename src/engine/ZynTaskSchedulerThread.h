// The scheduler engine: its configuration and claim on the work folder, its task list, its
// execution queue and worker pool, the clock-change thread, the run keeper (which writes run
// records, holds runs waiting for the one before and ends runs at their time limit, on a thread
// of its own), and the scheduler thread whose cycle computes every task's next run, sleeps
// until the earliest one (a minute at most), wakes early for folder and clock changes, and
// queues the tasks that are due. Runs, waits, lateness and what was queued already are moments
// on the real time line of the engine's clock (SchedulerClock); schedules meet it through the
// clock's wall-time line. Every due run it turns away, and every run it finds missed after a
// gap (MissedRuns), is handed to the run keeper as a record, never written on its path.
//
// Counted: the scheduler object, task objects, collections, processors and the task list hold
// references. Locks, in order: the main lock (configuration, work folder, enabled state, task
// list and, through the task objects, every task definition), then the worker lock or the
// queue lock, never both, and never the main lock while holding either. The run keeper's lock
// is taken alone or after the main lock; its pass of work takes the main lock, so it never
// starts under it. Operations guard themselves and log under the scheduler thread's name;
// SetConfiguration and SetWorkFolder throw (ComError) to their caller.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/MissedRuns.h"
#include "engine/RunTicket.h"
#include "engine/SchedulerClock.h"
#include "engine/TaskFileTrust.h"
#include "engine/WorkFolderClaim.h"
#include "engine/WorkFolderWatch.h"
#include "engine/ZynEngineObjectFactory.h"
#include "engine/ZynExecutionQueue.h"
#include "engine/ZynRunKeeper.h"
#include "engine/ZynTaskWinMsgThread.h"
#include "engine/ZynTasksList.h"
#include "engine/ZynWorkerPool.h"
#include "platform/ClockWatch.h"
#include "platform/FolderWatch.h"
#include "support/AtlCriticalSection.h"
#include "support/AtlEvent.h"
#include "support/CEThread.h"
#include "support/ThreadAnnotations.h"
#include "tasks/ZynTaskEngine.h"

class CZynTaskSchedulerThread final : public CCEThread, public IZynTaskEngine {
public:
    static constexpr const wchar_t* kThreadName = L"CZynTaskSchedulerThread Thread";
    static constexpr DWORD kMaxWait = 60000;

    // `factory` makes task objects and processors (null: none are made); `timeZoneFile` is
    // the file whose change counts as a change of zone, `openWatch` opens the watch on the work
    // folder (tests give their own).
    explicit CZynTaskSchedulerThread(
        IZynEngineObjectFactory* factory,
        std::wstring_view timeZoneFile = ClockWatch::kSystemTimeZoneFile,
        WorkFolderWatch::Opener openWatch = &FolderWatch::Open);
    ~CZynTaskSchedulerThread() override;

    ULONG AddRef() override { return CCERefCountBase::AddRef(); }
    ULONG Release() override { return CCERefCountBase::Release(); }

    // Configuration and work folder. SetConfiguration and Shutdown let go of task processors,
    // which waits for their threads: neither may be called with the main lock held.
    void SetConfiguration(std::wstring_view document);
    std::wstring GetConfiguration();
    void SetWorkFolder(std::wstring_view folder);
    std::wstring GetWorkFolder() override;
    bool HasWorkFolderLock() override;
    bool IsLoggingEnabled() override;
    DWORD GetMaxExecQueueSize();

    // Life cycle.
    bool Enable();
    void Disable();
    bool IsEnabled();
    void Shutdown();

    // The scheduler thread's cycle.
    HRESULT ProcessTasks();
    DWORD CheckTasks();
    HRESULT ExecuteDueTasks();
    void KillTaskAtEndOfCycle(CZynTaskListElement& element, const std::wstring& identity);
    HRESULT UpdateTaskList();
    // A refresh after the folder watch signalled: only the files it names as changed are looked
    // at, unless it lost some names, when the whole folder is read (and notifications the
    // system dropped are logged).
    HRESULT UpdateTaskListFromChanges();
    bool IsTaskNameTaken(std::wstring_view name, std::wstring_view identity);

    // Execution queue and worker pool. A task queued without a ticket runs as asked for now.
    HRESULT QueueTaskForExecution(IZynTask* task);
    HRESULT QueueTaskForExecution(IZynTask* task, RunTicket ticket);
    bool ProcessNextEvent(LONG processorId, std::wstring& identity, std::wstring& xml);
    // The same with the ticket the run was queued with.
    bool ProcessNextEvent(LONG processorId, std::wstring& identity, std::wstring& xml,
                          RunTicket& ticket);
    CAtlSemaphore& GetExecutionSemaphore() { return m_queue.Semaphore(); }
    bool IsTaskAlreadyRunning(CZynTaskListElement& element, const std::wstring& identity);
    bool IsTaskAlreadyRunning(const std::wstring& identity);
    void CancelTask(const std::wstring& identity);
    HRESULT CreateWorkerThreads(DWORD count);
    // Takes the processors out of the pool; they go at the next ReleaseRetired of the pool,
    // which SetConfiguration and Shutdown make after leaving the main lock.
    HRESULT DeleteWorkerThreads();
    HRESULT PauseWorkerThreads(DWORD mode);

    CAtlCriticalSection& MainLock() RETURN_CAPABILITY(m_mainLock) { return m_mainLock; }
    // The engine's real time now, and the wall-time line its tasks' runs are computed on.
    RealTime CurrentRealTime() EXCLUSIVE_LOCKS_REQUIRED(m_mainLock) { return m_clock.Now(); }
    const WallTimeline& Timeline() EXCLUSIVE_LOCKS_REQUIRED(m_mainLock) {
        return m_clock.Timeline();
    }
    // The engine's clock: its readings at moments of real time are the times run records show.
    const SchedulerClock& Clock() EXCLUSIVE_LOCKS_REQUIRED(m_mainLock) { return m_clock; }
    // The task's first run after `after`, as the cycle finds it: the task is asked only when what
    // it answered last time may no longer hold (NextRunMemo).
    ScheduledRun NextRunOf(CZynTaskListElement& element, RealTime after)
        EXCLUSIVE_LOCKS_REQUIRED(m_mainLock);
    // Queues a run that makes up for missed ones, admitted as a scheduled run is: the queue's
    // room and the task's overlap policy decide, and a run turned away is recorded.
    void QueueCatchUp(CZynTaskListElement& element, RunTicket ticket)
        EXCLUSIVE_LOCKS_REQUIRED(m_mainLock);
    IZynEngineObjectFactory* ObjectFactory() const { return m_factory; }
    // The engine's own task list (null after Shutdown); use under the main lock.
    CZynTasksList* TaskList() EXCLUSIVE_LOCKS_REQUIRED(m_mainLock) { return m_taskList.get(); }
    std::size_t QueueLength() { return m_queue.Size(); }
    // Decides, for every task list of the engine, which files of the folder may be loaded.
    TaskFileTrust& TaskFiles() { return m_taskFiles; }
    // Writes run records, holds runs that wait for the one before and ends runs at their limit.
    CZynRunKeeper& RunKeeper() { return *m_runKeeper; }

protected:
    HRESULT Process() override { return ProcessTasks(); }
    int GetComApartment() override { return 2; }
    bool GetWorkingSetLimits(DWORD& minimum, DWORD& maximum) override;

private:
    void ApplyConfiguration(std::wstring_view document) EXCLUSIVE_LOCKS_REQUIRED(m_mainLock);
    void ReleaseWorkFolder() EXCLUSIVE_LOCKS_REQUIRED(m_mainLock);
    void KeepFolderInView() EXCLUSIVE_LOCKS_REQUIRED(m_mainLock);
    DWORD WaitForWork(DWORD timeoutMs);
    void HandleWake(DWORD result);
    RealTime RunSearchStart(RealTime now, bool corrected) EXCLUSIVE_LOCKS_REQUIRED(m_mainLock);
    void QueueIfPossible(CZynTaskListElement& element, RealTime now)
        EXCLUSIVE_LOCKS_REQUIRED(m_mainLock);
    // True when the run `ticket` describes is not to be queued: no room, or the task running and
    // its overlap policy skipping the run; the reason is recorded. `waits`: the run waits for
    // the one under way, which queues it at its end.
    bool TurnsAway(CZynTaskListElement& element, const RunTicket& ticket, bool& waits)
        EXCLUSIVE_LOCKS_REQUIRED(m_mainLock);
    DATE WallDateOf(RealTime moment) EXCLUSIVE_LOCKS_REQUIRED(m_mainLock);
    // A due run that found its task running: true when it is to be queued now (its overlap
    // policy waits for or replaces the running one, or skips it and records that).
    bool AdmitsOverlap(CZynTaskListElement& element, const RunTicket& ticket, bool& waits)
        EXCLUSIVE_LOCKS_REQUIRED(m_mainLock);
    RunTicket ScheduleTicket(const CZynTaskListElement& element)
        EXCLUSIVE_LOCKS_REQUIRED(m_mainLock);
    void RecordSkipped(const CZynTaskListElement& element, const RunTicket& ticket,
                       SkipReason reason, std::wstring detail) EXCLUSIVE_LOCKS_REQUIRED(m_mainLock);
    LONG ProcessorOf(const std::wstring& identity);

    IZynEngineObjectFactory* const m_factory;
    CAtlCriticalSection m_mainLock;
    bool m_enabled GUARDED_BY(m_mainLock) = false;
    bool m_suspended GUARDED_BY(m_mainLock) = true;
    bool m_shutDown GUARDED_BY(m_mainLock) = false;
    bool m_loggingEnabled GUARDED_BY(m_mainLock) = false;
    std::wstring m_workFolder GUARDED_BY(m_mainLock);
    DWORD m_maxExecQueueSize GUARDED_BY(m_mainLock) = 50;
    DWORD m_maxWorkingSetSize GUARDED_BY(m_mainLock) = 0;
    SchedulerClock m_clock GUARDED_BY(m_mainLock);
    // Every run up to this moment has been queued or turned away; 0 before the first look.
    RealTime m_handledUpTo GUARDED_BY(m_mainLock) = 0;
    // The clock's line generation the next runs were last computed on, and when.
    std::uint64_t m_runsLine GUARDED_BY(m_mainLock) = 0;
    RealTime m_runsComputedAt GUARDED_BY(m_mainLock) = 0;
    // Whether the task list is in order of next runs, but for tasks added since with none: from
    // the end of one CheckTasks to the start of the next (refreshes only remove and append).
    bool m_runsInOrder GUARDED_BY(m_mainLock) = false;
    std::unique_ptr<WorkFolderClaim> m_lockFile GUARDED_BY(m_mainLock);
    WorkFolderWatch m_folderWatch GUARDED_BY(m_mainLock);
    std::unique_ptr<CZynTasksList> m_taskList GUARDED_BY(m_mainLock);
    CAtlEvent m_wakeEvent{FALSE, TRUE};
    // Ends the wait of a disabled scheduler thread when the engine is enabled again.
    CAtlEvent m_enabledEvent{FALSE, FALSE};
    // Never set: waited on in the folder watch's place while there is none.
    CAtlEvent m_noFolderWatch{FALSE, TRUE};
    TaskFileTrust m_taskFiles;
    CZynExecutionQueue m_queue;
    CZynWorkerPool m_workers;
    CountedPtr<CZynTaskWinMsgThread> m_windowThread;
    CountedPtr<CZynRunKeeper> m_runKeeper;
    MissedRuns m_missedRuns GUARDED_BY(m_mainLock);
};
