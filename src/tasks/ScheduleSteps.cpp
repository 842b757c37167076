#include "tasks/ScheduleSteps.h"

#include "support/ThrowError.h"

void RaiseConversionFailure(const wchar_t* message) {
    CEThrowError(E_FAIL, message);
}

ScheduleTime MoveMinutes(ScheduleTime time, std::int64_t minutes, const wchar_t* failure) {
    if (!StepClock(time.day, time.second, minutes, kUnitMinutes)) {
        RaiseConversionFailure(failure);
    }
    return time;
}
