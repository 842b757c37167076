// The runs tasks should have had while nothing could run them: found when the scheduler thread
// looks again after a gap (it was disabled, the machine was suspended, the clock was corrected,
// or the thread was held up for longer than a run may be late), and when it finds a due run
// later than a run may be. Every such run leaves a record saying why it did not happen. A task
// whose document asks for it (MissedRuns "once") gets one catch-up run when at least one of its
// runs was missed within its horizon; so it does at start-up for runs missed while no scheduler
// ran, judged from its newest record (or, without one, from when its document was written).
// Never more than one catch-up per task per gap.
//
// The runs are the scheduler's own (CZynTaskSchedulerThread::NextRunOf), each asked for after
// the moment of the one before, on the engine's real time line; a task whose next run, kept
// from the last look, lies beyond the gap costs no question. A clock corrected (SchedulerClock)
// starts that line again from the new time, and the runs between are missed; a clock set by
// hand by less moves the wall-time line instead, and the runs it skips come at once, as at a
// zone's spring change, so it leaves no gap.
//
// Owned by the engine and used under its main lock: Look by the scheduler thread before it
// computes next runs, RecordLate while it looks for due tasks, NoteDisabled by whoever disables
// the engine. A task whose runs cannot be computed is logged and passed over; nothing here
// throws.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "platform/WallTimeline.h"
#include "tasks/RunRecord.h"

class CZynTaskSchedulerThread;
class CZynTasksList;
class CZynTaskListElement;

class MissedRuns {
public:
    // One look of the scheduler thread: due runs were looked for up to `lastLook` (0 before the
    // first look), next runs are looked for after `searchStart`, and it is `now`.
    struct Span {
        RealTime lastLook = 0;
        RealTime searchStart = 0;
        RealTime now = 0;
    };

    void NoteDisabled() { m_disabled = true; }
    // Runs after the last look up to the search start were missed, when the search starts later;
    // `corrected` says that the clock was corrected since the last look.
    void Look(CZynTaskSchedulerThread& engine, CZynTasksList& list, const Span& span,
              bool corrected);
    // The element's next run is due but later than a run may be: it and the task's runs after
    // it up to `now`, which the next search passes, did not happen.
    void RecordLate(CZynTaskSchedulerThread& engine, CZynTaskListElement& element, RealTime now);
    // Hands the records made since the last time to the engine's run keeper, all at once:
    // after a gap, thousands of tasks may have missed runs. Look does it itself.
    void HandOver(CZynTaskSchedulerThread& engine);

private:
    struct Gap {
        RealTime from = 0;  // runs after this moment
        RealTime to = 0;    // up to this one
        RealTime now = 0;
        SkipReason reason = SkipReason::Late;
        std::wstring cause;  // said after the lateness of each run
    };

    // What kept runs from happening since the last question; takes the notes.
    void TakeCause(Gap& gap, bool corrected);
    void RecordGap(CZynTaskSchedulerThread& engine, CZynTaskListElement& element, const Gap& gap);
    void CatchUpAtStart(CZynTaskSchedulerThread& engine, CZynTaskListElement& element,
                        RealTime now);

    std::vector<std::pair<std::wstring, RunRecord>> m_records;  // not yet handed over
    bool m_started = false;                                     // the look at start-up was made
    bool m_disabled = false;
    RealTime m_handledUpTo = 0;  // missed runs up to this moment have been dealt with
    std::chrono::milliseconds m_suspendedAtLastLook{0};
    // The cause RecordLate found for the look at this moment.
    RealTime m_lateCauseAt = 0;
    Gap m_lateCause;
};
