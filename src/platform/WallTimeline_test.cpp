// Wall times and moments across the changes of real zones (the system's zone data): spring gaps
// and autumn overlaps of an hour, of half an hour (Lord Howe), and at midnight (Havana,
// Santiago), and the same rules for a clock set by hand.
#include "platform/WallTimeline.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "support/ScopedZone.h"

namespace {

constexpr std::int64_t kSecond = kMicrosecondsPerSecond;

// "YYYY-MM-DD HH:MM:SS" read as a count of seconds with no zone at all.
std::int64_t Seconds(const char* text) {
    std::tm parts{};
    strptime(text, "%Y-%m-%d %H:%M:%S", &parts);
    return timegm(&parts);
}

WallTime Wall(const char* text) {
    return Seconds(text) * kSecond;
}

RealTime Utc(const char* text) {
    return Seconds(text) * kSecond;
}

struct Conversion {
    const char* zone;
    const char* wall;
    const char* first;  // UTC
    const char* last;   // UTC; the second before the gap for a skipped time
    bool skipped;
};

TEST(WallTimeline, WallTimesOfZoneChangesAsMoments) {
    const Conversion rows[] = {
        // An ordinary time, then New York's spring gap (02:00 EST to 03:00 EDT) and autumn
        // overlap (02:00 EDT back to 01:00 EST).
        {"America/New_York", "2027-03-14 01:30:00", "2027-03-14 06:30:00", "2027-03-14 06:30:00",
         false},
        {"America/New_York", "2027-03-14 02:30:00", "2027-03-14 07:00:00", "2027-03-14 06:59:59",
         true},
        {"America/New_York", "2027-03-14 03:00:00", "2027-03-14 07:00:00", "2027-03-14 07:00:00",
         false},
        {"America/New_York", "2027-11-07 01:30:00", "2027-11-07 05:30:00", "2027-11-07 06:30:00",
         false},
        {"America/New_York", "2027-11-07 02:00:00", "2027-11-07 07:00:00", "2027-11-07 07:00:00",
         false},
        // Lord Howe changes by half an hour: 02:00 becomes 02:30 in October, 02:00 becomes 01:30
        // in April.
        {"Australia/Lord_Howe", "2027-10-03 02:15:00", "2027-10-02 15:30:00", "2027-10-02 15:29:59",
         true},
        {"Australia/Lord_Howe", "2027-04-04 01:45:00", "2027-04-03 14:45:00", "2027-04-03 15:15:00",
         false},
        {"Australia/Lord_Howe", "2027-04-04 01:29:59", "2027-04-03 14:29:59", "2027-04-03 14:29:59",
         false},
        // Havana's clocks jump at midnight: 14 March has no 00:xx, 7 November has two.
        {"America/Havana", "2027-03-14 00:00:00", "2027-03-14 05:00:00", "2027-03-14 04:59:59",
         true},
        {"America/Havana", "2027-03-14 00:59:59", "2027-03-14 05:00:00", "2027-03-14 04:59:59",
         true},
        {"America/Havana", "2027-11-07 00:30:00", "2027-11-07 04:30:00", "2027-11-07 05:30:00",
         false},
        // Santiago: 5 September has no 00:xx; 3 April has 23:xx twice.
        {"America/Santiago", "2027-09-05 00:00:00", "2027-09-05 04:00:00", "2027-09-05 03:59:59",
         true},
        {"America/Santiago", "2027-04-03 23:30:00", "2027-04-04 02:30:00", "2027-04-04 03:30:00",
         false},
        // A rule whose spring change falls on 1 March 2027, 00:00 UTC: the first second of one
        // of the two-day blocks the zone's offsets are kept in.
        {"AAA0BBB,J60/0,J304/0", "2027-02-28 23:59:59", "2027-02-28 23:59:59",
         "2027-02-28 23:59:59", false},
        {"AAA0BBB,J60/0,J304/0", "2027-03-01 00:30:00", "2027-03-01 00:00:00",
         "2027-02-28 23:59:59", true},
        {"AAA0BBB,J60/0,J304/0", "2027-03-01 01:00:00", "2027-03-01 00:00:00",
         "2027-03-01 00:00:00", false},
        {"AAA0BBB,J60/0,J304/0", "2027-10-30 23:30:00", "2027-10-30 22:30:00",
         "2027-10-30 23:30:00", false},
    };
    for (const Conversion& row : rows) {
        SCOPED_TRACE(std::string(row.zone) + " " + row.wall);
        ScopedZone zone(row.zone);
        const WallTimeline timeline;
        EXPECT_EQ(timeline.FirstShowing(Wall(row.wall)), Utc(row.first));
        // The last showing of a skipped time is the last microsecond before the gap.
        const RealTime last = timeline.LastShowing(Wall(row.wall));
        EXPECT_EQ(last / kSecond, Utc(row.last) / kSecond);
        EXPECT_EQ(timeline.WallAt(timeline.FirstShowing(Wall(row.wall))) != Wall(row.wall),
                  row.skipped);
        if (!row.skipped) {
            EXPECT_EQ(timeline.WallAt(Utc(row.first)), Wall(row.wall));
            EXPECT_EQ(timeline.WallAt(last), Wall(row.wall));
        }
    }
}

struct HighWater {
    const char* zone;
    const char* moment;  // UTC
    const char* highest;
};

TEST(WallTimeline, TheHighestWallTimeShownStaysUpThroughAnOverlap) {
    const HighWater rows[] = {
        // 01:10 EST, the second time round: the clock showed 01:59:59 EDT before.
        {"America/New_York", "2027-11-07 06:10:00", "2027-11-07 01:59:59"},
        {"America/New_York", "2027-11-07 07:10:00", "2027-11-07 02:10:00"},
        {"America/New_York", "2027-03-14 07:00:00", "2027-03-14 03:00:00"},
        {"Australia/Lord_Howe", "2027-04-03 15:10:00", "2027-04-04 01:59:59"},
        {"America/Havana", "2027-11-07 05:20:00", "2027-11-07 00:59:59"},
    };
    for (const HighWater& row : rows) {
        SCOPED_TRACE(std::string(row.zone) + " " + row.moment);
        ScopedZone zone(row.zone);
        EXPECT_EQ(WallTimeline().HighestShownBy(Utc(row.moment)) / kSecond,
                  Wall(row.highest) / kSecond);
    }
}

TEST(WallTimeline, AClockSetByHandMakesAGapOrAnOverlapOfItsOwn) {
    ScopedZone zone("UTC0");
    WallTimeline timeline;
    const RealTime ten = Utc("2030-01-01 10:00:00");
    timeline.SetByHand(ten, -3600);  // at 10:00 the clock goes back to 09:00
    EXPECT_EQ(timeline.WallAt(ten), Wall("2030-01-01 09:00:00"));
    EXPECT_EQ(timeline.FirstShowing(Wall("2030-01-01 09:30:00")), Utc("2030-01-01 09:30:00"));
    EXPECT_EQ(timeline.LastShowing(Wall("2030-01-01 09:30:00")), Utc("2030-01-01 10:30:00"));
    EXPECT_EQ(timeline.HighestShownBy(ten + 600 * kSecond) / kSecond,
              Wall("2030-01-01 09:59:59") / kSecond);
    EXPECT_EQ(timeline.HandShift(), -3600 * kSecond);

    const RealTime noon = Utc("2030-01-01 12:00:00");
    timeline.SetByHand(noon, 7200);  // at 11:00 on the clock it shows 13:00
    EXPECT_EQ(timeline.WallAt(noon), Wall("2030-01-01 13:00:00"));
    EXPECT_EQ(timeline.FirstShowing(Wall("2030-01-01 12:00:00")), noon);  // skipped
    EXPECT_EQ(timeline.HandShift(), 3600 * kSecond);

    timeline.Forget();
    EXPECT_EQ(timeline.WallAt(noon), Wall("2030-01-01 12:00:00"));
}

TEST(WallTimeline, DatesAndWallTimes) {
    WallTime wall = 0;
    ASSERT_TRUE(WallTimeOfDate(25'569.5, wall));  // 1 January 1970, noon
    EXPECT_EQ(wall, 12 * 3600 * kSecond);
    EXPECT_DOUBLE_EQ(DateOfWallTime(wall + kSecond / 2), 25'569.5 + 0.5 / 86'400);
    EXPECT_FALSE(WallTimeOfDate(1e12, wall));
}

}  // namespace
