#include "tasks/RepetitionWindow.h"

#include <cmath>

#include "support/MethodGuard.h"
#include "tasks/ScheduleArithmetic.h"

namespace {

constexpr GuardNames kSetBeginEndCycleTime{L"CZynTaskImpl", L"SetBeginEndCycleTime"};
constexpr double kMinutesPerDay = 24.0 * 60.0;

// The window from `windowStart()` (raising) for Duration minutes, into the outputs only when
// both bounds convert.
template <class WindowStart>
void OpenWindow(const CZynTaskTrigger& trigger, DATE& begin, DATE& end, WindowStart&& windowStart) {
    // A negative Interval never comes out of a task document; like 0 it means no repetition.
    if (trigger.Interval <= 0) {
        begin = 0;
        end = 0;
        return;
    }
    GuardAndLog(kSetBeginEndCycleTime, kTaskImplLogSource, [&] {
        const ScheduleTime first = windowStart();
        const ScheduleTime last = MoveMinutes(first, trigger.Duration, kNextRunTimeFailure);
        const DATE beginDate = ToDate(first, kNextRunTimeFailure);
        const DATE endDate = ToDate(last, kNextRunTimeFailure);
        begin = beginDate;
        end = endDate;
    });
}

}  // namespace

void SetBeginEndCycleTime(DATE day, const CZynTaskTrigger& trigger, DATE& begin, DATE& end) {
    OpenWindow(trigger, begin, end, [&] {
        const ScheduleTime beginTime = ToScheduleTime(trigger.BeginDate, kStartTimeFailure);
        return AtTimeOfDay(ToScheduleTime(day, kStartTimeFailure), beginTime);
    });
}

void SetBeginEndCycleTime(ScheduleTime day, ScheduleTime beginTime, const CZynTaskTrigger& trigger,
                          DATE& begin, DATE& end) {
    OpenWindow(trigger, begin, end, [&] { return AtTimeOfDay(day, beginTime); });
}

void CalcNextRepetition(CZynTaskTrigger& trigger) {
    const DATE last = trigger.LastRunTime;
    const DATE windowBegin = trigger.BeginRptCycleTime;
    if (trigger.Interval <= 0 || CompareDates(last, windowBegin) < 0) {
        return;
    }
    const double step = trigger.Interval / kMinutesPerDay;
    const double k =
        CompareDates(last, windowBegin) == 0 ? 1.0 : std::ceil((last - windowBegin) / step);
    DATE next = windowBegin + k * step;
    if (CompareDates(next, last) == 0) {
        next = windowBegin + (k + 1) * step;
    }
    if (CompareDates(next, trigger.BeginDate) < 0) {
        next = trigger.BeginDate;
    }
    trigger.NextRunTime = next;
}
