// What the scheduler thread asks of a task object it made, beside IZynTask, to tell whether
// the next run it computed for the task last time still holds (NextRunMemo). Task objects of
// the library implement it; a task object without it is asked for its next run at every
// cycle. Internal to the library: clients never see its identity.
//
// Called with the engine's main lock held, under which alone a task's definition changes.
// Nothing here fails.
#pragma once

#include <cstdint>

#include "ZynTaskSchedulerLib/Unknown.h"

inline constexpr IID IID_IZynScheduleRevision = {
    0xAD47C992, 0x8A04, 0x40ED, {0x92, 0x1E, 0x8D, 0x85, 0x3B, 0xFB, 0xB0, 0xFF}};

struct IZynScheduleRevision : IUnknown {
    // 0 when no computed next run may be kept (a trigger repeats within a window); otherwise a
    // number that changes whenever the task's document is set or read again from its file.
    virtual std::uint64_t ScheduleRevision() = 0;

protected:
    ~IZynScheduleRevision() = default;
};
