// One entry of a task list: the task object and the scheduling state the scheduler thread
// keeps for it between wake-ups, and what the list knows of the task's file. Counted
// (CCERefCountBase); every field but the constant ones is read and written only under the
// engine's main lock. The identity is read once, when the element is made, since a task's
// identity never changes after it was set.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "engine/NextRunMemo.h"
#include "engine/TaskFileSignature.h"
#include "engine/ZynRunSchedule.h"
#include "support/RefCountBase.h"

class CZynTaskListElement final : public CCERefCountBase {
public:
    CZynTaskListElement(ComPtr<IZynTask> task, std::wstring identity);

    const ComPtr<IZynTask> Task;
    const ComPtr<IZynRunSchedule> Schedule;  // null when the task object offers none
    const std::wstring Identity;             // empty when the task has none
    RealTime NextRunTime = 0;                // the moment of the next run; 0: none
    LONG NextRunTrigger = -1;                // the trigger that makes it
    RealTime LastQueuedTime = 0;
    LONG TriggerIndex = -1;
    LONG ProcessorId = -1;
    NextRunMemo NextRun;

    // The last refresh of the list that found the task file (CZynTasksList counts them).
    std::uint64_t LastFoundInScan = 0;
    // The version of the task file the task last reloaded from without fault, as a refresh
    // saw it: a refresh asks the task to reload only when the file changed since.
    std::optional<TaskFileSignature> LoadedFile;
    // The schedule name read from the version NamedFile of the task file, for lookups by name.
    std::optional<TaskFileSignature> NamedFile;
    std::optional<std::wstring> ScheduleName;  // none when the file names no schedule
};
