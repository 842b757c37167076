// The answer of a task's last next-run computation, kept so that the scheduler thread need not
// ask the task again at every cycle. A task's next run after a reference is the first of its
// runs after it, so the answer found for one reference also holds for every later reference
// short of the run found (or for every later one, when no run was found), as long as the
// task's definition stays the same. Runs that repeat within a window are the exception: which
// window a reference falls in decides their grid, so a task with such a trigger is asked again
// every time (its definition revision is 0).
//
// References are whole seconds, as the scheduler's clock gives them. A plain value, used
// under the engine's main lock; nothing here fails.
#pragma once

#include <cstdint>

#include "ZynTaskSchedulerLib/Types.h"

class NextRunMemo {
public:
    // Whether the next run after `reference` is known for the definition of revision
    // `revision`; `next` gets it when it is.
    bool Recall(std::uint64_t revision, DATE reference, DATE& next) const;
    // Keeps `next`, the next run after `reference` that revision `revision` of the definition
    // gave (0 keeps nothing).
    void Remember(std::uint64_t revision, DATE reference, DATE next);

private:
    std::uint64_t m_revision = 0;
    DATE m_reference = 0;
    DATE m_next = 0;
};
