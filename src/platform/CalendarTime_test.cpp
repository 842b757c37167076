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

enum class Way { Both, ToFields, ToDate };

struct DateRow {
    DATE date;
    SYSTEMTIME fields;
    int dayOfWeek;
    Way way = Way::Both;
};

constexpr double kSecond = 1.0 / 86400.0;

// Dates whose calendar form is known independently of the conversion under test; some convert
// one way only, as fields round or roll over.
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
    // To the nearest second; 23:59:59.7 rounds into the next day, and here the next year.
    {36526.0 + 36000.6 * kSecond, Make(2000, 1, 1, 10, 0, 1), 6, Way::ToFields},
    {36526.0 + 36000.4 * kSecond, Make(2000, 1, 1, 10), 6, Way::ToFields},
    {36525.0 + 86399.7 * kSecond, Make(2000, 1, 1), 6, Way::ToFields},
    // Milliseconds are ignored on the way in; a day past the month's end rolls over.
    {36525.5, Make(1999, 12, 31, 12, 0, 0, 999), 5, Way::ToDate},
    {45047.0, Make(2023, 4, 31), 1, Way::ToDate},
};

TEST(AutomationDate, KnownDatesConvert) {
    for (const DateRow& row : kKnownDates) {
        SCOPED_TRACE(row.date);
        if (row.way != Way::ToDate) {
            SYSTEMTIME st{};
            ASSERT_TRUE(VariantTimeToSystemTime(row.date, &st));
            EXPECT_EQ(st.wYear, row.fields.wYear);
            EXPECT_EQ(st.wMonth, row.fields.wMonth);
            EXPECT_EQ(st.wDay, row.fields.wDay);
            EXPECT_EQ(st.wHour, row.fields.wHour);
            EXPECT_EQ(st.wMinute, row.fields.wMinute);
            EXPECT_EQ(st.wSecond, row.fields.wSecond);
            EXPECT_EQ(st.wMilliseconds, 0);
            EXPECT_EQ(st.wDayOfWeek, row.dayOfWeek);
        }
        if (row.way != Way::ToFields) {
            DATE back = 0;
            ASSERT_TRUE(SystemTimeToVariantTime(&row.fields, &back));
            EXPECT_NEAR(back, row.date, 1e-9);
        }
    }
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
}

}  // namespace
