#include "engine/ZynTaskSchedulerThread.h"

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cwchar>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/VariantHolder.h"
#include "ZynTaskSchedulerLib/WorkFolder.h"
#include "engine/EngineTexts.h"
#include "engine/SchedulerConfiguration.h"
#include "engine/ZynRunPolicySource.h"
#include "platform/LastError.h"
#include "platform/Path.h"
#include "platform/Wait.h"
#include "platform/WallClock.h"
#include "platform/XmlDocument.h"
#include "support/Folders.h"
#include "support/LogCall.h"
#include "support/MethodGuard.h"
#include "support/ScopedLock.h"
#include "support/ThrowError.h"
#include "tasks/ScheduleArithmetic.h"

namespace {

constexpr wchar_t kClassName[] = L"CZynTaskSchedulerThread";
constexpr const wchar_t* kSource = CZynTaskSchedulerThread::kThreadName;
constexpr wchar_t kCycleSource[] = L"CZynTaskSchedulerThread::ProcessTasks";
constexpr HRESULT kCannotCreateWorkFolder = MakeHResult(0x80041002);
constexpr double kMillisecondsPerDay = 86400000.0;
constexpr double kRoundingMilliseconds = 0.01;
constexpr DATE kLateness = 5000.0 / kMillisecondsPerDay;
constexpr DATE kOneMinute = 60000.0 / kMillisecondsPerDay;
constexpr DATE kLongestSetBack = 3.0 / 24.0;

// The local time with the fraction of its second, which automation dates otherwise drop: a wait
// counted from a time cut to the millisecond would end up to a millisecond late.
bool CurrentLocalDateWithFraction(DATE& now) {
    const WallClock::TimePoint moment = WallClock::CurrentTime();
    SYSTEMTIME local = LocalTimeAt(moment);
    local.wMilliseconds = 0;
    if (!SystemTimeToVariantTime(&local, &now)) {
        return false;
    }
    // Zones differ from UTC by whole minutes: the fraction is the same in both.
    const auto sinceWholeSecond = moment.time_since_epoch() % std::chrono::seconds(1);
    now +=
        std::chrono::duration<double, std::milli>(sinceWholeSecond).count() / kMillisecondsPerDay;
    return true;
}

GuardNames Names(const wchar_t* member) {
    return GuardNames{kClassName, member};
}

std::wstring LockFolderOf(std::wstring_view workFolder) {
    return JoinPath(workFolder, kWorkFolderLockFolderName);
}

DATE AskNextRunTime(IZynTask& task, DATE reference) {
    CVariantHolder argument;
    argument.vt = VT_R8;
    argument.dblVal = reference;
    DATE next = 0;
    const HRESULT hr = task.GetNextRunTime(argument, &next);
    if (FAILED(hr)) {
        CEThrowError(hr, L"Failed to get task next run time.");
    }
    return next;
}

RunTicket ScheduledRun(DATE due) {
    RunTicket ticket;
    ticket.due = due;
    ticket.reason = RunReason::Schedule;
    return ticket;
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
                                                 std::wstring_view timeZoneFile)
    : CCEThread(kThreadName, THREAD_PRIORITY_BELOW_NORMAL),
      m_factory(factory),
      m_windowThread(MakeCounted<CZynTaskWinMsgThread>(timeZoneFile)),
      m_runKeeper(MakeCounted<CZynRunKeeper>(*this)) {
    CEReportEvent(CE_SEVERITY_INFORMATION, kClassName, L"Creating CZynTaskSchedulerThread");
    m_taskFiles.SetObserver([this](std::wstring_view name, const std::wstring& why) {
        const std::wstring_view identity = name.substr(0, name.rfind(L'.'));
        m_runKeeper->KeepSkipped(std::wstring(identity), 0, RunReason::Schedule,
                                 SkipReason::FileNotTrusted,
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

// Releasing the lock removes this engine's own lock folder: a folder another engine holds is
// never touched.
void CZynTaskSchedulerThread::ReleaseWorkFolder() {
    if (m_lockFile) {
        m_lockFile.reset();
        RemoveDirectoryTree(LockFolderOf(m_workFolder), true, false);
    }
    m_folderWatch.reset();
}

void CZynTaskSchedulerThread::SetWorkFolder(std::wstring_view folder) {
    ScopedLock lock(m_mainLock);
    ReleaseWorkFolder();
    const std::wstring workFolder(folder);
    const std::wstring lockFolder = LockFolderOf(workFolder);
    if (!CreateTargetDir(lockFolder)) {
        CEThrowError(kCannotCreateWorkFolder, L"Cannot create work folder " + workFolder);
    }
    m_lockFile = WorkFolderLock::Acquire(JoinPath(lockFolder, kWorkFolderLockFileName));
    m_workFolder = workFolder;
    if (!m_lockFile) {
        CEReportEvent(CE_SEVERITY_WARNING, kSource,
                      L"Unable to obtain file lock. Task scheduler already running. No tasks will "
                      L"be executed by this task scheduler");
    } else {
        m_folderWatch = FolderWatch::Open(workFolder);
        if (!m_folderWatch) {
            CEThrowError(HRESULT_FROM_WIN32(GetLastError()),
                         L"Failed to run Schedule thread.  SetWorkFolder returned %lx.");
        }
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
        if (!m_suspended) {
            m_suspended = true;
            SuspendThread();
        }
    }
    PauseWorkerThreads(static_cast<DWORD>(CZynWorkerPool::Control::Stop));
    // The records of the runs the stop cancelled are written while the folder is still held.
    m_runKeeper->DoPendingWork();
    m_runKeeper->Clear();
    std::unique_ptr<CZynTasksList> list;
    {
        ScopedLock lock(m_mainLock);
        DeleteWorkerThreads();
        if (!m_workFolder.empty()) {
            ReleaseWorkFolder();
        }
        m_lockFile.reset();
        m_folderWatch.reset();
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
        DWORD timeout = INFINITE;
        {
            ScopedLock lock(m_mainLock);
            if (m_enabled && m_lockFile) {
                watch = m_folderWatch;
                timeout = CheckTasks();
                timeout = timeout > kMaxWait ? kMaxWait : timeout;
            }
        }
        if (!watch) {
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
            WaitAny({&KillEvent.Handle(), watch.get(),
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
            if (!m_folderWatch || !m_folderWatch->Rearm()) {
                CEThrowError(HRESULT_FROM_WIN32(GetLastError()),
                             L"FindNextChangeNotification failed.");
            }
            CEReportEventFormat(CE_SEVERITY_TRACE, kCycleSource,
                                L"Change in task directory at %ls\n", now.c_str());
            // A folder that keeps changing would otherwise hold off the timeout, and with it
            // every run, for as long as it changes.
            ExecuteDueTasks();
            return;
        }
        case WAIT_OBJECT_0 + 2:
            CEReportEventFormat(CE_SEVERITY_TRACE, kCycleSource,
                                L"System time has been changed at %ls\n", now.c_str());
            m_missedRuns.NoteClockChange();
            return;
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
    DATE now = 0;
    if (!CurrentLocalDate(now)) {
        CETrace(CE_SEVERITY_WARNING, "ZynTaskSchedulerThread", 870, L"FAILED_RETURN %x",
                static_cast<unsigned>(E_UNEXPECTED));
        return static_cast<DWORD>(E_UNEXPECTED);
    }
    DWORD wait = INFINITE;
    GuardAndLog(Names(L"CheckTasks"), kSource, [&] {
        ScopedLock lock(m_mainLock);
        if (!m_taskList || m_taskList->GetCount() == 0) {
            return;
        }
        const DATE searchStart = RunSearchStart(now);
        m_missedRuns.Look(*this, *m_taskList, m_dueCheckedUpTo, searchStart, now);
        DATE earliest = DBL_MAX;
        m_runsInOrder = false;
        bool inOrder = true;  // a list in order needs no sort, which is a walk of its own
        DATE previous = -DBL_MAX;
        for (m_taskList->MoveFirst(); auto element = m_taskList->GetCurrent();
             m_taskList->MoveNext()) {
            KillTaskAtEndOfCycle(*element, element->Identity);
            const DATE next = NextRunOf(*element, searchStart);
            element->NextRunTime = next;
            if (CompareDates(next, earliest) < 0 && CompareDates(next, 0) > 0) {
                earliest = next;
            }
            inOrder = inOrder && !(next < previous);
            previous = next;
        }
        if (!inOrder) {
            m_taskList->SortByNextRunTime();
        }
        m_runsInOrder = true;
        if (CompareDates(earliest, DBL_MAX) == 0) {
            return;
        }
        DATE later = 0;
        if (!CurrentLocalDateWithFraction(later)) {
            CETrace(CE_SEVERITY_WARNING, "ZynTaskSchedulerThread", 915, L"FAILED_RETURN %x",
                    static_cast<unsigned>(E_UNEXPECTED));
            wait = static_cast<DWORD>(E_UNEXPECTED);
            return;
        }
        // Up to the moment the whole-second clock shows the earliest run, not to the next
        // whole second after it; a run already due (found between the last look and now) is
        // looked at once.
        // Dates near today carry about a microsecond of rounding: not worth a millisecond.
        const double milliseconds =
            std::ceil((earliest - later) * kMillisecondsPerDay - kRoundingMilliseconds);
        wait = milliseconds <= 0 ? 0 : static_cast<DWORD>(std::min(milliseconds, 4294967294.0));
    });
    return wait;
}

// A clock set back (by hand, or local time leaving summer time) brings round again runs that
// were queued already; none is queued twice. A set-back of more than a few hours is taken as the
// correction of a clock that was wrong: the schedule starts again from the new time rather than
// wait, maybe for days, until the clock reaches the time it showed before.
// Runs are looked for from the last look for due tasks when that was at most the lateness a
// run may have ago, so that a run whose second passed while the thread was busy (reading a
// changed folder, say) is still queued rather than skipped; from now otherwise.
DATE CZynTaskSchedulerThread::RunSearchStart(DATE now) {
    const DATE last = m_dueCheckedUpTo;
    const bool recent = CompareDates(last, 0) > 0 && CompareDates(last, now) <= 0 &&
                        CompareDates(now - last, kLateness) <= 0;
    return recent ? last : now;
}

DATE CZynTaskSchedulerThread::NextRunOf(CZynTaskListElement& element, DATE now) {
    const DATE next = RunAfter(element, now);
    const DATE queued = element.QueuedRunTime;
    if (CompareDates(next, 0) <= 0 || CompareDates(next, queued) > 0) {
        return next;
    }
    if (CompareDates(queued - now, kLongestSetBack) > 0) {
        element.QueuedRunTime = 0;
        return next;
    }
    return RunAfter(element, queued);
}

// A task is asked only when what it answered last time may no longer hold: its run came, its
// definition changed, or the clock went back before the time it was asked for.
DATE CZynTaskSchedulerThread::RunAfter(CZynTaskListElement& element, DATE reference) {
    const std::uint64_t revision = element.Revision ? element.Revision->ScheduleRevision() : 0;
    DATE next = 0;
    if (!element.NextRun.Recall(revision, reference, next)) {
        next = AskNextRunTime(*element.Task.Get(), reference);
        element.NextRun.Remember(revision, reference, next);
    }
    return next;
}

HRESULT CZynTaskSchedulerThread::ExecuteDueTasks() {
    return GuardAndLog(Names(L"ExecuteDueTasks"), kSource, [this]() NO_THREAD_SAFETY_ANALYSIS {
        ScopedLock lock(m_mainLock);
        if (!m_lockFile || !m_taskList) {
            return;
        }
        DATE now = 0;
        if (!CurrentLocalDate(now)) {
            CETrace(CE_SEVERITY_WARNING, "ZynTaskSchedulerThread", 755, L"FAILED_RETURN %x",
                    static_cast<unsigned>(E_UNEXPECTED));
            return;
        }
        // Made only when kept: with ten thousand tasks, the texts cost more than the check.
        const bool traced = CEWillReport(CE_SEVERITY_TRACE);
        for (m_taskList->MoveFirst(); auto element = m_taskList->GetCurrent();
             m_taskList->MoveNext()) {
            const DATE next = element->NextRunTime;
            // In order of next runs, no task after one not yet due is due (the tasks a refresh
            // added since have no next run yet).
            if (!traced && m_runsInOrder && CompareDates(next, now) > 0) {
                break;
            }
            if (traced) {
                CEReportEventFormat(CE_SEVERITY_TRACE, L"CZynTaskSchedulerThread::ExecuteDueTasks",
                                    L"Checking if task %ls can run at %ls Next Run %ls Now %ls \n",
                                    element->Identity.c_str(), LocalTimeText().c_str(),
                                    DateText(next).c_str(), DateText(now).c_str());
            }
            const bool due = CompareDates(now - next, kLateness) <= 0 &&
                             CompareDates(now, next) >= 0 && CompareDates(next, 0) > 0;
            if (due) {
                QueueIfPossible(*element, now);
            } else if (CompareDates(now, next) >= 0 && CompareDates(next, 0) > 0) {
                RecordSkipped(*element, SkipReason::Late,
                              L"late by " + std::to_wstring(std::lround((now - next) * 86400.0)) +
                                  L" s: the scheduler thread was held up");
            }
        }
        m_dueCheckedUpTo = now;
    });
}

void CZynTaskSchedulerThread::QueueIfPossible(CZynTaskListElement& element, DATE now) {
    const bool room = m_queue.Size() < m_maxExecQueueSize;
    bool waits = false;
    if (!room ||
        (IsTaskAlreadyRunning(element, element.Identity) && !AdmitsOverlap(element, waits))) {
        CEReportEventFormat(CE_SEVERITY_INFORMATION, kSource,
                            L"Task list is full or task is already running. Not executing due "
                            L"task %ls at %ls\n",
                            element.Identity.c_str(), LocalTimeText().c_str());
        if (!room) {
            RecordSkipped(element, SkipReason::QueueFull,
                          L"the queue held " + std::to_wstring(m_maxExecQueueSize) + L" runs");
        }
        return;
    }
    CEReportEventFormat(CE_SEVERITY_INFORMATION, kSource,
                        L"Queueing task %ls for execution at %ls Next Run %ls Now %ls\n",
                        element.Identity.c_str(), LocalTimeText().c_str(),
                        DateText(element.NextRunTime).c_str(), DateText(now).c_str());
    element.LastQueuedTime = now;
    element.QueuedRunTime = element.NextRunTime;
    LONG triggerIndex = -1;
    const HRESULT hr = element.Task->GetNextTriggerIndex(&triggerIndex);
    if (FAILED(hr)) {
        CEThrowError(hr, L"Failed to get next trigger index.");
    }
    element.TriggerIndex = triggerIndex;
    if (!waits) {
        QueueTaskForExecution(element.Task.Get(), ScheduledRun(element.NextRunTime));
    }
}

bool CZynTaskSchedulerThread::AdmitsOverlap(CZynTaskListElement& element, bool& waits) {
    const RunPolicies policies = RunPoliciesOf(*element.Task.Get());
    if (policies.overlap == RunPolicies::Overlap::Replace) {
        m_runKeeper->MarkReplaced(element.Identity);
        CancelTask(element.Identity);
        return true;
    }
    if (policies.overlap == RunPolicies::Overlap::Queue) {
        RunTicket ticket = ScheduledRun(element.NextRunTime);
        ticket.queued = WallClock::CurrentTime();
        const CZynRunKeeper::Wait wait =
            m_runKeeper->WaitForRunningEnd(element.Identity, element.Task, std::move(ticket));
        waits = wait == CZynRunKeeper::Wait::Waiting;
        if (wait != CZynRunKeeper::Wait::AlreadyWaiting) {
            return true;
        }
    }
    RecordSkipped(element, SkipReason::AlreadyRunning,
                  policies.overlap == RunPolicies::Overlap::Queue
                      ? L"a run already waits for the one under way"
                      : L"the run before it was still under way");
    return false;
}

void CZynTaskSchedulerThread::RecordSkipped(const CZynTaskListElement& element, SkipReason reason,
                                            std::wstring detail) {
    m_runKeeper->KeepSkipped(element.Identity, element.NextRunTime, RunReason::Schedule, reason,
                             std::move(detail));
}

// Only a task whose fired trigger has no further run and that was queued over a minute ago
// can be cancelled here, so the cheap fields are looked at before the document is read.
void CZynTaskSchedulerThread::KillTaskAtEndOfCycle(CZynTaskListElement& element,
                                                   const std::wstring& identity) {
    GuardAndLog(Names(L"KillTaskAtEndOfCycle"), kSource, [&]() NO_THREAD_SAFETY_ANALYSIS {
        ScopedLock lock(m_mainLock);
        if (!m_lockFile || element.TriggerIndex < 0 || CompareDates(element.NextRunTime, 0) > 0) {
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
        DATE now = 0;
        if (!CurrentLocalDate(now)) {
            CEThrowError(E_FAIL, L"Failed to convert time to variant time.");
        }
        if (CompareDates(now - element.LastQueuedTime, kOneMinute) > 0) {
            CEReportEventFormat(CE_SEVERITY_INFORMATION, kSource,
                                L"Cancelling task %ls. Still running after duration",
                                identity.c_str());
            CancelTask(identity);
        }
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
        std::vector<std::wstring> changedNames;
        if (m_folderWatch && m_folderWatch->TakeChangedNames(changedNames)) {
            return m_taskList->UpdateTaskList(changedNames);
        }
        // Asked only now: taking the names read the changes still pending, the loss among them.
        if (m_folderWatch && m_folderWatch->TakeOverflow()) {
            // Nothing is lost with them: the whole folder is read.
            CEReportEventFormat(CE_SEVERITY_WARNING, kCycleSource,
                                L"Too many changes in task directory at %ls: change "
                                L"notifications were lost, the whole folder is read again\n",
                                LocalTimeText().c_str());
        }
        return m_taskList->UpdateTaskList();
    });
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
        const DATE due = ticket.due;
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
