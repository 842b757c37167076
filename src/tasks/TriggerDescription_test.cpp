#include "tasks/TriggerDescription.h"

#include <gtest/gtest.h>

#include "tasks/TaskTestSupport.h"

namespace {

TEST(TriggerDescription, TemplatesOfEveryType) {
    struct Row {
        const char* rule;
        TriggerSettings trigger;
        const wchar_t* expected;
    };
    const wchar_t* kBegin = L"2006-03-07 08:05";
    const std::vector<Row> rows = {
        {"daily",
         {.type = kTriggerDaily, .begin = kBegin, .daysInterval = 1},
         L"At 08:05:00 every day, starting 03/07/2006"},
        {"every second day",
         {.type = kTriggerDaily, .begin = kBegin, .daysInterval = 2},
         L"At 08:05:00 every 2 days, starting 03/07/2006"},
        {"monthly with repetition",
         {.type = kTriggerMonthlyDay,
          .begin = kBegin,
          .interval = 30,
          .duration = 120,
          .daysOfMonth = 1 | (1 << 14)},
         L"Every 30 minute(s) from 08:05:00 for 120 minutes on day 1, 15 of every month, "
         L"starting 03/07/2006"},
        {"workdays",
         {.type = kTriggerWeekly, .begin = kBegin, .daysOfWeek = 62},
         L"At 08:05:00 every Mon, Tues, Wed, Thur, Fri of every 1 weeks, starting 03/07/2006"},
        {"weekends every third week",
         {.type = kTriggerWeekly, .begin = kBegin, .weeksInterval = 3, .daysOfWeek = 65},
         L"At 08:05:00 every Sun, Sat of every 3 weeks, starting 03/07/2006"},
        {"week 5 is the fifth",
         {.type = kTriggerMonthlyDow,
          .begin = kBegin,
          .daysOfWeek = 1,
          .monthsOfYear = 0x005,
          .week = 5},
         L"At 08:05:00 every Sun on the fifth week of Jan, Mar, starting 03/07/2006"},
        {"all but January",
         {.type = kTriggerMonthlyDay,
          .begin = kBegin,
          .daysOfMonth = 1u << 30,
          .monthsOfYear = 4094},
         L"At 08:05:00 on day 31 of Feb, Mar, Apr, May, Jun, Jul, Aug, Sep, Oct, Nov, Dec, "
         L"starting 03/07/2006"},
        {"twelve months and a higher bit are listed",
         {.type = kTriggerMonthlyDay, .begin = kBegin, .daysOfMonth = 2, .monthsOfYear = 8191},
         L"At 08:05:00 on day 2 of Jan, Feb, Mar, Apr, May, Jun, Jul, Aug, Sep, Oct, Nov, Dec, "
         L"starting 03/07/2006"},
        {"once", {.type = kTriggerOnce, .begin = kBegin}, L"At 08:05:00 on 03/07/2006"},
        {"once never shows an end date",
         {.type = kTriggerOnce, .begin = kBegin, .end = L"2006-12-31"},
         L"At 08:05:00 on 03/07/2006"},
        {"daily until",
         {.type = kTriggerDaily, .begin = kBegin, .end = L"2006-12-31 23:00"},
         L"At 08:05:00 every day, starting 03/07/2006 and ending 12/31/2006"},
        {"idle",
         {.type = kTriggerIdle, .begin = kBegin, .interval = 5, .duration = 10},
         L"Run when idle"},
        {"type 6 is the head alone",
         {.type = 6, .begin = kBegin, .end = L"2006-12-31"},
         L"At 08:05:00"},
        {"type 8 too", {.type = 8, .begin = kBegin}, L"At 08:05:00"},
        {"an empty weekday list",
         {.type = kTriggerWeekly, .begin = kBegin},
         L"At 08:05:00 every  of every 1 weeks, starting 03/07/2006"},
        {"a week without a name",
         {.type = kTriggerMonthlyDow, .begin = kBegin, .daysOfWeek = 2, .week = 9},
         L"At 08:05:00 every Mon on the  week of every month, starting 03/07/2006"},
        {"a duration beyond 31 bits reads negative",
         {.type = kTriggerOnce, .begin = kBegin, .interval = 1, .duration = 0x80000000u},
         L"Every 1 minute(s) from 08:05:00 for -2147483648 minutes on 03/07/2006"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        EXPECT_EQ(WideToUtf8(GetTriggerDescription(*MakeTrigger(row.trigger))),
                  WideToUtf8(row.expected));
    }
}

}  // namespace
