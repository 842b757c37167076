#include "tasks/MonthlySchedule.h"

#include <gtest/gtest.h>

#include "platform/SystemMessage.h"
#include "tasks/MonthlySearch.h"
#include "tasks/TaskTestSupport.h"

namespace {

constexpr DWORD Day(int day) {
    return 1u << (day - 1);
}
constexpr DWORD kJanuary = 0x001;
constexpr DWORD kFebruary = 0x002;
constexpr DWORD kMarch = 0x004;
constexpr DWORD kApril = 0x008;
constexpr DWORD kDecember = 0x800;
constexpr DWORD kMonday = 2;
constexpr DWORD kWednesday = 8;
constexpr DWORD kThursday = 16;
constexpr DWORD kFriday = 32;

TriggerSettings OnDays(DWORD days, DWORD months = kAllMonths,
                       const wchar_t* begin = L"2024-01-01 06:00") {
    return {
        .type = kTriggerMonthlyDay, .begin = begin, .daysOfMonth = days, .monthsOfYear = months};
}

TriggerSettings OnWeekdays(LONG week, DWORD weekdays, DWORD months = kAllMonths,
                           const wchar_t* begin = L"2024-01-01 09:00") {
    return {.type = kTriggerMonthlyDow,
            .begin = begin,
            .daysOfWeek = weekdays,
            .monthsOfYear = months,
            .week = week};
}

TEST(MonthlyDaySchedule, RunsOnSelectedDaysOfSelectedMonths) {
    const TriggerSettings firstAndFifteenth = OnDays(Day(1) | Day(15));
    ExpectNextRuns({
        {"after the first run", firstAndFifteenth, L"2024-01-01 07:00", L"2024-01-15 06:00"},
        {"the end of January", firstAndFifteenth, L"2024-01-31 07:00", L"2024-02-01 06:00"},
        {"at the last run of the year", firstAndFifteenth, L"2024-12-15 06:00",
         L"2025-01-01 06:00"},
        {"before the begin date", firstAndFifteenth, L"2023-11-20", L"2024-01-01 06:00"},
        {"the 31st skips short months", OnDays(Day(31)), L"2024-01-31 07:00", L"2024-03-31 06:00"},
        {"the only 31st among the selected months", OnDays(Day(31), 0x528 | kDecember),
         L"2024-01-02", L"2024-12-31 06:00"},
        {"30 April when February has none", OnDays(Day(30), kFebruary | kApril), L"2024-01-15",
         L"2024-04-30 06:00"},
        {"extra bits beside a selected day", OnDays(0x80000000u | Day(2), kAllMonths | 0xF000),
         L"2024-01-02 07:00", L"2024-02-02 06:00"},
    });
}

TEST(MonthlyDaySchedule, TwentyNinthOfFebruaryComesWithLeapYears) {
    const TriggerSettings leapDay = OnDays(Day(29), kFebruary, L"1890-01-01 10:00");
    ExpectNextRuns({
        {"from 2021", leapDay, L"2021-06-01", L"2024-02-29 10:00"},
        {"2100 is skipped", leapDay, L"2096-03-01", L"2104-02-29 10:00"},
        {"1900 is skipped", leapDay, L"1896-03-01", L"1904-02-29 10:00"},
        {"2000 is not", leapDay, L"1999-01-01", L"2000-02-29 10:00"},
    });
}

TEST(MonthlyDaySchedule, MasksWithoutAnExistingDayGiveNoRun) {
    ExpectNextRuns({
        {"30 February", OnDays(Day(30), kFebruary), L"2024-01-01", nullptr},
        {"the 31st of February and April", OnDays(Day(31), kFebruary | kApril), L"2024-01-01",
         nullptr},
        {"no day", OnDays(0), L"2024-01-01", nullptr},
        {"only bit 31", OnDays(0x80000000u), L"2024-01-01", nullptr},
        {"no month", OnDays(Day(1), 0), L"2024-01-01", nullptr},
        {"only bit 12", OnDays(Day(1), 0x1000), L"2024-01-01", nullptr},
    });
}

TEST(MonthlyDaySchedule, EndDateAndRepetition) {
    TriggerSettings ending = OnDays(Day(15));
    ending.end = L"2024-03-10";
    TriggerSettings nights = OnDays(Day(1), kAllMonths, L"2024-01-01 23:30");
    nights.interval = 30;
    nights.duration = 90;
    ExpectNextRuns({
        {"the next run lies past the end date", ending, L"2024-02-20", nullptr},
        {"the run before the end date", ending, L"2024-02-10", L"2024-02-15 06:00"},
        {"through the window of the 1st", nights, L"2024-02-02 00:15", L"2024-02-02 00:30",
         L"2024-02-01 23:30", L"2024-02-02 01:00"},
        {"after the window", nights, L"2024-02-02 00:45", L"2024-03-01 23:30"},
    });
}

TEST(MonthlyWeekdaySchedule, RunsOnSelectedWeekdaysOfTheWeek) {
    const TriggerSettings lastMonday = OnWeekdays(5, kMonday);
    const TriggerSettings firstFridayOfMarch = OnWeekdays(1, kFriday, kMarch);
    const TriggerSettings lastThursdayOfFebruary =
        OnWeekdays(5, kThursday, kFebruary, L"2023-01-01 10:00");
    const TriggerSettings secondMondayWednesday = OnWeekdays(2, kMonday | kWednesday);
    ExpectNextRuns({
        {"the last Monday of January", lastMonday, L"2024-01-02", L"2024-01-29 09:00"},
        {"after the last Monday of December", lastMonday, L"2024-12-30 10:00", L"2025-01-27 09:00"},
        {"the first Friday of March", firstFridayOfMarch, L"2024-01-15", L"2024-03-01 09:00"},
        {"after it, next year's", firstFridayOfMarch, L"2024-03-01 11:00", L"2025-03-07 09:00"},
        {"the last Thursday of a short February", lastThursdayOfFebruary, L"2023-01-15",
         L"2023-02-23 10:00"},
        {"of a leap February", lastThursdayOfFebruary, L"2023-02-24", L"2024-02-29 10:00"},
        {"the second Monday", secondMondayWednesday, L"2024-01-08 08:00", L"2024-01-08 09:00"},
        {"the second Wednesday", secondMondayWednesday, L"2024-01-08 11:00", L"2024-01-10 09:00"},
        {"into the next month", secondMondayWednesday, L"2024-01-10 11:00", L"2024-02-12 09:00"},
        {"the first Monday of the next year", OnWeekdays(1, kMonday, kJanuary), L"2024-12-10",
         L"2025-01-06 09:00"},
    });
}

TEST(MonthlyWeekdaySchedule, RepetitionAndSettingsWithoutASchedule) {
    TriggerSettings nights = OnWeekdays(1, kMonday, kAllMonths, L"2024-01-01 23:00");
    nights.interval = 30;
    nights.duration = 150;
    ExpectNextRuns({
        {"through the first Monday's window", nights, L"2024-01-02 00:40", L"2024-01-02 01:00",
         L"2024-01-01 23:00", L"2024-01-02 01:30"},
        {"week 0", OnWeekdays(0, kMonday), L"2024-01-01", nullptr},
        {"week 6", OnWeekdays(6, kMonday), L"2024-01-01", nullptr},
        {"no weekday", OnWeekdays(1, 128), L"2024-01-01", nullptr},
        {"no month", OnWeekdays(1, kMonday, 0x1000), L"2024-01-01", nullptr},
    });
}

SYSTEMTIME CalendarTime(const wchar_t* text) {
    SYSTEMTIME time{};
    EXPECT_TRUE(VariantTimeToSystemTime(DateOf(text), &time));
    return time;
}

TEST(MonthlySearches, PreviousRunDays) {
    struct Row {
        const char* rule;
        TriggerSettings trigger;
        bool byWeekday;
        const wchar_t* start;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {"earlier in the month", OnDays(Day(1) | Day(15)), false, L"2024-03-20",
         "2024-03-15 06:00:00"},
        {"strictly before the start day", OnDays(Day(1) | Day(15)), false, L"2024-03-15",
         "2024-03-01 06:00:00"},
        {"the last selected month before", OnDays(Day(31), kMarch | kDecember), false,
         L"2024-12-10", "2024-03-31 06:00:00"},
        {"into the previous year", OnDays(Day(10), kDecember), false, L"2024-12-10",
         "2023-12-10 06:00:00"},
        {"back to the last leap day", OnDays(Day(29), kFebruary), false, L"2023-06-01",
         "2020-02-29 06:00:00"},
        {"the last Monday before", OnWeekdays(5, kMonday), true, L"2024-02-05",
         "2024-01-29 09:00:00"},
        {"the first Monday of last month", OnWeekdays(1, kMonday), true, L"2024-02-05",
         "2024-01-01 09:00:00"},
        {"earlier in the same range", OnWeekdays(2, kMonday | kWednesday), true, L"2024-01-10",
         "2024-01-08 09:00:00"},
        {"past the range's end", OnWeekdays(2, kMonday | kWednesday), true, L"2024-01-20",
         "2024-01-10 09:00:00"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        CountedPtr<CZynTaskTrigger> trigger = MakeTrigger(row.trigger);
        SYSTEMTIME day{};
        DATE date = 0;
        const SYSTEMTIME start = CalendarTime(row.start);
        ASSERT_TRUE(row.byWeekday ? PrevMonthlyDowRun(*trigger, start, day, date)
                                  : PrevMonthlyDayRun(*trigger, start, day, date));
        EXPECT_EQ(DateText(date), row.expected);
    }
}

TEST(MonthlySearches, GiveUpOnMasksWithoutAnyDay) {
    struct Row {
        const char* rule;
        TriggerSettings trigger;
        bool byWeekday;
    };
    const std::vector<Row> rows = {
        {"30 February", OnDays(Day(30), kFebruary), false},
        {"no month", OnDays(Day(1), 0), false},
        {"no day", OnDays(0), false},
        {"week 0", OnWeekdays(0, kMonday), true},
        {"no weekday", OnWeekdays(1, 0), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        CountedPtr<CZynTaskTrigger> trigger = MakeTrigger(row.trigger);
        SYSTEMTIME day{};
        DATE date = 0;
        const SYSTEMTIME start = CalendarTime(L"2024-05-05");
        if (row.byWeekday) {
            EXPECT_FALSE(NextMonthlyDowRun(*trigger, start, false, day, date));
            EXPECT_FALSE(PrevMonthlyDowRun(*trigger, start, day, date));
        } else {
            EXPECT_FALSE(NextMonthlyDayRun(*trigger, start, false, day, date));
            EXPECT_FALSE(PrevMonthlyDayRun(*trigger, start, day, date));
        }
    }
}

TEST(MonthlySearches, AFailedConversionIsReportedByTheCalculator) {
    LogCapture log;
    CountedPtr<CZynTaskTrigger> trigger = MakeTrigger(OnDays(Day(1), kJanuary, L"9999-01-01"));
    trigger->LastRunTime = DateOf(L"9999-06-01");
    trigger->NextRunTime = 1;
    EXPECT_EQ(CalcNextMonthlyRunTime(*trigger), E_FAIL);
    EXPECT_EQ(trigger->NextRunTime, 0);
    EXPECT_TRUE(log.Contains(CE_SEVERITY_ERROR, L"CZynTaskImpl",
                             L"CZynTaskImpl::CalcNextDailyRunTime failed. Failed to convert next "
                             L"run time system time to variant time. " +
                                 HResultText(E_FAIL) + L"."));
}

}  // namespace
