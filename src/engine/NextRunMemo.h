// The answer of a task's last next-run computation, kept so that the scheduler thread need not
// ask the task again at every cycle. A task's runs are a set of moments fixed by its definition
// and the wall-time line, and its next run after a moment is the first of them after it: the
// answer found for one moment also holds for every later moment short of the run found (or for
// every later one, when no run was found), as long as the definition and the line stay the same.
//
// A plain value, used under the engine's main lock; nothing here fails.
#pragma once

#include <cstdint>

#include "tasks/ScheduledRun.h"

class NextRunMemo {
public:
    // Whether the next run after `reference` is known for revision `revision` of the definition
    // and generation `line` of the wall-time line; `next` gets it when it is.
    bool Recall(std::uint64_t revision, std::uint64_t line, RealTime reference,
                ScheduledRun& next) const;
    // Keeps `next`, the next run after `reference` that revision `revision` gave on generation
    // `line` (revision 0 keeps nothing).
    void Remember(std::uint64_t revision, std::uint64_t line, RealTime reference,
                  const ScheduledRun& next);

private:
    std::uint64_t m_revision = 0;
    std::uint64_t m_line = 0;
    RealTime m_reference = 0;
    ScheduledRun m_next;
};
