#include "tasks/TriggerRunSearch.h"

#include <limits>
#include <optional>

#include "tasks/CalendarFrame.h"
#include "tasks/RepetitionWindow.h"
#include "tasks/ScheduleArithmetic.h"
#include "tasks/TriggerSchedule.h"

namespace {

constexpr GuardNames kSingleCalculatorNames{L"CZynTaskImpl", L"CalcNextSingleRunTime"};
constexpr RealTime kNoLimit = std::numeric_limits<RealTime>::max();

// The run of a time of day whose wall time is `named`.
ScheduledRun RunAtWallTime(WallTime named, const WallTimeline& timeline) {
    const RealTime at = timeline.FirstShowing(named);
    return {at, named, timeline.WallAt(at) != named};
}

ScheduledRun OpeningOf(const RepetitionWindow& window, const WallTimeline& timeline) {
    return {window.Begin(), window.WallBegin(),
            timeline.WallAt(window.Begin()) != window.WallBegin()};
}

ScheduledRun RepetitionOf(RealTime at, const WallTimeline& timeline) {
    return {at, timeline.WallAt(at), false};
}

WallTime WholeSecond(WallTime wall) {
    const std::int64_t fraction = wall % kMicrosecondsPerSecond;
    return wall - (fraction < 0 ? fraction + kMicrosecondsPerSecond : fraction);
}

bool EndDatePassed(const CZynTaskTrigger& trigger, DATE date) {
    return CompareDates(trigger.EndDate, 0) > 0 && CompareDates(date, trigger.EndDate) > 0;
}

// Once, with repetition: the single window from BeginDate, its end included.
ScheduledRun SingleRepetitionRun(CZynTaskTrigger& trigger, RealTime after,
                                 const WallTimeline& timeline) {
    const RepetitionWindow window(ToScheduleTime(trigger.BeginDate, kStartTimeFailure), trigger,
                                  timeline);
    window.Describe(trigger);
    const RealTime at = window.RunAfter(after, true, kNoLimit);
    if (at == window.Begin()) {
        return OpeningOf(window, timeline);
    }
    return at == 0 ? ScheduledRun{} : RepetitionOf(at, timeline);
}

// A calendar type with repetition. The window that opened last at or before `after` runs on
// until the next one opens; that next one is the current run day's when it has not opened yet,
// else the later run day's.
ScheduledRun CalendarRepetitionRun(CZynTaskTrigger& trigger, const CalendarRules& rules,
                                   RealTime after, const WallTimeline& timeline) {
    if (EndDatePassed(trigger, trigger.LastRunTime)) {
        return {};
    }
    CalendarRunDays days;
    if (!FindCalendarRunDays(trigger, rules, days)) {
        return {};
    }
    const RepetitionWindow current(days.first, trigger, timeline);
    std::optional<RepetitionWindow> open;
    std::optional<RepetitionWindow> next;
    if (current.Begin() <= after) {
        open.emplace(current);
        if (days.hasLater) {
            next.emplace(ToScheduleTime(days.later, kNextRunTimeFailure), trigger, timeline);
        }
    } else {
        next.emplace(current);
        // A run day before BeginDate opens no window.
        if (days.hasPrevious &&
            CompareDates(ToDate(days.previous, kNextRunTimeFailure), trigger.BeginDate) >= 0) {
            open.emplace(days.previous, trigger, timeline);
        }
    }
    const RealTime limit = next ? next->Begin() : kNoLimit;
    const RealTime repetition = open ? open->RunAfter(after, false, limit) : 0;
    ScheduledRun run;
    if (repetition != 0) {
        open->Describe(trigger);
        run = RepetitionOf(repetition, timeline);
    } else if (next) {
        next->Describe(trigger);
        run = OpeningOf(*next, timeline);
    }
    return run.IsRun() && EndDatePassed(trigger, DateOfWallTime(run.named)) ? ScheduledRun{} : run;
}

// Without repetition: the wall-time calculator's run at the begin time of day.
ScheduledRun TimeOfDayRun(CZynTaskTrigger& trigger, const WallTimeline& timeline) {
    CalculateTriggerNextRunTime(trigger);
    WallTime named = 0;
    if (CompareDates(trigger.NextRunTime, trigger.LastRunTime) < 0 ||
        CompareDates(trigger.NextRunTime, 0) <= 0 || !WallTimeOfDate(trigger.NextRunTime, named)) {
        return {};
    }
    return RunAtWallTime(named, timeline);
}

}  // namespace

ScheduledRun NextTriggerRun(CZynTaskTrigger& trigger, RealTime after,
                            const WallTimeline& timeline) {
    trigger.LastRunTime = DateOfWallTime(WholeSecond(timeline.HighestShownBy(after)));
    if (!HasWallSchedule(trigger)) {
        // The idle and unscheduled types are given no run; one they hold still counts.
        const ScheduledRun kept = TimeOfDayRun(trigger, timeline);
        return kept.at > after ? kept : ScheduledRun{};
    }
    ScheduledRun run;
    const bool single = IsSingleRunTrigger(trigger);
    const CalendarRules* rules = CalendarRulesOf(trigger);
    if (!RepeatsWithinWindows(trigger) || (!single && rules == nullptr)) {
        run = TimeOfDayRun(trigger, timeline);
    } else {
        GuardCalculator(single ? kSingleCalculatorNames : kCalendarCalculatorNames, trigger, [&] {
            run = single ? SingleRepetitionRun(trigger, after, timeline)
                         : CalendarRepetitionRun(trigger, *rules, after, timeline);
        });
    }
    if (run.at <= after) {
        run = {};
    }
    trigger.NextRunTime = run.IsRun() ? DateOfWallTime(timeline.WallAt(run.at)) : 0;
    return run;
}
