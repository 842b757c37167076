// The runs tasks should have had while nothing could run them, found when the scheduler thread
// looks again after a gap: it was disabled, the machine was suspended, the clock was set
// forward, or the thread was held up for longer than a run may be late. Every such run leaves a
// record saying why it did not happen. A task whose document asks for it (MissedRuns "once")
// gets one catch-up run when at least one of its runs was missed within its horizon; so it does
// at start-up for runs missed while no scheduler ran, judged from its newest record (or, without
// one, from when its document was written). Never more than one catch-up per task per gap.
//
// Owned by the engine and used under its main lock: Look by the scheduler thread before it
// computes next runs, the notes by whoever disables the engine or sees the clock change.
// Failures of single tasks are logged and skipped; nothing here throws.
#pragma once

#include <chrono>
#include <string>

#include "ZynTaskSchedulerLib/Types.h"
#include "tasks/RunRecord.h"

class CZynTaskSchedulerThread;
class CZynTasksList;
class CZynTaskListElement;

class MissedRuns {
public:
    void NoteDisabled() { m_disabled = true; }
    void NoteClockChange() { m_clockChanged = true; }

    // `lastLook` is when due tasks were last looked for (0 before the first look), and
    // `searchStart` where this cycle looks for next runs from: runs between the two were
    // missed when the search starts later than the last look.
    void Look(CZynTaskSchedulerThread& engine, CZynTasksList& list, DATE lastLook, DATE searchStart,
              DATE now);

private:
    struct Gap {
        DATE from = 0;
        DATE to = 0;
        SkipReason reason = SkipReason::Late;
        std::wstring cause;  // said after the lateness of each run
    };

    // Why runs between `from` and `now` were missed; takes the notes.
    Gap GapBefore(DATE from, DATE now, bool slept);
    void RecordGap(CZynTaskSchedulerThread& engine, CZynTaskListElement& element, const Gap& gap);
    void CatchUpAtStart(CZynTaskSchedulerThread& engine, CZynTaskListElement& element, DATE now);

    bool m_started = false;  // the look at start-up was made
    bool m_disabled = false;
    bool m_clockChanged = false;
    DATE m_handledUpTo = 0;  // missed runs up to this time have been dealt with
    std::chrono::milliseconds m_suspendedAtLastLook{0};
};
