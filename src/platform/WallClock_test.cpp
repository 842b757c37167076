#include "platform/WallClock.h"

#include <gtest/gtest.h>

#include "support/ScopedZone.h"

namespace {

class FixedClock final : public WallClock {
public:
    explicit FixedClock(TimePoint now) : m_now(now) {}
    TimePoint Now() const override { return m_now; }

private:
    TimePoint m_now;
};

WallClock::TimePoint Utc(int64_t secondsSince1970, int millis = 0) {
    return WallClock::TimePoint(std::chrono::seconds(secondsSince1970) +
                                std::chrono::milliseconds(millis));
}

TEST(WallClock, InstalledClockDrivesLocalTimeAndBias) {
    // 2024-01-15 12:00:00.250 UTC and 2024-07-15 12:00:00 UTC.
    const FixedClock winter(Utc(1705320000, 250));
    const FixedClock summer(Utc(1721044800));
    const struct {
        const char* zone;
        const FixedClock* clock;
        int hour;
        LONG bias;
    } rows[] = {
        {"EST5EDT,M3.2.0,M11.1.0", &winter, 7, 300},
        {"EST5EDT,M3.2.0,M11.1.0", &summer, 8, 240},
        {"CET-1CEST,M3.5.0,M10.5.0/3", &winter, 13, -60},
        {"UTC0", &winter, 12, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.zone);
        ScopedZone zone(row.zone);
        WallClock::Install(row.clock);
        SYSTEMTIME local{};
        GetLocalTime(&local);
        EXPECT_EQ(local.wHour, row.hour);
        EXPECT_EQ(CurrentTimeZoneBias(), row.bias);
        SYSTEMTIME utc{};
        GetSystemTime(&utc);
        EXPECT_EQ(utc.wHour, 12);
        EXPECT_EQ(utc.wDay, 15);
        WallClock::Install(nullptr);
    }
    const FixedClock& clock = winter;
    WallClock::Install(&clock);
    SYSTEMTIME st{};
    GetSystemTime(&st);
    EXPECT_EQ(st.wMilliseconds, 250);
    EXPECT_EQ(st.wDayOfWeek, 1);  // a Monday
    WallClock::Install(nullptr);
}

}  // namespace
