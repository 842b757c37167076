// One entry of a task list: the task object and the scheduling state the scheduler thread
// keeps for it between wake-ups. Counted (CCERefCountBase); the scheduling fields are read and
// written only under the engine's main lock. The identity is read once, when the element is
// made, since a task's identity never changes after it was set.
#pragma once

#include <string>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "support/RefCountBase.h"

class CZynTaskListElement final : public CCERefCountBase {
public:
    CZynTaskListElement(ComPtr<IZynTask> task, std::wstring identity)
        : Task(std::move(task)), Identity(std::move(identity)) {}

    const ComPtr<IZynTask> Task;
    const std::wstring Identity;  // empty when the task has none
    DATE NextRunTime = 0.0;       // 0 or less: no next run
    DATE LastQueuedTime = 0.0;
    // The run that was queued then (its NextRunTime), so that a clock set back does not
    // bring it round again.
    DATE QueuedRunTime = 0.0;
    LONG TriggerIndex = -1;
    LONG ProcessorId = -1;
};
