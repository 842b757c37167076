// A property of the next-run computation over many random triggers and reference times, in a
// zone without changes: runs without repetition are exactly those a day-by-day search finds.
// (That no input keeps a computation from ending is the task-document fuzz target's job.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "platform/CalendarTime.h"
#include "tasks/TaskTestSupport.h"
#include "tasks/TriggerSchedule.h"

namespace {

constexpr int kCases = 3000;
constexpr int kSearchDays = 3300;  // beyond the longest gap: eight years between 29 Februaries
constexpr std::int64_t kDateEpochDay = -25'569;  // 30 December 1899, counted from 1970

class RandomTriggers {
public:
    explicit RandomTriggers(unsigned seed) : m_random(seed) {}

    int Between(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(m_random);
    }

    // A trigger as a task document could hold it, between 2000 and 2030.
    CountedPtr<CZynTaskTrigger> Next() {
        CountedPtr<CZynTaskTrigger> trigger = MakeCounted<CZynTaskTrigger>();
        trigger->Type = Between(0, 4);
        trigger->Enabled = TRUE;
        trigger->BeginDate = Between(36'526, 47'848) + Between(0, 1439) / 1440.0;
        if (trigger->Type != kTriggerOnce && Between(0, 2) == 0) {
            trigger->EndDate = trigger->BeginDate + Between(0, 800) + Between(0, 1439) / 1440.0;
        }
        trigger->DaysInterval = Between(1, 10);
        trigger->WeeksInterval = Between(1, 5);
        trigger->DaysOfWeek = static_cast<DWORD>(Between(1, 127));
        trigger->DaysOfMonth = Between(0, 3) == 0 ? static_cast<DWORD>(Between(1, 0x7FFFFFFF))
                                                  : (1u << Between(0, 30)) | (1u << Between(0, 30));
        trigger->MonthsOfYear =
            static_cast<DWORD>(Between(0, 3) == 0 ? Between(1, 4095) : 1 << Between(0, 11));
        trigger->Week = Between(1, 5);
        return trigger;
    }

    DATE ReferenceNear(DATE begin) {
        return begin + Between(-60, 800) + Between(0, 86'399) / 86'400.0;
    }

private:
    std::mt19937 m_random;
};

std::string Describe(const CZynTaskTrigger& t) {
    return ::testing::PrintToString(std::vector<double>{
               static_cast<double>(t.Type), static_cast<double>(t.Interval),
               static_cast<double>(t.Duration), static_cast<double>(t.DaysInterval),
               static_cast<double>(t.WeeksInterval), static_cast<double>(t.DaysOfWeek),
               static_cast<double>(t.DaysOfMonth), static_cast<double>(t.MonthsOfYear),
               static_cast<double>(t.Week)}) +
           " begin " + DateText(t.BeginDate) + " end " + DateText(t.EndDate);
}

// Calendar facts of a day, from the civil calendar alone.
struct CivilDay {
    std::int64_t number;  // days since 1 January 1970
    int year;
    int month;
    int day;
    int weekday;  // 0 = Sunday
};

CivilDay CivilDayOf(std::int64_t number) {
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(number, year, month, day);
    return {number, static_cast<int>(year), static_cast<int>(month), static_cast<int>(day),
            static_cast<int>(((number % 7) + 11) % 7)};
}

std::int64_t DayNumberOf(DATE date) {
    return static_cast<std::int64_t>(std::floor(date)) + kDateEpochDay;
}

bool IsRunDay(const CZynTaskTrigger& t, const CivilDay& d) {
    const CivilDay begin = CivilDayOf(DayNumberOf(t.BeginDate));
    const bool monthSelected = ((t.MonthsOfYear >> (d.month - 1)) & 1u) != 0;
    const bool weekdaySelected = ((t.DaysOfWeek >> d.weekday) & 1u) != 0;
    switch (t.Type) {
        case kTriggerDaily:
            return (d.number - begin.number) % t.DaysInterval == 0;
        case kTriggerWeekly: {
            const std::int64_t weeks =
                ((d.number - d.weekday) - (begin.number - begin.weekday)) / 7;
            return weekdaySelected && weeks % t.WeeksInterval == 0;
        }
        case kTriggerMonthlyDay:
            return monthSelected && ((t.DaysOfMonth >> (d.day - 1)) & 1u) != 0;
        default: {
            const int length = static_cast<int>(DaysInGregorianMonth(d.year, d.month));
            const int last = t.Week == 5 ? length : 7 * t.Week;
            return monthSelected && weekdaySelected && d.day > last - 7 && d.day <= last;
        }
    }
}

DATE RunTimeOn(const CZynTaskTrigger& t, const CivilDay& d) {
    return static_cast<double>(d.number - kDateEpochDay) + (t.BeginDate - std::floor(t.BeginDate));
}

// The first run time strictly after `last`, day by day; 0 past the end date or the horizon.
DATE SearchNextRun(const CZynTaskTrigger& t, DATE last) {
    if (t.Type == kTriggerOnce) {
        return CompareDates(t.BeginDate, last) > 0 ? t.BeginDate : 0;
    }
    const std::int64_t first = std::max(DayNumberOf(last), DayNumberOf(t.BeginDate));
    for (std::int64_t number = first; number < first + kSearchDays; ++number) {
        const CivilDay day = CivilDayOf(number);
        const DATE run = RunTimeOn(t, day);
        if (CompareDates(run, last) > 0 && CompareDates(run, t.BeginDate) >= 0 &&
            IsRunDay(t, day)) {
            return t.EndDate != 0 && CompareDates(run, t.EndDate) > 0 ? 0 : run;
        }
    }
    return 0;
}

TEST(ScheduleProperties, WithoutRepetitionNoRunIsMissed) {
    RandomTriggers random(7);
    for (int i = 0; i < kCases; ++i) {
        CountedPtr<CZynTaskTrigger> trigger = random.Next();
        trigger->Interval = 0;
        const DATE last = random.ReferenceNear(trigger->BeginDate);
        trigger->LastRunTime = last;
        CalculateTriggerNextRunTime(*trigger);
        const DATE expected = SearchNextRun(*trigger, last);
        ASSERT_EQ(CompareDates(trigger->NextRunTime, expected), 0)
            << "case " << i << ": " << Describe(*trigger) << " after " << DateText(last) << " got "
            << DateText(trigger->NextRunTime) << " day by day " << DateText(expected);
    }
}

}  // namespace
