// The engine's keeper of runs, with a thread of its own ("CZynRunKeeper Thread") so that
// nothing it does lies on the scheduler thread's path or under the engine's main lock:
// - it writes the run records (RunRecordFile) that runs and skipped runs leave, in batches, while
//   the engine holds its work folder, for tasks whose document is still there (and removes what
//   writers killed in the middle left in the log folder);
// - it knows which runs are under way (StartRun, RunEnded), and holds at most one run per task
//   that waits for the run under way to end (the "queue" overlap policy), queuing it then;
// - it ends runs that go on past their time limit: marked first, then cancelled through the
//   engine, which ends the program's whole process group.
//
// Owned by the engine (a counted reference; runs in progress hold one too); the thread runs
// from construction until Stop. Any thread may call any member; the keeper's lock is taken
// alone and never held while it calls the engine, a run or the file system. Records that cannot
// be written are logged and dropped; nothing here throws.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "engine/RunInProgress.h"
#include "engine/RunTicket.h"
#include "support/AtlCriticalSection.h"
#include "support/AtlEvent.h"
#include "support/CEThread.h"
#include "support/ThreadAnnotations.h"

class CZynTaskSchedulerThread;

class CZynRunKeeper final : public CCEThread {
public:
    static constexpr const wchar_t* kThreadName = L"CZynRunKeeper Thread";

    explicit CZynRunKeeper(CZynTaskSchedulerThread& engine);
    ~CZynRunKeeper() override;

    // A run of the task starts now; with a time limit in its ticket, it is watched.
    std::shared_ptr<RunInProgress> StartRun(std::wstring identity, RunTicket ticket);
    // Called by the run once it has finished: a run that waited for it is queued.
    void RunEnded(const RunInProgress& run);

    enum class Wait { Waiting, AlreadyWaiting, NothingToWaitFor };
    // Lets a run of the task wait for the run under way to end. NothingToWaitFor when no run of
    // the task is under way any more (queue it now); AlreadyWaiting when one waits already.
    Wait WaitForRunningEnd(const std::wstring& identity, ComPtr<IZynTask> task, RunTicket ticket);
    // Marks every run of the task under way as replaced (before the engine cancels them).
    void MarkReplaced(const std::wstring& identity);

    // Records of tasks, by identity, in the order made.
    using Records = std::vector<std::pair<std::wstring, RunRecord>>;

    // A record to write for the task.
    void Keep(const std::wstring& identity, RunRecord record);
    // Records to write, handed over at once: a gap that many tasks missed runs in is one.
    void Keep(Records records);
    // The record of a run that did not happen: due at `due` (none for a run asked for now).
    void KeepSkipped(const std::wstring& identity, std::optional<WallClock::TimePoint> due,
                     RunReason reason, SkipReason skipped, std::wstring detail);

    // Does at once what the thread does when woken: ends the runs past their time limit, queues
    // the runs released, writes the records kept. The engine calls it before it lets go of its
    // work folder; tests call it after moving their clock. Never with the engine's main lock
    // held: the work takes it.
    void DoPendingWork();
    // The record of a queued run that never started, since the scheduler stopped.
    void KeepNotStarted(const std::wstring& identity, const RunTicket& ticket);
    // Drops the waiting runs (their task objects hold the engine), each with the record that it
    // did not start, and the time-limit watches.
    void Clear();

protected:
    HRESULT Process() override;

private:
    struct WaitingRun {
        ComPtr<IZynTask> task;
        RunTicket ticket;
        bool released = false;
    };
    // Deadlines on the clock nobody sets: a clock set by hand neither ends a run early nor
    // lets it run on.
    struct Watch {
        std::chrono::nanoseconds deadline;
        std::weak_ptr<RunInProgress> run;
    };

    bool HasRunUnderWay(const std::wstring& identity) EXCLUSIVE_LOCKS_REQUIRED(m_lock);
    DWORD MillisecondsToNextDeadline();
    void EndOverdueRuns();
    void QueueReleasedRuns();
    void WriteRecords() EXCLUSIVE_LOCKS_REQUIRED(m_working);
    void RemoveAbandonedTemporaries(const std::wstring& logFolder);

    CZynTaskSchedulerThread& m_engine;
    CAtlCriticalSection m_working;  // one pass of work at a time, taken before m_lock
    std::wstring m_sweptFolder GUARDED_BY(m_working);
    CAtlCriticalSection m_lock;
    // Runs under way: the records they leave name their task.
    std::multimap<std::wstring, std::weak_ptr<RunInProgress>> m_running GUARDED_BY(m_lock);
    std::map<std::wstring, WaitingRun> m_waiting GUARDED_BY(m_lock);
    std::vector<Watch> m_watches GUARDED_BY(m_lock);
    Records m_records GUARDED_BY(m_lock);
    CAtlEvent m_work{FALSE, FALSE};
};
