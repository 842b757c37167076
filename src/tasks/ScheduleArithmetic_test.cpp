#include "tasks/ScheduleArithmetic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
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

}  // namespace
