// One entry of the execution queue: the task waiting for a processor. Counted; holds its own
// reference to the task object.
#pragma once

#include <string>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "support/RefCountBase.h"

class CZynTaskEvent final : public CCERefCountBase {
public:
    CZynTaskEvent(ComPtr<IZynTask> task, std::wstring identity)
        : Task(std::move(task)), Identity(std::move(identity)) {}

    const ComPtr<IZynTask> Task;
    const std::wstring Identity;
};
