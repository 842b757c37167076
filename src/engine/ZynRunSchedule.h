// What the scheduler thread asks of a task object it made, beside IZynTask: the task's next run
// as a moment on the engine's real time line (the one its clock and wall-time line give), and
// whether a next run computed before still holds (NextRunMemo). Task objects of the library
// implement it; the engine's factory makes no others. Internal to the library: clients never
// see its identity.
//
// Called with the engine's main lock held, under which alone a task's definition changes.
#pragma once

#include <cstdint>

#include "ZynTaskSchedulerLib/Unknown.h"
#include "tasks/ScheduledRun.h"

inline constexpr IID IID_IZynRunSchedule = {
    0xAD47C992, 0x8A04, 0x40ED, {0x92, 0x1E, 0x8D, 0x85, 0x3B, 0xFB, 0xB0, 0xFF}};

struct IZynRunSchedule : IUnknown {
    // A number that changes whenever the task's document is set or read again from its file.
    virtual std::uint64_t ScheduleRevision() = 0;
    // The task's first run after the moment `after`; the failure of the computation otherwise.
    virtual HRESULT NextRunAfter(RealTime after, ScheduledRun* run) = 0;

protected:
    ~IZynRunSchedule() = default;
};
