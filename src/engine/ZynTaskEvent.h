// One entry of the execution queue: the task waiting for a processor, with the ticket of the run
// it stands for. Counted; holds its own reference to the task object.
#pragma once

#include <string>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "engine/RunTicket.h"
#include "support/RefCountBase.h"

class CZynTaskEvent final : public CCERefCountBase {
public:
    CZynTaskEvent(ComPtr<IZynTask> task, std::wstring identity, RunTicket ticket)
        : Task(std::move(task)), Identity(std::move(identity)), Ticket(std::move(ticket)) {}

    const ComPtr<IZynTask> Task;
    const std::wstring Identity;
    const RunTicket Ticket;
};
