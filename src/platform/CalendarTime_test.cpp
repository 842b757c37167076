#include "platform/CalendarTime.h"

#include <gtest/gtest.h>

namespace {

SYSTEMTIME Make(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                int millis = 0) {
    return SYSTEMTIME{
        static_cast<WORD>(year),   static_cast<WORD>(month), 0,
        static_cast<WORD>(day),    static_cast<WORD>(hour),  static_cast<WORD>(minute),
        static_cast<WORD>(second), static_cast<WORD>(millis)};
}

struct DateRow {
    DATE date;
    SYSTEMTIME expected;
    int dayOfWeek;
};

// Dates whose calendar form is known independently of the conversion under test.
const DateRow kKnownDates[] = {
    {0.0, Make(1899, 12, 30), 6},
    {1.0, Make(1899, 12, 31), 0},
    {2.0, Make(1900, 1, 1), 1},
    {61.0, Make(1900, 3, 1), 4},  // 1900 is not a leap year
    {-1.0, Make(1899, 12, 29), 5},
    {-1.25, Make(1899, 12, 29, 6), 5},  // the fraction counts forward even below zero
    {36585.0, Make(2000, 2, 29), 2},    // 2000 is a leap year
    {45351.75, Make(2024, 2, 29, 18), 4},
    {73051.5, Make(2100, 1, 1, 12), 5},
    {-657434.0, Make(100, 1, 1), 5},
    {-657434.5, Make(100, 1, 1, 12), 5},  // the first day's afternoon lies below its midnight
    {2958465.0 + 86399.0 / 86400.0, Make(9999, 12, 31, 23, 59, 59), 5},
};

TEST(AutomationDate, KnownDatesConvertBothWays) {
    for (const DateRow& row : kKnownDates) {
        SCOPED_TRACE(row.date);
        SYSTEMTIME st{};
        ASSERT_TRUE(VariantTimeToSystemTime(row.date, &st));
        EXPECT_EQ(st.wYear, row.expected.wYear);
        EXPECT_EQ(st.wMonth, row.expected.wMonth);
        EXPECT_EQ(st.wDay, row.expected.wDay);
        EXPECT_EQ(st.wHour, row.expected.wHour);
        EXPECT_EQ(st.wMinute, row.expected.wMinute);
        EXPECT_EQ(st.wSecond, row.expected.wSecond);
        EXPECT_EQ(st.wMilliseconds, 0);
        EXPECT_EQ(st.wDayOfWeek, row.dayOfWeek);
        DATE back = 0;
        ASSERT_TRUE(SystemTimeToVariantTime(&row.expected, &back));
        EXPECT_NEAR(back, row.date, 1e-9);
    }
}

TEST(AutomationDate, RoundsToTheNearestSecond) {
    const double second = 1.0 / 86400.0;
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(36526.0 + 36000.6 * second, &st));
    EXPECT_EQ(st.wHour, 10);
    EXPECT_EQ(st.wSecond, 1);
    ASSERT_TRUE(VariantTimeToSystemTime(36526.0 + 36000.4 * second, &st));
    EXPECT_EQ(st.wSecond, 0);
    // 23:59:59.7 rounds into the next day, and so into the next year here.
    ASSERT_TRUE(VariantTimeToSystemTime(36525.0 + 86399.7 * second, &st));
    EXPECT_EQ(st.wYear, 2000);
    EXPECT_EQ(st.wMonth, 1);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wHour, 0);
    EXPECT_EQ(st.wDayOfWeek, 6);
}

TEST(AutomationDate, MillisecondsAreIgnoredOnTheWayIn) {
    const SYSTEMTIME noon = Make(1999, 12, 31, 12, 0, 0, 999);
    DATE date = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&noon, &date));
    EXPECT_DOUBLE_EQ(date, 36525.5);
}

TEST(AutomationDate, DayPastMonthEndRollsOver) {
    const SYSTEMTIME april31 = Make(2023, 4, 31);
    DATE date = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&april31, &date));
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(date, &st));
    EXPECT_EQ(st.wMonth, 5);
    EXPECT_EQ(st.wDay, 1);
}

TEST(AutomationDate, OutOfRangeValuesAreRefused) {
    SYSTEMTIME st{};
    EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &st));
    EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &st));
    EXPECT_FALSE(VariantTimeToSystemTime(2958465.0 + 86399.7 / 86400.0, &st));  // year 10000
    EXPECT_FALSE(VariantTimeToSystemTime(std::numeric_limits<double>::quiet_NaN(), &st));
    EXPECT_FALSE(VariantTimeToSystemTime(std::numeric_limits<double>::infinity(), &st));
    DATE date = 0;
    for (const SYSTEMTIME& bad :
         {Make(99, 12, 31), Make(10000, 1, 1), Make(2000, 13, 1), Make(2000, 0, 1),
          Make(2000, 1, 0), Make(2000, 1, 32), Make(2000, 1, 1, 24), Make(2000, 1, 1, 0, 60),
          Make(2000, 1, 1, 0, 0, 60)}) {
        SCOPED_TRACE(bad.wYear * 10000 + bad.wMonth * 100 + bad.wDay);
        EXPECT_FALSE(SystemTimeToVariantTime(&bad, &date));
    }
}

// Every day of the automation calendar, counted day by day from 1 January 100 (a Friday): the
// civil conversions, the weekday of a date day, and a date's split into day and second.
TEST(Calendar, EveryAutomationDayWalkedDayByDay) {
    std::int64_t year = 100;
    unsigned month = 1;
    unsigned day = 1;
    int weekday = 5;
    for (std::int64_t dateDay = kFirstDateDay; dateDay < kEndDateDay; ++dateDay) {
        const std::int64_t days = dateDay - kDateDayOf1970;
        std::int64_t civilYear = 0;
        unsigned civilMonth = 0;
        unsigned civilDay = 0;
        CivilFromDays(days, civilYear, civilMonth, civilDay);
        const std::int64_t second = (dateDay * 7'919) % kSecondsPerDateDay;
        const std::int64_t secondOfDay = second < 0 ? second + kSecondsPerDateDay : second;
        std::int64_t splitDay = 0;
        std::int64_t splitSecond = 0;
        const bool split = SplitDate(JoinDate(dateDay, secondOfDay), splitDay, splitSecond);
        // The first day's times lie just below its whole number, and convert too.
        if (civilYear != year || civilMonth != month || civilDay != day ||
            DaysFromCivil(year, month, day) != days || DayOfWeekOfDateDay(dateDay) != weekday ||
            !split || splitDay != dateDay || splitSecond != secondOfDay) {
            FAIL() << "date day " << dateDay << " should be " << year << "-" << month << "-" << day
                   << ", weekday " << weekday << ", second " << secondOfDay;
        }
        weekday = (weekday + 1) % 7;
        if (++day > DaysInGregorianMonth(year, month)) {
            day = 1;
            if (++month > 12) {
                month = 1;
                ++year;
            }
        }
    }
    EXPECT_EQ(year, 10000);
}

TEST(Calendar, LeapYearsAndMonthLengths) {
    EXPECT_FALSE(IsGregorianLeapYear(1900));
    EXPECT_TRUE(IsGregorianLeapYear(2000));
    EXPECT_FALSE(IsGregorianLeapYear(2100));
    EXPECT_TRUE(IsGregorianLeapYear(2024));
    EXPECT_EQ(DaysInGregorianMonth(2024, 2), 29u);
    EXPECT_EQ(DaysInGregorianMonth(2100, 2), 28u);
    EXPECT_EQ(DaysInGregorianMonth(2023, 4), 30u);
    EXPECT_EQ(DaysInGregorianMonth(2023, 13), 0u);
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    for (std::int64_t days : {-719'468LL, -1LL, 0LL, 11'016LL, 2'932'896LL}) {
        CivilFromDays(days, year, month, day);
        EXPECT_EQ(DaysFromCivil(year, month, day), days);
    }
}

}  // namespace
