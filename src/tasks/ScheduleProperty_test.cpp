// Properties of the next-run computation over many random triggers and reference times, in a
// zone without changes: runs without repetition are exactly those a day-by-day search finds,
// runs with repetition exactly those of the windows of the run days a day-by-day search finds,
// and no input, however odd, keeps a computation from ending.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>

#include "platform/CalendarTime.h"
#include "tasks/TaskTestSupport.h"
#include "tasks/TriggerSchedule.h"

namespace {

constexpr int kCases = 3000;
constexpr int kChainLength = 30;
constexpr int kRepetitionCases = 1500;
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
        if (Between(0, 1) == 1) {
            trigger->Interval = Between(1, 240);
            trigger->Duration = static_cast<DWORD>(Between(trigger->Interval, 3000));
        }
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

// The run day nearest to day `from`, searching day by day from it upwards (step 1) or from
// the day before it downwards (step -1), run days before the begin date included; false when
// none lies within the horizon.
bool ScanRunDay(const CZynTaskTrigger& t, std::int64_t from, int step, CivilDay& found) {
    const std::int64_t first = step > 0 ? from : from - 1;
    for (std::int64_t n = 0; n < kSearchDays; ++n) {
        found = CivilDayOf(first + step * n);
        if (IsRunDay(t, found)) {
            return true;
        }
    }
    return false;
}

struct Window {
    DATE begin = 0;
    DATE end = 0;
};

Window WindowOn(const CZynTaskTrigger& t, const CivilDay& day) {
    const DATE begin = RunTimeOn(t, day);
    return {begin, begin + t.Duration / 1440.0};
}

bool Inside(const Window& window, DATE time) {
    return CompareDates(window.begin, time) <= 0 && CompareDates(time, window.end) < 0;
}

// The first point of the window's grid after `last`, which must not lie before the window.
DATE GridRunAfter(const CZynTaskTrigger& t, const Window& window, DATE last) {
    const double step = t.Interval / 1440.0;
    DATE next = window.begin;
    for (int k = 1; CompareDates(next, last) <= 0; ++k) {
        next = window.begin + k * step;
    }
    return next;
}

// The next run of a calendar trigger with repetition, with every run day found by a day by day
// search. The window opened last at or before `last` (that of the first run day from base's day
// on, or of the run day before it, whose window may reach into base's day; none before the
// begin date) runs on its grid inside it until the next window opens; that next one is the
// first run day's when it has not opened yet, else the next run day's after base's day.
DATE ReferenceRepetitionRun(const CZynTaskTrigger& t, DATE last) {
    const bool hasEnd = t.EndDate != 0;
    if (hasEnd && CompareDates(last, t.EndDate) > 0) {
        return 0;
    }
    const DATE base = CompareDates(last, t.BeginDate) < 0 ? t.BeginDate : last;
    CivilDay firstDay{};
    if (!ScanRunDay(t, DayNumberOf(base), 1, firstDay)) {
        return 0;
    }
    const Window current = WindowOn(t, firstDay);
    std::optional<Window> open;
    DATE nextBegin = 0;
    CivilDay other{};
    if (CompareDates(current.begin, last) <= 0) {
        open = current;
        nextBegin = ScanRunDay(t, DayNumberOf(base) + 1, 1, other) ? RunTimeOn(t, other) : 0;
    } else {
        nextBegin = current.begin;
        if (ScanRunDay(t, firstDay.number, -1, other) &&
            CompareDates(RunTimeOn(t, other), t.BeginDate) >= 0) {
            open = WindowOn(t, other);
        }
    }
    DATE next = nextBegin;
    if (open && Inside(*open, last)) {
        const DATE repetition = GridRunAfter(t, *open, last);
        if (CompareDates(repetition, open->end) < 0 &&
            (nextBegin == 0 || CompareDates(repetition, nextBegin) < 0)) {
            next = repetition;
        }
    }
    return hasEnd && CompareDates(next, t.EndDate) > 0 ? 0 : next;
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

TEST(ScheduleProperties, RepetitionsFollowTheWindowsOfTheRunDaysADayByDaySearchFinds) {
    RandomTriggers random(31);
    LogCapture log;
    for (int i = 0; i < kRepetitionCases; ++i) {
        CountedPtr<CZynTaskTrigger> trigger = random.Next();
        trigger->Type = random.Between(kTriggerDaily, kTriggerMonthlyDow);
        trigger->Interval = random.Between(1, 240);
        trigger->Duration = static_cast<DWORD>(random.Between(0, 3000));
        DATE last = random.ReferenceNear(trigger->BeginDate);
        SCOPED_TRACE(::testing::Message() << "case " << i << ": " << Describe(*trigger));
        for (int step = 0; step < kChainLength; ++step) {
            const DATE next = NextTriggerRunAfter(*trigger, last);
            const DATE expected = trigger->Duration == 0 ? SearchNextRun(*trigger, last)
                                                         : ReferenceRepetitionRun(*trigger, last);
            ASSERT_EQ(CompareDates(next, expected), 0)
                << "after " << DateText(last) << " got " << DateText(next) << ", the reference "
                << DateText(expected);
            if (expected == 0) {
                break;
            }
            last = expected;
        }
    }
    EXPECT_TRUE(log.Matching(L"failed").empty());
}

TEST(ScheduleProperties, EveryComputationEndsWhateverTheSettings) {
    std::mt19937 random(99);
    auto any = [&](std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(random);
    };
    const DATE dates[] = {0.0,          -1.25,        1e-300,
                          -700'000.0,   2'958'465.99, 2'958'466.0,
                          1e9,          -1e9,         std::numeric_limits<double>::infinity(),
                          std::nan(""), 45'000.5};
    auto anyDate = [&] {
        return any(0, 2) == 0 ? dates[any(0, std::size(dates) - 1)]
                              : static_cast<double>(any(-657'434, 2'958'465)) + any(0, 999) / 1e3;
    };
    LogCapture log;  // failures are expected here, and logged
    const ScopedZone utc("UTC0");
    const WallTimeline timeline;
    for (int i = 0; i < 20'000; ++i) {
        CountedPtr<CZynTaskTrigger> trigger = MakeCounted<CZynTaskTrigger>();
        trigger->Type = static_cast<LONG>(any(-2, 9));
        trigger->Enabled = TRUE;
        trigger->BeginDate = anyDate();
        trigger->EndDate = any(0, 1) == 0 ? 0 : anyDate();
        trigger->Interval =
            static_cast<LONG>(any(-5, 1) > 0 ? any(INT32_MIN, INT32_MAX) : any(-2, 90));
        trigger->Duration = static_cast<DWORD>(any(0, UINT32_MAX));
        trigger->DaysInterval =
            static_cast<LONG>(any(0, 1) == 0 ? any(-3, 3) : any(INT32_MIN, INT32_MAX));
        trigger->WeeksInterval =
            static_cast<LONG>(any(0, 1) == 0 ? any(-3, 3) : any(INT32_MIN, INT32_MAX));
        trigger->DaysOfWeek = static_cast<DWORD>(any(0, UINT32_MAX));
        trigger->DaysOfMonth =
            static_cast<DWORD>(any(0, 1) == 0 ? any(0, UINT32_MAX) : 1u << any(28, 31));
        trigger->MonthsOfYear = static_cast<DWORD>(any(0, 1) == 0 ? any(0, UINT32_MAX) : 2);
        trigger->Week = static_cast<LONG>(any(-2, 7));
        trigger->LastRunTime = anyDate();
        CalculateTriggerNextRunTime(*trigger);
        const DATE next = trigger->NextRunTime;
        // A single run is its begin date as given, whatever that holds.
        EXPECT_TRUE(next == 0 || std::isfinite(next) || next == trigger->BeginDate)
            << "case " << i << ": " << Describe(*trigger);
        // In real time: a run after the moment asked about, or none.
        const RealTime after = MomentOfDate(static_cast<double>(any(-657'434, 2'958'465)));
        const ScheduledRun run = NextTriggerRun(*trigger, after, timeline);
        EXPECT_TRUE(!run.IsRun() || run.at > after) << "case " << i << ": " << Describe(*trigger);
    }
}

}  // namespace
