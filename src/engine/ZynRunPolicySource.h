// What the engine asks of a task object, beside IZynTask, for the run policies of its document
// (RunPolicies): the time limit a queued run carries, what happens to a run due while another
// runs, and to runs missed. Task objects of the library implement it; a task object without it
// has no policies (behaves as tasks always did). Internal to the library.
//
// Called with the engine's main lock held, under which alone a task's definition changes.
// Nothing here fails.
#pragma once

#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "tasks/RunPolicies.h"

inline constexpr IID IID_IZynRunPolicySource = {
    0x5B0E7A31, 0x9C4D, 0x4F6A, {0xB2, 0x18, 0x3E, 0x71, 0xC9, 0x0D, 0x45, 0xA6}};

struct IZynRunPolicySource : IUnknown {
    virtual RunPolicies GetRunPolicies() = 0;

protected:
    ~IZynRunPolicySource() = default;
};

// The policies of `task`: the defaults when it offers none. Under the engine's main lock.
RunPolicies RunPoliciesOf(IZynTask& task);
