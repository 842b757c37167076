#include "engine/ZynRunKeeper.h"

#include <algorithm>
#include <chrono>
#include <iterator>

#include "ZynTaskSchedulerLib/WorkFolder.h"
#include "engine/ZynTaskSchedulerThread.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Path.h"
#include "platform/SystemMessage.h"
#include "platform/Wait.h"
#include "support/Folders.h"
#include "support/LogCall.h"
#include "support/ScopedLock.h"
#include "tasks/RunRecordFile.h"

namespace {

// The longest the thread sleeps without a deadline in sight: a clock moved forward meanwhile
// is noticed within it.
constexpr DWORD kLongestSleepMs = 60000;

bool IsUnder(const std::weak_ptr<RunInProgress>& entry, const RunInProgress& run) {
    const std::shared_ptr<RunInProgress> held = entry.lock();
    return !held || held.get() == &run;
}

}  // namespace

CZynRunKeeper::CZynRunKeeper(CZynTaskSchedulerThread& engine)
    : CCEThread(kThreadName, THREAD_PRIORITY_BELOW_NORMAL), m_engine(engine) {
    ResumeThread();
}

CZynRunKeeper::~CZynRunKeeper() {
    Stop();
}

std::shared_ptr<RunInProgress> CZynRunKeeper::StartRun(std::wstring identity, RunTicket ticket) {
    const WallClock::TimePoint now = WallClock::CurrentTime();
    const std::optional<DWORD> limit = ticket.timeLimitMinutes;
    auto run = std::make_shared<RunInProgress>(CountedPtr<CZynRunKeeper>(this), identity,
                                               std::move(ticket), now);
    {
        ScopedLock lock(m_lock);
        m_running.emplace(std::move(identity), run);
        if (limit) {
            m_watches.push_back({WallClock::CurrentElapsed() + std::chrono::minutes(*limit), run});
        }
    }
    if (limit) {
        m_work.Set();  // the thread's sleep may end too late for this deadline
    }
    return run;
}

void CZynRunKeeper::RunEnded(const RunInProgress& run) {
    {
        ScopedLock lock(m_lock);
        const auto [first, last] = m_running.equal_range(run.Identity());
        for (auto entry = first; entry != last;) {
            entry = IsUnder(entry->second, run) ? m_running.erase(entry) : std::next(entry);
        }
        const auto waiting = m_waiting.find(run.Identity());
        if (waiting == m_waiting.end()) {
            return;
        }
        waiting->second.released = true;
    }
    m_work.Set();
}

CZynRunKeeper::Wait CZynRunKeeper::WaitForRunningEnd(const std::wstring& identity,
                                                     ComPtr<IZynTask> task, RunTicket ticket) {
    ScopedLock lock(m_lock);
    if (!HasRunUnderWay(identity)) {
        return Wait::NothingToWaitFor;
    }
    const bool added =
        m_waiting.try_emplace(identity, WaitingRun{std::move(task), std::move(ticket)}).second;
    return added ? Wait::Waiting : Wait::AlreadyWaiting;
}

// A run whose object is gone is not waited for: it never tells its end, so nothing would
// release the run waiting for it. (A finished run leaves at RunEnded, under this lock.)
bool CZynRunKeeper::HasRunUnderWay(const std::wstring& identity) {
    const auto [first, last] = m_running.equal_range(identity);
    return std::any_of(first, last, [](const auto& entry) { return !entry.second.expired(); });
}

void CZynRunKeeper::MarkReplaced(const std::wstring& identity) {
    std::vector<std::shared_ptr<RunInProgress>> runs;
    {
        ScopedLock lock(m_lock);
        const auto [first, last] = m_running.equal_range(identity);
        for (auto entry = first; entry != last; ++entry) {
            if (std::shared_ptr<RunInProgress> run = entry->second.lock()) {
                runs.push_back(std::move(run));
            }
        }
    }
    for (const std::shared_ptr<RunInProgress>& run : runs) {
        run->MarkReplaced();
    }
}

void CZynRunKeeper::Keep(const std::wstring& identity, RunRecord record) {
    {
        ScopedLock lock(m_lock);
        m_records.emplace_back(identity, std::move(record));
    }
    m_work.Set();
}

void CZynRunKeeper::Keep(Records records) {
    {
        ScopedLock lock(m_lock);
        if (m_records.empty()) {
            m_records = std::move(records);
        } else {
            std::move(records.begin(), records.end(), std::back_inserter(m_records));
        }
    }
    m_work.Set();
}

void CZynRunKeeper::KeepSkipped(const std::wstring& identity,
                                std::optional<WallClock::TimePoint> due, RunReason reason,
                                SkipReason skipped, std::wstring detail) {
    Keep(identity, SkippedRunRecord(due, reason, skipped, std::move(detail)));
}

void CZynRunKeeper::DoPendingWork() {
    ScopedLock working(m_working);
    EndOverdueRuns();
    QueueReleasedRuns();
    WriteRecords();
}

void CZynRunKeeper::KeepNotStarted(const std::wstring& identity, const RunTicket& ticket) {
    KeepSkipped(identity, ticket.due, ticket.reason, SkipReason::SchedulerStopped,
                L"the scheduler stopped before the run started");
}

void CZynRunKeeper::Clear() {
    std::map<std::wstring, WaitingRun> waiting;
    {
        ScopedLock lock(m_lock);
        waiting.swap(m_waiting);
        m_watches.clear();
    }
    for (const auto& [identity, run] : waiting) {
        KeepNotStarted(identity, run.ticket);
    }
}

HRESULT CZynRunKeeper::Process() {
    if (WaitAny({&KillEvent.Handle(), &m_work.Handle()}, MillisecondsToNextDeadline()) ==
        WAIT_OBJECT_0) {
        return S_OK;
    }
    DoPendingWork();
    return S_OK;
}

DWORD CZynRunKeeper::MillisecondsToNextDeadline() {
    ScopedLock lock(m_lock);
    if (m_watches.empty()) {
        return kLongestSleepMs;
    }
    const auto next =
        std::min_element(m_watches.begin(), m_watches.end(), [](const Watch& a, const Watch& b) {
            return a.deadline < b.deadline;
        })->deadline;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(next - WallClock::CurrentElapsed());
    return static_cast<DWORD>(std::clamp<long long>(left.count(), 0, kLongestSleepMs));
}

// Each run is marked before the cancel, and the cancel goes through the engine, which finds the
// processor that runs the task.
void CZynRunKeeper::EndOverdueRuns() {
    const std::chrono::nanoseconds now = WallClock::CurrentElapsed();
    std::vector<std::shared_ptr<RunInProgress>> overdue;
    {
        ScopedLock lock(m_lock);
        std::erase_if(m_watches, [&](const Watch& watch) {
            std::shared_ptr<RunInProgress> run = watch.run.lock();
            if (run && watch.deadline > now) {
                return false;
            }
            if (run) {
                overdue.push_back(std::move(run));
            }
            return true;
        });
    }
    for (const std::shared_ptr<RunInProgress>& run : overdue) {
        if (run->IsFinished()) {
            continue;
        }
        CEReportEventFormat(CE_SEVERITY_INFORMATION, kThreadName,
                            L"Cancelling task %ls. Still running after its time limit",
                            run->Identity().c_str());
        run->MarkEndedByTimeLimit();
        m_engine.CancelTask(run->Identity());
    }
}

void CZynRunKeeper::QueueReleasedRuns() {
    std::vector<WaitingRun> released;
    {
        ScopedLock lock(m_lock);
        for (auto entry = m_waiting.begin(); entry != m_waiting.end();) {
            if (!entry->second.released) {
                ++entry;
                continue;
            }
            released.push_back(std::move(entry->second));
            entry = m_waiting.erase(entry);
        }
    }
    for (WaitingRun& run : released) {
        m_engine.QueueTaskForExecution(run.task.Get(), std::move(run.ticket));
    }
}

// What writers killed in the middle of a write left in the log folder (ours, and the task logs'
// writers'), looked for once per folder: no scan of the work folder reaches it.
void CZynRunKeeper::RemoveAbandonedTemporaries(const std::wstring& logFolder) {
    std::vector<DirectoryEntry> entries;
    if (ListDirectory(logFolder, entries) != ERROR_SUCCESS) {
        return;
    }
    for (const DirectoryEntry& entry : entries) {
        if (!entry.isDirectory && IsAbandonedTemporary(logFolder, entry.name)) {
            RemoveFile(JoinPath(logFolder, entry.name));
        }
    }
}

// Only the holder of the work folder writes there, and a task deleted meanwhile gets no file
// again.
void CZynRunKeeper::WriteRecords() {
    Records batch;
    {
        ScopedLock lock(m_lock);
        batch.swap(m_records);
    }
    if (batch.empty() || !m_engine.HasWorkFolderLock()) {
        return;
    }
    const std::wstring workFolder = m_engine.GetWorkFolder();
    const std::wstring logFolder = JoinPath(workFolder, kWorkFolderLogsFolderName);
    if (logFolder != m_sweptFolder) {
        RemoveAbandonedTemporaries(logFolder);
        m_sweptFolder = logFolder;
    }
    std::map<std::wstring, std::vector<RunRecord>> byTask;
    for (auto& [identity, record] : batch) {
        byTask[identity].push_back(std::move(record));
    }
    for (const auto& [identity, records] : byTask) {
        if (!FileExists(JoinPath(workFolder, identity + kTaskDocumentExtension))) {
            continue;
        }
        RunRecordFile file(logFolder, identity);
        if (!file.Add(records)) {
            CEReportEventFormat(CE_SEVERITY_WARNING, kThreadName,
                                L"Failed to write the run records of task %ls to '%ls': %ls",
                                identity.c_str(), file.Path().c_str(),
                                SystemMessageText(GetLastError()).c_str());
        }
    }
}
