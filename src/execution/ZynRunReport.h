// What the command-line handler tells of a run beside its status event: how its program ended
// (exit code, the signal that ended it, a cancel, a start that failed and why) and the tail of
// what it wrote. The task processor asks for it once the run has ended, to complete the run's
// record; a handler without it (any plug-in) leaves the record with what its status said.
// Internal to the library: clients never see its identity.
//
// Called after the handler fired its end or was cancelled, on any thread; it may be the thread
// that fires the handler's event. Nothing here fails.
#pragma once

#include "ZynTaskSchedulerLib/Unknown.h"
#include "engine/RunInProgress.h"

inline constexpr IID IID_IZynRunReport = {
    0x2E6F1C84, 0x7B3A, 0x4D59, {0x8F, 0x0C, 0x61, 0xA4, 0xD2, 0x9B, 0x37, 0xE5}};

struct IZynRunReport : IUnknown {
    // Puts into `end` what the handler knows beyond the status it reported.
    virtual void GetRunEnd(RunEnd& end) = 0;

protected:
    ~IZynRunReport() = default;
};
