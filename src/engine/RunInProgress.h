// One run from the moment its handler is started to its end: the processor that starts it has
// the engine's run keeper make it (CZynRunKeeper::StartRun), and whoever sees the end first
// finishes it (the handler's status event, a cancel, a start that failed). Finishing hands the
// run's record to the engine's run keeper, which writes it and lets a run that waited for this one
// go. A run the keeper ends for its time limit, or that a newer run replaces, is marked so before
// it is cancelled, and its record says so.
//
// Shared (std::shared_ptr) between the processor's handler entry and the keeper's time-limit
// watch. Thread-safe: any thread may mark or finish it; only the first Finish counts.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "engine/RunTicket.h"
#include "support/RefCountBase.h"
#include "tasks/RunRecord.h"

class CZynRunKeeper;

// How a run ended, as far as its handler can tell.
struct RunEnd {
    RunOutcome outcome = RunOutcome::Completed;
    std::optional<DWORD> exitCode;
    std::optional<int> signal;
    std::wstring detail;
    std::optional<std::string> output;  // none when the handler captured nothing
    std::uint64_t outputBytes = 0;
};

class RunInProgress {
public:
    RunInProgress(CountedPtr<CZynRunKeeper> keeper, std::wstring identity, RunTicket ticket,
                  WallClock::TimePoint started);

    const std::wstring& Identity() const { return m_identity; }

    // Before the run is cancelled: it went on past its time limit, or a newer run replaces it.
    void MarkEndedByTimeLimit();
    void MarkReplaced();
    bool IsFinished();
    // The status its handler reported at its end, noted with the time; the record is finished
    // later, with what the handler can tell, and keeps that time as the end.
    void NoteEnd(LONG status);
    std::optional<LONG> ReportedStatus();
    // The end of the run, taken once; every later call is ignored.
    void Finish(RunEnd end);

private:
    struct Marks {
        bool timeLimitPassed = false;
        bool replaced = false;
        std::optional<WallClock::TimePoint> ended;
    };
    RunRecord RecordOf(RunEnd end, Marks marks) const;

    const CountedPtr<CZynRunKeeper> m_keeper;
    const std::wstring m_identity;
    const RunTicket m_ticket;
    const WallClock::TimePoint m_started;
    std::mutex m_mutex;  // guards the flags below
    bool m_timeLimitPassed = false;
    bool m_replaced = false;
    bool m_finished = false;
    std::optional<LONG> m_reportedStatus;
    std::optional<WallClock::TimePoint> m_reportedAt;
};
