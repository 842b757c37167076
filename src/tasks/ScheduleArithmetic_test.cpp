#include "tasks/ScheduleArithmetic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "tasks/RepetitionWindow.h"
#include "tasks/ScheduleSteps.h"
#include "tasks/TaskTestSupport.h"

namespace {

constexpr double kMicrosecond = 1.0 / 86'400'000'000.0;

TEST(CompareDates, CountsDifferencesWithinAMicrosecondAsEqual) {
    struct Row {
        DATE a;
        DATE b;
        int expected;
    };
    const DATE noon = 45'000.5;
    const std::vector<Row> rows = {
        {noon, noon, 0},
        {noon, noon + 0.5 * kMicrosecond, 0},
        {noon + 0.9 * kMicrosecond, noon, 0},
        {noon, noon + 2 * kMicrosecond, -1},
        {noon + 2 * kMicrosecond, noon, 1},
        {0, 0.4 * kMicrosecond, 0},
        {-1.0, 1.0, -1},
        {std::numeric_limits<double>::max(), 45'000.0, 1},
        {45'000.0, std::numeric_limits<double>::max(), -1},
        {std::nan(""), noon, 0},  // a NaN never wins a comparison
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.a << " vs " << row.b);
        EXPECT_EQ(CompareDates(row.a, row.b), row.expected);
    }
}

SYSTEMTIME Time(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return SYSTEMTIME{static_cast<WORD>(year),
                      static_cast<WORD>(month),
                      0,
                      static_cast<WORD>(day),
                      static_cast<WORD>(hour),
                      static_cast<WORD>(minute),
                      static_cast<WORD>(second),
                      0};
}

TEST(AddToSystemTime, StepsEveryUnitAndSetsTheDayOfWeek) {
    struct Row {
        const char* rule;
        SYSTEMTIME from;
        std::int64_t n;
        int unit;
        SYSTEMTIME expected;
        int weekday;
    };
    const std::vector<Row> rows = {
        {"a month step starts from the 15th", Time(2024, 1, 31, 10), 1, kUnitMonths,
         Time(2024, 2, 15, 10), 4},
        {"the day of the month does not matter", Time(2024, 1, 1, 10), 1, kUnitMonths,
         Time(2024, 2, 15, 10), 4},
        {"twelve months across a leap day", Time(2024, 1, 15), 12, kUnitMonths, Time(2025, 1, 21),
         2},
        {"twelve months back", Time(2024, 3, 15), -12, kUnitMonths, Time(2023, 3, 9), 4},
        {"out of a short February", Time(2023, 2, 20), 1, kUnitMonths, Time(2023, 3, 18), 6},
        {"one month back into a leap February", Time(2024, 3, 31), -1, kUnitMonths,
         Time(2024, 2, 13), 2},
        {"a year is 372 days from the 15th", Time(2024, 3, 1), 1, kUnitYears, Time(2025, 3, 22), 6},
        {"onto 29 February 2024", Time(2024, 2, 28, 23, 30), 1, kUnitDays,
         Time(2024, 2, 29, 23, 30), 4},
        {"1900 is no leap year", Time(1900, 2, 28), 1, kUnitDays, Time(1900, 3, 1), 4},
        {"2000 is a leap year", Time(2000, 2, 28), 1, kUnitDays, Time(2000, 2, 29), 2},
        {"2100 is no leap year", Time(2100, 2, 28), 1, kUnitDays, Time(2100, 3, 1), 1},
        {"before the file-time epoch", Time(1500, 2, 28), 1, kUnitDays, Time(1500, 3, 1), 4},
        {"minutes into a new year", Time(2024, 12, 31, 23), 90, kUnitMinutes,
         Time(2025, 1, 1, 0, 30), 3},
        {"hours back over a leap day", Time(2024, 3, 1), -25, kUnitHours, Time(2024, 2, 28, 23), 3},
        {"one second to midnight", Time(2024, 12, 31, 23, 59, 59), 1, kUnitSeconds,
         Time(2025, 1, 1), 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        SYSTEMTIME out{};
        ASSERT_TRUE(AddToSystemTime(row.from, row.n, row.unit, out));
        EXPECT_EQ(out.wYear, row.expected.wYear);
        EXPECT_EQ(out.wMonth, row.expected.wMonth);
        EXPECT_EQ(out.wDay, row.expected.wDay);
        EXPECT_EQ(out.wHour, row.expected.wHour);
        EXPECT_EQ(out.wMinute, row.expected.wMinute);
        EXPECT_EQ(out.wSecond, row.expected.wSecond);
        EXPECT_EQ(out.wDayOfWeek, row.weekday);
    }
}

TEST(AddToSystemTime, MonthStepsLandBetweenThe8thAndThe22nd) {
    for (int month = 1; month <= 12; ++month) {
        for (int n = -12; n <= 12; ++n) {
            SYSTEMTIME out{};
            ASSERT_TRUE(AddToSystemTime(Time(2023, month, 28), n, kUnitMonths, out));
            const int target = (2023 * 12 + month - 1 + n);
            SCOPED_TRACE(::testing::Message() << "month " << month << " step " << n);
            EXPECT_EQ(out.wYear * 12 + out.wMonth - 1, target);
            EXPECT_GE(out.wDay, 8);
            EXPECT_LE(out.wDay, 22);
        }
    }
}

TEST(AddToSystemTime, RefusesInvalidTimesAndStepsOutOfTheCalendar) {
    struct Row {
        const char* rule;
        SYSTEMTIME from;
        std::int64_t n;
        int unit;
    };
    const std::vector<Row> rows = {
        {"30 February", Time(2024, 2, 30), 1, kUnitDays},
        {"month 13", Time(2024, 13, 1), 1, kUnitDays},
        {"hour 24", Time(2024, 1, 1, 24), 1, kUnitDays},
        {"unknown unit", Time(2024, 1, 1), 1, 6},
        {"negative unit", Time(2024, 1, 1), 1, -1},
        {"past the last year", Time(30827, 12, 31, 23, 59, 59), 1, kUnitSeconds},
        {"before the first year", Time(1, 1, 1), -1, kUnitSeconds},
        {"overflowing the tick count", Time(2024, 1, 1), std::numeric_limits<std::int64_t>::max(),
         kUnitDays},
        {"overflowing backwards", Time(2024, 1, 1), std::numeric_limits<std::int64_t>::min(),
         kUnitYears},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        SYSTEMTIME out = Time(1999, 9, 9);
        EXPECT_FALSE(AddToSystemTime(row.from, row.n, row.unit, out));
        EXPECT_EQ(out.wYear, 1999);  // untouched
    }
    SYSTEMTIME out{};
    EXPECT_TRUE(AddToSystemTime(Time(30827, 12, 31, 23, 59, 58), 1, kUnitSeconds, out));
    EXPECT_TRUE(AddToSystemTime(Time(1, 1, 1, 0, 0, 1), -1, kUnitSeconds, out));
}

TEST(ScheduleSteps, StepAndConvertWithinTheirCalendars) {
    const ScheduleTime lateEvening = ToScheduleTime(DateOf(L"2024-02-28 23:30"), kStartTimeFailure);
    EXPECT_EQ(WeekdayOf(lateEvening), 3);  // a Wednesday
    EXPECT_EQ(DateText(ToDate(MoveMinutes(lateEvening, 24 * 60 + 45, kNextRunTimeFailure),
                              kNextRunTimeFailure)),
              "2024-03-01 00:15:00");
    EXPECT_EQ(DateText(ToDate(MoveDays(lateEvening, -365), kNextRunTimeFailure)),
              "2023-02-28 23:30:00");
    // Below the automation epoch the fraction still counts forward from the day's start.
    const ScheduleTime old = ToScheduleTime(-1.25, kStartTimeFailure);
    EXPECT_EQ(old.day, -1);
    EXPECT_EQ(old.second, 6 * 3600);
    EXPECT_EQ(ToDate(MoveDays(old, -1), kNextRunTimeFailure), -2.25);
    // Days the automation calendar lacks can still be stepped through, as calendar times can.
    const ScheduleTime last = ToScheduleTime(DateOf(L"9999-12-31 12:00"), kStartTimeFailure);
    const ScheduleTime beyond = MoveDays(last, 400);
    EXPECT_EQ(DateText(ToDate(MoveDays(beyond, -400), kNextRunTimeFailure)), "9999-12-31 12:00:00");

    struct Row {
        const char* rule;
        std::function<void()> step;
        const wchar_t* message;
    };
    const std::vector<Row> rows = {
        {"a date beyond 9999", [] { ToScheduleTime(2'958'466.0, kLastRunTimeFailure); },
         kLastRunTimeFailure},
        {"rounding into the year 10000",
         [] { ToScheduleTime(2'958'465.0 + 86'399.7 / 86'400.0, kStartTimeFailure); },
         kStartTimeFailure},
        {"not a number", [] { ToScheduleTime(std::nan(""), kStartTimeFailure); },
         kStartTimeFailure},
        {"a date of the year 10000", [&] { ToDate(beyond, kPrevRunTimeFailure); },
         kPrevRunTimeFailure},
        {"a day past the year 30827", [&] { MoveDays(last, 20'828LL * 366); }, kNextRunTimeFailure},
        {"a day before the year 1", [&] { MoveDays(old, -700'000, kPrevRunTimeFailure); },
         kPrevRunTimeFailure},
        {"an overflowing day step",
         [&] { MoveDays(last, std::numeric_limits<std::int64_t>::max()); }, kNextRunTimeFailure},
        {"minutes past the year 30827",
         [&] { MoveMinutes(last, 4'294'967'295LL * 4, kNextRunTimeFailure); }, kNextRunTimeFailure},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        const Raised raised = RaisedBy(row.step);
        EXPECT_EQ(raised.hr, E_FAIL);
        EXPECT_EQ(raised.description.rfind(row.message, 0), 0u) << WideToUtf8(raised.description);
    }
}

TEST(CalendarHelpers, LeapYearsAndMonthLengths) {
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_FALSE(IsLeapYear(2100));
    EXPECT_TRUE(IsLeapYear(2400));
    EXPECT_TRUE(IsLeapYear(2024));
    EXPECT_FALSE(IsLeapYear(2023));
    const int lengths2023[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int month = 1; month <= 12; ++month) {
        EXPECT_EQ(DaysInMonth(month, 2023), lengths2023[month - 1]) << "month " << month;
    }
    EXPECT_EQ(DaysInMonth(2, 2024), 29);
    EXPECT_EQ(DaysInMonth(2, 1900), 28);
    EXPECT_EQ(DaysInMonth(2, 2000), 29);
    EXPECT_EQ(DaysInMonth(0, 2024), 0);
    EXPECT_EQ(DaysInMonth(13, 2024), 0);
}

TEST(CalendarHelpers, BitSearchesAndTheirBounds) {
    struct Row {
        int from;
        int to;
        DWORD mask;
        int next;
        int prev;
    };
    const std::vector<Row> rows = {
        {1, 31, 0, -1, -1},
        {1, 7, 34, 2, 6},  // Monday and Friday
        {3, 7, 34, 6, 6},
        {3, 5, 34, -1, -1},
        {7, 7, 64, 7, 7},
        {8, 7, 64, -1, -1},  // from beyond to
        {0, 7, 1, -1, -1},   // from below 1
        {1, 12, 4095, 1, 12},
        {1, 32, 0x80000000u, 32, 32},
        {1, 40, 0x80000000u, 32, 32},  // there is no bit beyond 31
        {2, 31, 0x40000001u, 31, 31},
        {33, 40, 0xFFFFFFFFu, -1, -1},  // from beyond the last bit
        {5, 40, 0x10, 5, 5},
        {1, 1, 0xFFFFFFFEu, -1, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.from << ".." << row.to << " in " << row.mask);
        EXPECT_EQ(FindNextBit(row.from, row.to, row.mask), row.next);
        EXPECT_EQ(FindPrevBit(row.from, row.to, row.mask), row.prev);
    }
}

TEST(CalendarHelpers, BitSearchesAgreeWithABitByBitSearch) {
    std::mt19937 random(5);
    auto any = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    for (int i = 0; i < 20'000; ++i) {
        const int from = any(-2, 35);
        const int to = any(-2, 35);
        const auto mask = static_cast<DWORD>(random()) & static_cast<DWORD>(random());
        int next = -1;
        int prev = -1;
        for (int n = std::max(from, 1); n <= std::min(to, 32); ++n) {
            if ((mask >> (n - 1)) & 1u) {
                next = next < 0 ? n : next;
                prev = n;
            }
        }
        SCOPED_TRACE(::testing::Message() << from << ".." << to << " in " << mask);
        ASSERT_EQ(FindNextBit(from, to, mask), from < 1 ? -1 : next);
        ASSERT_EQ(FindPrevBit(from, to, mask), from < 1 ? -1 : prev);
    }
}

}  // namespace
