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

ScheduleTime ScheduleTimeOf(WallTime wall) {
    const std::int64_t seconds =
        wall / kMicrosecondsPerSecond - (wall % kMicrosecondsPerSecond < 0);
    std::int64_t day = seconds / kSecondsPerDateDay;
    std::int64_t second = seconds % kSecondsPerDateDay;
    if (second < 0) {
        second += kSecondsPerDateDay;
        --day;
    }
    return {day + kDateDayOf1970, second};
}
