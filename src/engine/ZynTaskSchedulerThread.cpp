#include "engine/ZynTaskSchedulerThread.h"

#include <algorithm>
#include <cwchar>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "engine/EngineTexts.h"
#include "engine/SchedulerConfiguration.h"
#include "engine/TaskFileName.h"
#include "engine/ZynRunPolicySource.h"
#include "platform/LastError.h"
#include "platform/Wait.h"
#include "platform/XmlDocument.h"
#include "support/LogCall.h"
#include "support/MethodGuard.h"
#include "support/ScopedLock.h"
#include "support/ThrowError.h"

namespace {

constexpr wchar_t kClassName[] = L"CZynTaskSchedulerThread";
constexpr const wchar_t* kSource = CZynTaskSchedulerThread::kThreadName;
constexpr wchar_t kCycleSource[] = L"CZynTaskSchedulerThread::ProcessTasks";
constexpr RealTime kLateness = 5 * kMicrosecondsPerSecond;
constexpr RealTime kOneMinute = 60 * kMicrosecondsPerSecond;
constexpr RealTime kMicrosecondsPerMillisecond = 1000;

GuardNames Names(const wchar_t* member) {
    return GuardNames{kClassName, member};
}

ScheduledRun AskNextRun(IZynRunSchedule* schedule, RealTime after) {
    ScheduledRun next;
    const HRESULT hr = schedule != nullptr ? schedule->NextRunAfter(after, &next) : E_NOINTERFACE;
    if (FAILED(hr)) {
        CEThrowError(hr, L"Failed to get task next run time.");
    }
    return next;
}

std::wstring IdentityOf(IZynTask* task, const wchar_t* failureText) {
    CBstr identity;
    const HRESULT hr = task->get_Guid(identity.Receive());
    if (FAILED(hr)) {
        CEThrowError(hr, failureText);
    }
    return std::wstring(identity.View());
}

}  // namespace

CZynTaskSchedulerThread::CZynTaskSchedulerThread(IZynEngineObjectFactory* factory,
                                                 std::wstring_view timeZoneFile,
                                                 WorkFolderWatch::Opener openWatch)
    : CCEThread(kThreadName, THREAD_PRIORITY_BELOW_NORMAL),
      m_factory(factory),
      m_folderWatch(kSource, std::move(openWatch)),
      m_windowThread(MakeCounted<CZynTaskWinMsgThread>(timeZoneFile)),
      m_runKeeper(MakeCounted<CZynRunKeeper>(*this)) {
    CEReportEvent(CE_SEVERITY_INFORMATION, kClassName, L"Creating CZynTaskSchedulerThread");
    m_taskFiles.SetObserver([this](std::wstring_view name, const std::wstring& why) {
        m_runKeeper->KeepSkipped(std::wstring(TaskFileName::KeyOf(name)), std::nullopt,
                                 RunReason::Schedule, SkipReason::FileNotTrusted,
                                 L"the task file is not loaded, so the task does not run, until "
                                 L"it is fixed: " +
                                     why);
    });
    ScopedLock lock(m_mainLock);
    // The list's reference keeps the engine alive until Shutdown lets the list go.
    m_taskList = std::make_unique<CZynTasksList>(CountedPtr<CZynTaskSchedulerThread>(this), 1);
}

CZynTaskSchedulerThread::~CZynTaskSchedulerThread() {
    CEReportEvent(CE_SEVERITY_DEBUG, L"CZynTaskSchedulerThread::~CZynTaskSchedulerThread",
                  L"~CZynTaskSchedulerThread");
    {
        ScopedLock lock(m_mainLock);
        m_enabled = false;
    }
    Stop();
    m_runKeeper->Stop();  // its thread calls into the engine
    m_runKeeper->Clear();
    m_queue.Clear();
    m_workers.DeleteAll();
    m_workers.ReleaseRetired();
    m_windowThread.Reset();
}

// ---- configuration and work folder

// The processors of the previous configuration go only after the main lock: a processor's
// final release waits for its thread, which may be waiting for the main lock.
void CZynTaskSchedulerThread::SetConfiguration(std::wstring_view document) {
    GuardFailure failure;
    HRESULT hr = S_OK;
    {
        ScopedLock lock(m_mainLock);
        const bool wasRunning = !m_suspended;
        if (wasRunning) {
            Disable();
        }
        hr = RunGuarded(Names(L"SetConfiguration"), failure,
                        [&]() NO_THREAD_SAFETY_ANALYSIS { ApplyConfiguration(document); });
        if (FAILED(hr)) {
            LogGuardFailure(failure, kSource);
        }
        if (wasRunning) {
            Enable();
        }
    }
    m_workers.ReleaseRetired();
    if (FAILED(hr)) {
        RethrowGuardFailure(failure);
    }
}

void CZynTaskSchedulerThread::ApplyConfiguration(std::wstring_view document) {
    const std::optional<SchedulerConfiguration> settings = ReadSchedulerConfiguration(document);
    if (!settings) {
        return;
    }
    m_taskList->Clear();
    SetWorkFolder(settings->workFolder);
    DeleteWorkerThreads();
    if (!m_lockFile) {
        return;
    }
    CreateWorkerThreads(settings->workerThreadPoolSize);
    m_maxExecQueueSize = settings->maxExecQueueSize.value_or(m_maxExecQueueSize);
    m_maxWorkingSetSize = settings->maxWorkingSetSize.value_or(m_maxWorkingSetSize);
    m_loggingEnabled = settings->loggingEnabled;
}

std::wstring CZynTaskSchedulerThread::GetConfiguration() {
    std::wstring document;
    const HRESULT hr = GuardAndLog(Names(L"GetConfiguration"), kSource, [&] {
        ScopedLock lock(m_mainLock);
        document = L"<TaskScheduler WorkFolder='" + m_workFolder + L"'/>";
    });
    return FAILED(hr) ? L"<TaskScheduler/>" : document;
}

// Letting go removes this engine's own lock file and, when empty, its lock folder: the file of
// an engine that claimed the folder meanwhile is never touched.
void CZynTaskSchedulerThread::ReleaseWorkFolder() {
    m_lockFile.reset();
    m_folderWatch.Close();
}

// A folder that cannot be watched is no reason to refuse it: the scheduler thread reads it whole
// at every cycle meanwhile, and tries the watch again.
void CZynTaskSchedulerThread::SetWorkFolder(std::wstring_view folder) {
    ScopedLock lock(m_mainLock);
    ReleaseWorkFolder();
    const std::wstring workFolder(folder);
    m_lockFile = WorkFolderClaim::Take(workFolder);
    m_workFolder = workFolder;
    if (!m_lockFile) {
        CEReportEvent(CE_SEVERITY_WARNING, kSource,
                      L"Unable to obtain file lock. Task scheduler already running. No tasks will "
                      L"be executed by this task scheduler");
    } else {
        m_folderWatch.Watch(workFolder);
    }
    UpdateTaskList();
}

std::wstring CZynTaskSchedulerThread::GetWorkFolder() {
    ScopedLock lock(m_mainLock);
    return m_workFolder;
}

bool CZynTaskSchedulerThread::HasWorkFolderLock() {
    ScopedLock lock(m_mainLock);
    return m_lockFile != nullptr;
}

bool CZynTaskSchedulerThread::IsLoggingEnabled() {
    ScopedLock lock(m_mainLock);
    return m_loggingEnabled;
}

DWORD CZynTaskSchedulerThread::GetMaxExecQueueSize() {
    ScopedLock lock(m_mainLock);
    return m_maxExecQueueSize;
}

bool CZynTaskSchedulerThread::GetWorkingSetLimits(DWORD& minimum, DWORD& maximum) {
    ScopedLock lock(m_mainLock);
    if (m_maxWorkingSetSize == 0) {
        return false;
    }
    minimum = 1;
    maximum = m_maxWorkingSetSize;
    return true;
}

// ---- life cycle

bool CZynTaskSchedulerThread::Enable() {
    {
        ScopedLock lock(m_mainLock);
        if (!m_lockFile) {
            CEReportEvent(CE_SEVERITY_WARNING, kSource,
                          L"Will not enable scheduler. Scheduler not able to obtain file lock.");
            return false;
        }
        m_enabled = true;
        m_enabledEvent.Set();
        if (m_suspended && !m_shutDown) {
            m_suspended = false;
            ResumeThread();
        }
    }
    PauseWorkerThreads(static_cast<DWORD>(CZynWorkerPool::Control::Resume));
    return true;
}

// The scheduler thread parks at its next wait; since every wait of its cycle happens without
// the main lock (see ProcessTasks), it never parks holding it.
void CZynTaskSchedulerThread::Disable() {
    {
        ScopedLock lock(m_mainLock);
        m_enabled = false;
        m_missedRuns.NoteDisabled();
        if (!m_suspended) {
            m_suspended = true;
            SuspendThread();
        }
    }
    PauseWorkerThreads(static_cast<DWORD>(CZynWorkerPool::Control::Pause));
}

bool CZynTaskSchedulerThread::IsEnabled() {
    ScopedLock lock(m_mainLock);
    return m_enabled;
}

// After Shutdown every cycle would find WakeEvent set and return at once; the thread is
// parked instead until the engine is destroyed.
void CZynTaskSchedulerThread::Shutdown() {
    {
        ScopedLock lock(m_mainLock);
        m_enabled = false;
        m_shutDown = true;
        m_wakeEvent.Set();
        // A claimant may wait for the folder rather than be turned away while the processors
        // stop.
        if (m_lockFile) {
            m_lockFile->AnnounceLeaving();
        }
        if (!m_suspended) {
            m_suspended = true;
            SuspendThread();
        }
    }
    PauseWorkerThreads(static_cast<DWORD>(CZynWorkerPool::Control::Stop));
    // Runs still waiting, for a processor or for the run before them, will not start. Their
    // records and those of the runs the stop cancelled are written while the folder is held.
    for (const CountedPtr<CZynTaskEvent>& entry : m_queue.Clear()) {
        m_runKeeper->KeepNotStarted(entry->Identity, entry->Ticket);
    }
    m_runKeeper->Clear();
    m_runKeeper->DoPendingWork();
    std::unique_ptr<CZynTasksList> list;
    {
        ScopedLock lock(m_mainLock);
        DeleteWorkerThreads();
        ReleaseWorkFolder();
        list = std::move(m_taskList);
    }
    m_workers.ReleaseRetired();
    // Waiting entries hold task objects, which hold the engine: left in the queue, they would
    // keep it alive for good. Nothing takes them any more.
    m_queue.Clear();
    if (list) {
        list->Detach();  // drops the list's engine reference last: it may be the final one
    }
}

// ---- the scheduler thread's cycle

HRESULT CZynTaskSchedulerThread::ProcessTasks() {
    if (KillEvent.Lock(0)) {
        return S_OK;
    }
    return GuardAndLog(Names(L"ProcessTasks"), kSource, [this]() -> HRESULT {
        std::shared_ptr<FolderWatch> watch;
        bool running = false;
        DWORD timeout = INFINITE;
        {
            ScopedLock lock(m_mainLock);
            running = m_enabled && m_lockFile;
            if (running) {
                KeepFolderInView();
                watch = m_folderWatch.Current();
                timeout = CheckTasks();
                timeout = timeout > kMaxWait ? kMaxWait : timeout;
            }
        }
        if (!running) {
            // Disabled or without the folder: nothing to time; wait for the end, a wake or the
            // next Enable, without the main lock so that Enable is never kept waiting by a
            // thread parked here.
            WaitAny({&KillEvent.Handle(), &m_wakeEvent.Handle(), &m_enabledEvent.Handle()},
                    INFINITE);
            return S_OK;
        }
        CEReportEventFormat(CE_SEVERITY_DEBUG, kCycleSource, L"Wait timeout: %d",
                            static_cast<int>(timeout));
        const DWORD result =
            WaitAny({&KillEvent.Handle(), watch ? watch.get() : &m_noFolderWatch.Handle(),
                     &m_windowThread->GetTimeChangedEvent().Handle(), &m_wakeEvent.Handle()},
                    timeout);
        // Held through the handling, so that nothing is queued once Disable has returned.
        ScopedLock lock(m_mainLock);
        if (m_enabled && m_lockFile) {
            HandleWake(result);
        }
        return S_OK;
    });
}

void CZynTaskSchedulerThread::HandleWake(DWORD result) {
    const std::wstring now = LocalTimeText();
    switch (result) {
        case WAIT_OBJECT_0:
        case WAIT_OBJECT_0 + 3:
            return;
        case WAIT_OBJECT_0 + 1: {
            ScopedLock lock(m_mainLock);
            UpdateTaskListFromChanges();
            const std::shared_ptr<FolderWatch> watch = m_folderWatch.Current();
            if (!watch || !watch->Rearm()) {
                const DWORD error = GetLastError();
                m_folderWatch.Lose();
                CEThrowError(HRESULT_FROM_WIN32(error), L"FindNextChangeNotification failed.");
            }
            CEReportEventFormat(CE_SEVERITY_TRACE, kCycleSource,
                                L"Change in task directory at %ls\n", now.c_str());
            // A folder that keeps changing would otherwise hold off the timeout, and with it
            // every run, for as long as it changes.
            ExecuteDueTasks();
            return;
        }
        case WAIT_OBJECT_0 + 2: {
            ScopedLock lock(m_mainLock);
            m_clock.NoteZoneChange();  // the zone may have changed with it
            CEReportEventFormat(CE_SEVERITY_TRACE, kCycleSource,
                                L"System time has been changed at %ls\n", now.c_str());
            return;
        }
        case WAIT_TIMEOUT:
            CEReportEventFormat(CE_SEVERITY_TRACE, kCycleSource, L"Scheduled event is due at %ls\n",
                                now.c_str());
            ExecuteDueTasks();
            return;
        case WAIT_FAILED:
            CEThrowError(HRESULT_FROM_WIN32(GetLastError()), L"WaitForMulitpleObjects failed.");
        default:
            CEThrowError(HRESULT_FROM_WIN32(GetLastError()),
                         L"WaitForMulitpleObjects returned unexpected value.");
    }
}

DWORD CZynTaskSchedulerThread::CheckTasks() {
    DWORD wait = INFINITE;
    GuardAndLog(Names(L"CheckTasks"), kSource, [&] {
        ScopedLock lock(m_mainLock);
        const RealTime now = m_clock.Now();
        if (!m_taskList || m_taskList->GetCount() == 0) {
            return;
        }
        const bool corrected = m_clock.TakeCorrection();
        const RealTime lastLook = m_handledUpTo;
        const RealTime searchStart = RunSearchStart(now, corrected);
        m_runsLine = m_clock.Generation();
        m_runsComputedAt = now;
        m_missedRuns.Look(*this, *m_taskList, {lastLook, searchStart, now}, corrected);
        RealTime earliest = 0;
        m_runsInOrder = false;
        bool inOrder = true;  // a list in order needs no sort, which is a walk of its own
        RealTime previous = 0;
        for (m_taskList->MoveFirst(); auto element = m_taskList->GetCurrent();
             m_taskList->MoveNext()) {
            KillTaskAtEndOfCycle(*element, element->Identity);
            const ScheduledRun run = NextRunOf(*element, searchStart);
            const RealTime next = run.at;
            element->NextRunTime = next;
            element->NextRunTrigger = run.trigger;
            if (next != 0 && (earliest == 0 || next < earliest)) {
                earliest = next;
            }
            inOrder = inOrder && next >= previous;
            previous = next;
        }
        if (!inOrder) {
            m_taskList->SortByNextRunTime();
        }
        m_runsInOrder = true;
        if (earliest == 0) {
            return;
        }
        // Up to the very moment of the earliest run, counted from the clock as it reads now: a
        // run already due (found between the last look and now), or a clock set meanwhile, is
        // looked at once.
        const RealTime left = m_clock.Generation() == m_runsLine ? earliest - m_clock.Now() : 0;
        const RealTime milliseconds =
            (left + kMicrosecondsPerMillisecond - 1) / kMicrosecondsPerMillisecond;
        wait = left <= 0 ? 0 : static_cast<DWORD>(std::min<RealTime>(milliseconds, 4294967294LL));
    });
    return wait;
}

// Runs are looked for from the last look for due tasks, so that a run whose moment passed
// while the thread was busy (reading a changed folder, say) is still queued, and no run queued
// or turned away comes round again, but from no earlier than the lateness a run may have. A
// clock set by hand by up to a few hours changes the wall-time line, not real time; one set
// further was corrected, and the schedules start again from the new time rather than wait,
// maybe for days, until the clock reaches the time it showed before.
RealTime CZynTaskSchedulerThread::RunSearchStart(RealTime now, bool corrected) {
    if (corrected) {
        m_handledUpTo = now;
    }
    return m_handledUpTo == 0 ? now : std::max(m_handledUpTo, now - kLateness);
}

// A task is asked only when what it answered last time may no longer hold: its run came, its
// definition changed, or the wall-time line did.
ScheduledRun CZynTaskSchedulerThread::NextRunOf(CZynTaskListElement& element, RealTime after) {
    const std::uint64_t revision = element.Schedule ? element.Schedule->ScheduleRevision() : 0;
    ScheduledRun next;
    if (!element.NextRun.Recall(revision, m_runsLine, after, next)) {
        next = AskNextRun(element.Schedule.Get(), after);
        element.NextRun.Remember(revision, m_runsLine, after, next);
    }
    return next;
}

DATE CZynTaskSchedulerThread::WallDateOf(RealTime moment) {
    return moment == 0 ? 0 : DateOfWallTime(m_clock.Timeline().WallAt(moment));
}

HRESULT CZynTaskSchedulerThread::ExecuteDueTasks() {
    return GuardAndLog(Names(L"ExecuteDueTasks"), kSource, [this]() NO_THREAD_SAFETY_ANALYSIS {
        ScopedLock lock(m_mainLock);
        if (!m_lockFile || !m_taskList) {
            return;
        }
        const RealTime now = m_clock.Now();
        // Next runs computed on a line the clock has left since are looked for again first.
        if (m_clock.Generation() != m_runsLine) {
            return;
        }
        // Made only when kept: with ten thousand tasks, the texts cost more than the check.
        const bool traced = CEWillReport(CE_SEVERITY_TRACE);
        for (m_taskList->MoveFirst(); auto element = m_taskList->GetCurrent();
             m_taskList->MoveNext()) {
            const RealTime next = element->NextRunTime;
            // In order of next runs, no task after one not yet due is due (the tasks a refresh
            // added since have no next run yet).
            if (!traced && m_runsInOrder && next > now) {
                break;
            }
            if (traced) {
                CEReportEventFormat(CE_SEVERITY_TRACE, L"CZynTaskSchedulerThread::ExecuteDueTasks",
                                    L"Checking if task %ls can run at %ls Next Run %ls Now %ls \n",
                                    element->Identity.c_str(), LocalTimeText().c_str(),
                                    DateText(WallDateOf(next)).c_str(),
                                    DateText(WallDateOf(now)).c_str());
            }
            if (next != 0 && next <= now && now - next <= kLateness) {
                QueueIfPossible(*element, now);
            } else if (next != 0 && next <= now) {
                m_missedRuns.RecordLate(*this, *element, now);
            }
        }
        m_missedRuns.HandOver(*this);
        m_handledUpTo = std::max(m_handledUpTo, now);
    });
}

void CZynTaskSchedulerThread::QueueIfPossible(CZynTaskListElement& element, RealTime now) {
    const RunTicket ticket = ScheduleTicket(element);
    bool waits = false;
    if (TurnsAway(element, ticket, waits)) {
        CEReportEventFormat(CE_SEVERITY_INFORMATION, kSource,
                            L"Task list is full or task is already running. Not executing due "
                            L"task %ls at %ls\n",
                            element.Identity.c_str(), LocalTimeText().c_str());
        return;
    }
    CEReportEventFormat(CE_SEVERITY_INFORMATION, kSource,
                        L"Queueing task %ls for execution at %ls Next Run %ls Now %ls\n",
                        element.Identity.c_str(), LocalTimeText().c_str(),
                        DateText(WallDateOf(element.NextRunTime)).c_str(),
                        DateText(WallDateOf(now)).c_str());
    element.LastQueuedTime = now;
    element.TriggerIndex = element.NextRunTrigger;
    if (!waits) {
        QueueTaskForExecution(element.Task.Get(), ticket);
    }
}

void CZynTaskSchedulerThread::QueueCatchUp(CZynTaskListElement& element, RunTicket ticket) {
    bool waits = false;
    if (!TurnsAway(element, ticket, waits) && !waits) {
        QueueTaskForExecution(element.Task.Get(), std::move(ticket));
    }
}

bool CZynTaskSchedulerThread::TurnsAway(CZynTaskListElement& element, const RunTicket& ticket,
                                        bool& waits) {
    if (m_queue.Size() >= m_maxExecQueueSize) {
        RecordSkipped(element, ticket, SkipReason::QueueFull,
                      L"the queue held " + std::to_wstring(m_maxExecQueueSize) + L" runs");
        return true;
    }
    return IsTaskAlreadyRunning(element, element.Identity) &&
           !AdmitsOverlap(element, ticket, waits);
}

// A replacing run waits, as a queued one does, for the run it ends: the processor knows the
// ending run until its handler has reported the end, and would not take another of the task.
bool CZynTaskSchedulerThread::AdmitsOverlap(CZynTaskListElement& element, const RunTicket& ticket,
                                            bool& waits) {
    const RunPolicies policies = RunPoliciesOf(*element.Task.Get());
    if (policies.overlap == RunPolicies::Overlap::Skip) {
        RecordSkipped(element, ticket, SkipReason::AlreadyRunning,
                      L"the run before it was still under way");
        return false;
    }
    const bool replaces = policies.overlap == RunPolicies::Overlap::Replace;
    if (replaces) {
        m_runKeeper->MarkReplaced(element.Identity);
        CancelTask(element.Identity);
    }
    RunTicket waiting = ticket;
    waiting.queued = WallClock::CurrentTime();
    waiting.detail += (waiting.detail.empty() ? L"" : L"; ") +
                      std::wstring(replaces ? L"waited for the run it replaced to end"
                                            : L"waited for the run before it to end");
    const CZynRunKeeper::Wait wait =
        m_runKeeper->WaitForRunningEnd(element.Identity, element.Task, std::move(waiting));
    if (wait == CZynRunKeeper::Wait::AlreadyWaiting) {
        RecordSkipped(element, ticket, SkipReason::AlreadyRunning,
                      L"a run already waits for the one under way");
        return false;
    }
    waits = wait == CZynRunKeeper::Wait::Waiting;
    return true;
}

RunTicket CZynTaskSchedulerThread::ScheduleTicket(const CZynTaskListElement& element) {
    RunTicket ticket;
    ticket.due = m_clock.ReadingAt(element.NextRunTime);
    ticket.reason = RunReason::Schedule;
    return ticket;
}

void CZynTaskSchedulerThread::RecordSkipped(const CZynTaskListElement& element,
                                            const RunTicket& ticket, SkipReason reason,
                                            std::wstring detail) {
    m_runKeeper->KeepSkipped(element.Identity, ticket.due, ticket.reason, reason,
                             std::move(detail));
}

// Only a task whose fired trigger has no further run and that was queued over a minute ago
// can be cancelled here, so the cheap fields are looked at before the document is read.
void CZynTaskSchedulerThread::KillTaskAtEndOfCycle(CZynTaskListElement& element,
                                                   const std::wstring& identity) {
    GuardAndLog(Names(L"KillTaskAtEndOfCycle"), kSource, [&]() NO_THREAD_SAFETY_ANALYSIS {
        ScopedLock lock(m_mainLock);
        if (!m_lockFile || element.TriggerIndex < 0 || element.NextRunTime != 0 ||
            m_runsComputedAt - element.LastQueuedTime <= kOneMinute) {
            return;
        }
        CBstr xml;
        const HRESULT hr = element.Task->get_Xml(xml.Receive());
        if (FAILED(hr)) {
            CEThrowError(hr, L"Failed to get task Xml.");
        }
        XmlDocument document;
        std::wstring reason;
        if (!document.Load(xml.View(), reason)) {
            CEThrowError(E_FAIL, L"Failed to load task xml into XMLDOM. Error " + reason + L".");
        }
        const std::vector<XmlNode> triggers = document.SelectAll(L"//Trigger");
        if (static_cast<std::size_t>(element.TriggerIndex) >= triggers.size()) {
            return;
        }
        const XmlNode killAtEnd =
            triggers[static_cast<std::size_t>(element.TriggerIndex)].Attribute(L"KillAtEnd");
        if (killAtEnd.IsNull() || std::wcstol(killAtEnd.Text().c_str(), nullptr, 10) == 0) {
            return;
        }
        CEReportEventFormat(CE_SEVERITY_INFORMATION, kSource,
                            L"Cancelling task %ls. Still running after duration", identity.c_str());
        CancelTask(identity);
    });
}

HRESULT CZynTaskSchedulerThread::UpdateTaskList() {
    return GuardAndLog(Names(L"UpdateTaskList"), kSource, [this]() -> HRESULT {
        ScopedLock lock(m_mainLock);
        return m_taskList ? m_taskList->UpdateTaskList() : S_OK;
    });
}

HRESULT CZynTaskSchedulerThread::UpdateTaskListFromChanges() {
    return GuardAndLog(Names(L"UpdateTaskList"), kSource, [this]() -> HRESULT {
        ScopedLock lock(m_mainLock);
        if (!m_taskList) {
            return S_OK;
        }
        const std::shared_ptr<FolderWatch> watch = m_folderWatch.Current();
        std::vector<std::wstring> changedNames;
        if (watch && watch->TakeChangedNames(changedNames)) {
            return m_taskList->UpdateTaskList(changedNames);
        }
        // Asked only now: taking the names read the changes still pending, the loss among them.
        if (watch && watch->TakeOverflow()) {
            // Nothing is lost with them: the whole folder is read.
            CEReportEventFormat(CE_SEVERITY_WARNING, kCycleSource,
                                L"Too many changes in task directory at %ls: change "
                                L"notifications were lost, the whole folder is read again\n",
                                LocalTimeText().c_str());
        }
        return m_taskList->UpdateTaskList();
    });
}

// Before each wait. Without a watch, nothing would wake the thread for a change in the folder:
// the folder is read whole instead, once a cycle. With one, the temporaries whose writers were
// still at work when last seen are looked at again, since a writer that dies changes nothing
// in the folder that the watch would report.
void CZynTaskSchedulerThread::KeepFolderInView() {
    if (m_folderWatch.IsLacking()) {
        m_folderWatch.Reopen();
        UpdateTaskList();
    } else if (m_taskList && m_taskList->HasTemporariesInUse()) {
        m_taskList->UpdateTaskList(std::vector<std::wstring>());
    }
}

bool CZynTaskSchedulerThread::IsTaskNameTaken(std::wstring_view name, std::wstring_view identity) {
    bool taken = false;
    GuardAndLog(Names(L"IsTaskNameTaken"), kSource, [&] {
        ScopedLock lock(m_mainLock);
        if (!m_taskList || m_taskList->GetCount() == 0) {
            return;
        }
        const CountedPtr<CZynTaskListElement> element = m_taskList->GetTask(name);
        if (element) {
            taken = IdentityOf(element->Task.Get(), L"Failed to get task guid.") != identity;
        }
    });
    return taken;
}

// ---- execution queue and worker pool

HRESULT CZynTaskSchedulerThread::QueueTaskForExecution(IZynTask* task) {
    return QueueTaskForExecution(task, RunTicket{});
}

// The ticket gets what every run carries: when it was queued (unless it waited for the run
// before it) and its task's time limit.
HRESULT CZynTaskSchedulerThread::QueueTaskForExecution(IZynTask* task, RunTicket ticket) {
    return GuardAndLog(Names(L"QueueTaskForExecution"), kSource, [&] {
        std::wstring identity;
        {
            ScopedLock lock(m_mainLock);
            if (!m_lockFile) {
                return;
            }
            identity = IdentityOf(task, L"Failed to get tasks guid.");
            ticket.timeLimitMinutes = RunPoliciesOf(*task).timeLimitMinutes;
        }
        if (ticket.queued == WallClock::TimePoint{}) {
            ticket.queued = WallClock::CurrentTime();
        }
        const std::optional<WallClock::TimePoint> due = ticket.due;
        const RunReason reason = ticket.reason;
        if (!m_queue.Push(ComPtr<IZynTask>(task), identity, std::move(ticket))) {
            CEReportEventFormat(CE_SEVERITY_WARNING, kSource, L"Task %ls already in queue",
                                identity.c_str());
            m_runKeeper->KeepSkipped(identity, due, reason, SkipReason::AlreadyQueued,
                                     L"a run of the task was waiting in the queue");
        }
    });
}

bool CZynTaskSchedulerThread::ProcessNextEvent(LONG processorId, std::wstring& identity,
                                               std::wstring& xml) {
    RunTicket ticket;
    return ProcessNextEvent(processorId, identity, xml, ticket);
}

bool CZynTaskSchedulerThread::ProcessNextEvent(LONG processorId, std::wstring& identity,
                                               std::wstring& xml, RunTicket& ticket) {
    bool answer = false;
    GuardAndLog(Names(L"ProcessNextEvent"), kSource, [&] {
        {
            ScopedLock lock(m_mainLock);
            if (!m_lockFile) {
                return;
            }
        }
        identity.clear();
        xml.clear();
        if (const CountedPtr<CZynTaskEvent> entry = m_queue.PopOldest()) {
            CBstr text;
            entry->Task->get_Xml(text.Receive());
            xml = text.View();
            identity = entry->Identity;
            ticket = entry->Ticket;
        }
        if (identity.empty()) {
            answer = true;
            return;
        }
        ScopedLock lock(m_mainLock);
        if (!m_taskList || m_taskList->GetCount() == 0) {
            return;
        }
        if (const CountedPtr<CZynTaskListElement> element = m_taskList->GetTask(identity)) {
            element->ProcessorId = processorId;
        }
        answer = true;
    });
    return answer;
}

bool CZynTaskSchedulerThread::IsTaskAlreadyRunning(CZynTaskListElement& element,
                                                   const std::wstring& identity) {
    bool running = false;
    GuardAndLog(Names(L"IsTaskAlreadyRunning"), kSource, [&] {
        LONG processorId = -1;
        {
            ScopedLock lock(m_mainLock);
            processorId = element.ProcessorId;
        }
        running = processorId >= 0 && m_workers.IsRunning(processorId, identity);
    });
    return running;
}

bool CZynTaskSchedulerThread::IsTaskAlreadyRunning(const std::wstring& identity) {
    bool running = false;
    GuardAndLog(Names(L"IsTaskAlreadyRunning"), kSource, [&] {
        const LONG processorId = ProcessorOf(identity);
        running = processorId >= 0 && m_workers.IsRunning(processorId, identity);
    });
    return running;
}

LONG CZynTaskSchedulerThread::ProcessorOf(const std::wstring& identity) {
    ScopedLock lock(m_mainLock);
    if (!m_taskList || m_taskList->GetCount() == 0) {
        return -1;
    }
    const CountedPtr<CZynTaskListElement> element = m_taskList->GetTask(identity);
    return element ? element->ProcessorId : -1;
}

void CZynTaskSchedulerThread::CancelTask(const std::wstring& identity) {
    GuardAndLog(Names(L"CancelTask"), kSource, [&] {
        if (!HasWorkFolderLock()) {
            return;
        }
        const LONG processorId = ProcessorOf(identity);
        if (processorId >= 0 && FAILED(m_workers.Cancel(processorId, identity))) {
            CEReportEventFormat(CE_SEVERITY_TRACE, kSource,
                                L"Failed to cancel running task %ls running in thread %d",
                                identity.c_str(), static_cast<int>(processorId));
        }
    });
}

HRESULT CZynTaskSchedulerThread::CreateWorkerThreads(DWORD count) {
    return GuardAndLog(Names(L"CreateWorkerThreads"), kSource, [&] {
        if (m_factory == nullptr || !HasWorkFolderLock()) {
            return;
        }
        m_workers.Create(count, [this](LONG id) {
            return m_factory->CreateProcessor(CountedPtr<CZynTaskSchedulerThread>(this), id);
        });
    });
}

HRESULT CZynTaskSchedulerThread::DeleteWorkerThreads() {
    return GuardAndLog(Names(L"DeleteWorkerThreads"), kSource, [this] { m_workers.DeleteAll(); });
}

HRESULT CZynTaskSchedulerThread::PauseWorkerThreads(DWORD mode) {
    if (mode > static_cast<DWORD>(CZynWorkerPool::Control::Resume)) {
        return S_OK;
    }
    return GuardAndLog(Names(L"PauseWorkerThreads"), kSource, [&] {
        return m_workers.ControlAll(static_cast<CZynWorkerPool::Control>(mode), kSource);
    });
}
