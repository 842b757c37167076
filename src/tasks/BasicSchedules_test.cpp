#include "tasks/BasicSchedules.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/SystemMessage.h"
#include "tasks/TaskTestSupport.h"

namespace {

// Type 0: BeginDate 2024-03-10 10:00.
TEST(OnceSchedule, WithoutRepetitionRunsAtTheBeginDateOnly) {
    const TriggerSettings once{.type = kTriggerOnce, .begin = L"2024-03-10 10:00"};
    const TriggerSettings type8{.type = kTriggerFirstOnceAlias, .begin = L"2024-03-10 10:00"};
    const TriggerSettings type42{.type = 42, .begin = L"2024-03-10 10:00"};
    ExpectNextRuns({
        {"an hour before", once, L"2024-03-10 09:00", L"2024-03-10 10:00"},
        {"at the begin date: the run is due, none follows", once, L"2024-03-10 10:00", nullptr},
        {"a missed run is gone", once, L"2024-03-11 10:00", nullptr},
        {"type 8 runs once", type8, L"2024-03-10 09:00", L"2024-03-10 10:00"},
        {"type 8 after its run", type8, L"2024-03-10 10:00:01", nullptr},
        {"any type above 8 runs once", type42, L"2024-03-01", L"2024-03-10 10:00"},
    });
}

TEST(OnceSchedule, RepeatsUpToTheWindowsEndInclusive) {
    const TriggerSettings quarterly{
        .type = kTriggerOnce, .begin = L"2024-03-10 10:00", .interval = 15, .duration = 60};
    const TriggerSettings hourly{
        .type = kTriggerOnce, .begin = L"2024-03-10 10:00", .interval = 60, .duration = 60};
    const TriggerSettings uneven{
        .type = kTriggerOnce, .begin = L"2024-03-10 10:00", .interval = 45, .duration = 60};
    const TriggerSettings overMidnight{
        .type = kTriggerOnce, .begin = L"2024-12-31 23:30", .interval = 30, .duration = 90};
    ExpectNextRuns({
        {"before the window", quarterly, L"2024-03-10 09:00", L"2024-03-10 10:00",
         L"2024-03-10 10:00", L"2024-03-10 11:00"},
        {"at the first run", quarterly, L"2024-03-10 10:00", L"2024-03-10 10:15"},
        {"between runs", quarterly, L"2024-03-10 10:07", L"2024-03-10 10:15"},
        {"the last run is the window's end", quarterly, L"2024-03-10 10:50", L"2024-03-10 11:00"},
        {"at the window's end", quarterly, L"2024-03-10 11:00", nullptr},
        {"duration equal to the interval", hourly, L"2024-03-10 10:30", L"2024-03-10 11:00"},
        {"a repetition past the window is not made", uneven, L"2024-03-10 10:45", nullptr},
        {"the window crosses midnight and the year", overMidnight, L"2024-12-31 23:30",
         L"2025-01-01 00:00"},
        {"at the end after midnight", overMidnight, L"2025-01-01 01:00", nullptr},
    });
}

// Type 1, the documented examples and more.
TEST(DailySchedule, RunsEveryDaysIntervalDaysAtTheBeginTime) {
    const TriggerSettings everyOther{
        .type = kTriggerDaily, .begin = L"2024-01-01 08:00", .daysInterval = 2};
    const TriggerSettings weekly{
        .type = kTriggerDaily, .begin = L"2024-01-01 10:00", .daysInterval = 7};
    const TriggerSettings everyThird{
        .type = kTriggerDaily, .begin = L"2023-12-30 06:00", .daysInterval = 3};
    ExpectNextRuns({
        {"an hour after the first run", everyOther, L"2024-01-01 09:00", L"2024-01-03 08:00"},
        {"at a run", everyOther, L"2024-01-03 08:00", L"2024-01-05 08:00"},
        {"before the run on a run day", everyOther, L"2024-01-03 07:59:59", L"2024-01-03 08:00"},
        {"before the begin date", everyOther, L"2023-12-25 12:00", L"2024-01-01 08:00"},
        {"a week of days later", weekly, L"2024-02-27 12:00", L"2024-03-04 10:00"},
        {"across the year boundary", everyThird, L"2024-01-01 12:00", L"2024-01-02 06:00"},
    });
}

TEST(DailySchedule, LeapYearsAndYearEnds) {
    auto daily = [](const wchar_t* begin) {
        return TriggerSettings{.type = kTriggerDaily, .begin = begin};
    };
    ExpectNextRuns({
        {"onto 29 February 2024", daily(L"2024-02-01 10:00"), L"2024-02-28 11:00",
         L"2024-02-29 10:00"},
        {"off 29 February 2024", daily(L"2024-02-01 10:00"), L"2024-02-29 10:00",
         L"2024-03-01 10:00"},
        {"2023 has no 29 February", daily(L"2023-02-01 10:00"), L"2023-02-28 11:00",
         L"2023-03-01 10:00"},
        {"1900 has none", daily(L"1900-02-01 10:00"), L"1900-02-28 11:00", L"1900-03-01 10:00"},
        {"2000 has one", daily(L"2000-02-01 10:00"), L"2000-02-28 11:00", L"2000-02-29 10:00"},
        {"2100 has none", daily(L"2100-02-01 10:00"), L"2100-02-28 11:00", L"2100-03-01 10:00"},
    });
}

TEST(DailySchedule, EndDateBoundaries) {
    auto ending = [](LONG daysInterval, const wchar_t* end) {
        return TriggerSettings{.type = kTriggerDaily,
                               .begin = L"2024-01-01 08:00",
                               .end = end,
                               .daysInterval = daysInterval};
    };
    ExpectNextRuns({
        {"the next run day lies past the end date", ending(2, L"2024-01-04 08:00"),
         L"2024-01-03 09:00", nullptr},
        {"the next run day before the end date", ending(2, L"2024-01-04 08:00"),
         L"2024-01-02 09:00", L"2024-01-03 08:00"},
        {"a run exactly at the end date is made", ending(1, L"2024-01-03 08:00"),
         L"2024-01-02 09:00", L"2024-01-03 08:00"},
        {"after the run at the end date", ending(1, L"2024-01-03 08:00"), L"2024-01-03 08:00",
         nullptr},
        {"an end date at midnight excludes that day's run", ending(1, L"2024-01-03"),
         L"2024-01-02 09:00", nullptr},
    });
}

TEST(DailySchedule, RepetitionWindowsAcrossMidnight) {
    auto nightly = [](DWORD duration, LONG interval = 60) {
        return TriggerSettings{.type = kTriggerDaily,
                               .begin = L"2024-01-01 22:00",
                               .interval = interval,
                               .duration = duration};
    };
    const TriggerSettings everyOther{.type = kTriggerDaily,
                                     .begin = L"2024-01-01 10:00",
                                     .interval = 30,
                                     .duration = 60,
                                     .daysInterval = 2};
    ExpectNextRuns({
        {"before the first window", nightly(120), L"2024-01-01 21:00", L"2024-01-01 22:00",
         L"2024-01-01 22:00", L"2024-01-02 00:00"},
        {"an Interval without a Duration runs at the begin time", nightly(0), L"2024-01-03 21:00",
         L"2024-01-03 22:00"},
        {"at the window's begin", nightly(120), L"2024-01-01 22:00", L"2024-01-01 23:00"},
        {"a run at the window's end is not made", nightly(120), L"2024-01-01 23:00",
         L"2024-01-02 22:00"},
        {"after the window", nightly(120), L"2024-01-02 00:30", L"2024-01-02 22:00",
         L"2024-01-02 22:00", L"2024-01-03 00:00"},
        {"through the previous day's window", nightly(200), L"2024-01-02 00:15",
         L"2024-01-02 01:00", L"2024-01-01 22:00", L"2024-01-02 01:20"},
        {"nothing after the last run of the previous day's window", nightly(200),
         L"2024-01-02 01:00", L"2024-01-02 22:00"},
        {"nor at its end", nightly(180), L"2024-01-02 00:15", L"2024-01-02 22:00"},
        {"every 50 minutes for three hours from 22:00: nothing at 01:20", nightly(180, 50),
         L"2024-01-02 00:30", L"2024-01-02 22:00"},
        {"on a day between run days", everyOther, L"2024-01-02 10:15", L"2024-01-03 10:00"},
        {"late in a window, the interval skips a day", everyOther, L"2024-01-03 10:30",
         L"2024-01-05 10:00"},
        // A window longer than a day: the next day's window takes over where it opens.
        {"the next window opens before the old grid's next run", nightly(1500, 50),
         L"2024-01-02 21:45", L"2024-01-02 22:00"},
        {"its own grid counts from its begin", nightly(1500, 50), L"2024-01-02 22:00",
         L"2024-01-02 22:50", L"2024-01-02 22:00", L"2024-01-03 23:00"},
    });
}

TEST(DailySchedule, IntervalsBeyondTheCalendarOrBelowOne) {
    const TriggerSettings distant{
        .type = kTriggerDaily, .begin = L"2024-01-01 10:00", .daysInterval = 1'000'000};
    ExpectNextRuns({
        {"a million days on", distant, L"2024-01-02", L"4761-11-28 10:00"},
        {"no interval: no further run",
         {.type = kTriggerDaily, .daysInterval = 0},
         L"2024-01-02",
         nullptr},
        {"negative interval: no further run",
         {.type = kTriggerDaily, .daysInterval = -3},
         L"2024-01-02",
         nullptr},
    });
    LogCapture log;
    CountedPtr<CZynTaskTrigger> beyond = MakeTrigger(
        {.type = kTriggerDaily, .begin = L"2024-01-01 10:00", .daysInterval = 2'147'483'647});
    beyond->LastRunTime = DateOf(L"2024-01-02");
    beyond->NextRunTime = 1;
    EXPECT_EQ(CalcNextDailyRunTime(*beyond), E_FAIL);
    EXPECT_EQ(beyond->NextRunTime, 0);
    EXPECT_TRUE(log.Contains(CE_SEVERITY_ERROR, L"CZynTaskImpl",
                             L"CZynTaskImpl::CalcNextDailyRunTime failed. Failed to convert next "
                             L"run time system time to variant time. " +
                                 HResultText(E_FAIL) + L"."));
}

// A reference time between two seconds (as a repetition step far in the future leaves one) is
// later than the run of its day, and the next run is the next day's, never that earlier one.
TEST(DailySchedule, ReferenceBetweenSecondsAfterTheRun) {
    const double second = 1.0 / 86400.0;
    const struct {
        const char* rule;
        const wchar_t* begin;
        DATE last;
        const wchar_t* next;
    } rows[] = {
        {"rounds up to 10:15:00", L"2024-01-01 10:00", DateOf(L"2024-03-10 10:15") - 0.3 * second,
         L"2024-03-11 10:00"},
        {"rounds down to 10:15:00", L"2024-01-01 10:00", DateOf(L"2024-03-10 10:15") + 0.3 * second,
         L"2024-03-11 10:00"},
        {"a 15-minute step in 2479", L"1900-01-01 10:00",
         DateOf(L"2479-01-01 10:00") + 15.0 / 1440.0, L"2479-01-02 10:00"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rule);
        CountedPtr<CZynTaskTrigger> trigger =
            MakeTrigger({.type = kTriggerDaily, .begin = row.begin});
        trigger->LastRunTime = row.last;
        EXPECT_EQ(CalcNextDailyRunTime(*trigger), S_OK);
        EXPECT_EQ(CompareDates(trigger->NextRunTime, DateOf(row.next)), 0)
            << "got " << DateText(trigger->NextRunTime);
    }
}

// Type 2; BeginDate 2024-01-01 is a Monday.
TEST(WeeklySchedule, RunsOnTheSelectedDaysOfActiveWeeks) {
    const TriggerSettings mondayFriday{
        .type = kTriggerWeekly, .begin = L"2024-01-01 10:00", .weeksInterval = 2, .daysOfWeek = 34};
    const TriggerSettings workdays{
        .type = kTriggerWeekly, .begin = L"2024-01-03 08:00", .weeksInterval = 1, .daysOfWeek = 62};
    const TriggerSettings sundays{
        .type = kTriggerWeekly, .begin = L"2024-01-03 08:00", .daysOfWeek = 1};
    const TriggerSettings everyThirdSaturday{
        .type = kTriggerWeekly, .begin = L"2024-01-06 07:00", .weeksInterval = 3, .daysOfWeek = 64};
    const TriggerSettings mondays{
        .type = kTriggerWeekly, .begin = L"2024-12-02 09:00", .daysOfWeek = 2};
    ExpectNextRuns({
        {"Tuesday after the first Monday", mondayFriday, L"2024-01-02 12:00", L"2024-01-05 10:00"},
        {"Friday after its run", mondayFriday, L"2024-01-05 11:00", L"2024-01-15 10:00"},
        {"before the begin date", mondayFriday, L"2023-12-20 10:00", L"2024-01-01 10:00"},
        {"in the week between", mondayFriday, L"2024-01-08 12:00", L"2024-01-15 10:00"},
        {"at the run of the next active week", mondayFriday, L"2024-01-15 10:00",
         L"2024-01-19 10:00"},
        {"Saturday of an active week", mondayFriday, L"2024-01-20 10:00", L"2024-01-29 10:00"},
        {"Friday to Monday", workdays, L"2024-01-05 09:00", L"2024-01-08 08:00"},
        {"the begin day itself", workdays, L"2024-01-02", L"2024-01-03 08:00"},
        {"days of the begin week before the begin date are not runs",
         {.type = kTriggerWeekly, .begin = L"2024-01-03 08:00", .daysOfWeek = 2 | 8},
         L"2023-12-31",
         L"2024-01-03 08:00"},
        {"Sunday begins the next week", sundays, L"2024-01-03 09:00", L"2024-01-07 08:00"},
        {"Saturday, three weeks on", everyThirdSaturday, L"2024-01-06 08:00", L"2024-01-27 07:00"},
        {"from an idle week", everyThirdSaturday, L"2024-01-20 08:00", L"2024-01-27 07:00"},
        {"into the new year", mondays, L"2024-12-30 10:00", L"2025-01-06 09:00"},
    });
}

TEST(WeeklySchedule, RepetitionThroughThePreviousRunDaysWindow) {
    const TriggerSettings fridayNights{.type = kTriggerWeekly,
                                       .begin = L"2024-01-05 23:00",
                                       .interval = 60,
                                       .duration = 180,
                                       .daysOfWeek = 32};
    const TriggerSettings mondayNights{.type = kTriggerWeekly,
                                       .begin = L"2024-01-01 23:00",
                                       .interval = 60,
                                       .duration = 180,
                                       .weeksInterval = 2,
                                       .daysOfWeek = 2};
    const TriggerSettings sundayMondayNights{.type = kTriggerWeekly,
                                             .begin = L"2024-01-07 23:00",
                                             .interval = 60,
                                             .duration = 180,
                                             .daysOfWeek = 1 | 2};
    ExpectNextRuns({
        {"Monday morning in Sunday's window, the day before in the same week", sundayMondayNights,
         L"2024-01-08 00:30", L"2024-01-08 01:00", L"2024-01-07 23:00", L"2024-01-08 02:00"},
        {"Saturday morning in Friday's window", fridayNights, L"2024-01-06 00:30",
         L"2024-01-06 01:00", L"2024-01-05 23:00", L"2024-01-06 02:00"},
        {"Saturday after Friday's window", fridayNights, L"2024-01-06 02:00", L"2024-01-12 23:00"},
        {"Tuesday morning, the first week", mondayNights, L"2024-01-02 00:30", L"2024-01-02 01:00"},
        {"Tuesday morning of the next active week", mondayNights, L"2024-01-16 00:30",
         L"2024-01-16 01:00", L"2024-01-15 23:00", L"2024-01-16 02:00"},
        {"Tuesday morning of an idle week", mondayNights, L"2024-01-09 00:30", L"2024-01-15 23:00"},
    });
}

TEST(WeeklySchedule, MasksAndIntervalsWithoutASchedule) {
    ExpectNextRuns({
        {"only bit 7", {.type = kTriggerWeekly, .daysOfWeek = 128}, L"2024-01-02", nullptr},
        {"no weekday", {.type = kTriggerWeekly, .daysOfWeek = 0}, L"2024-01-02", nullptr},
        {"negative weeks interval",
         {.type = kTriggerWeekly, .weeksInterval = -1, .daysOfWeek = 2},
         L"2024-01-02",
         nullptr},
        {"extra bits beside a weekday",
         {.type = kTriggerWeekly, .begin = L"2024-01-01 10:00", .daysOfWeek = 0xFF00 | 4},
         L"2024-01-01 12:00",
         L"2024-01-02 10:00"},
    });
}

}  // namespace
