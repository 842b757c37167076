#include "platform/MomentText.h"

#include <gtest/gtest.h>

#include "platform/WideText.h"

namespace {

using namespace std::chrono;

TEST(MomentTextTest, ReadsTheInstantWhateverTheOffset) {
    const WallClock::TimePoint instant{sys_days{year{2026} / 12 / 6} + 13h + 5min + 9s + 123ms};
    for (const wchar_t* text : {L"2026-12-06T14:05:09.123+01:00", L"2026-12-06T13:05:09.123+00:00",
                                L"2026-12-06T08:35:09.123-04:30"}) {
        EXPECT_EQ(ParseMomentText(text), instant) << WideToUtf8(text);
    }
    EXPECT_EQ(ParseMomentText(MomentText(instant)), instant);
    EXPECT_EQ(ParseMomentText(L"2026-12-06 14:05:09"), std::nullopt);
}

TEST(MomentTextTest, WritesWallTimesAndUtcToTheSecond) {
    const WallTime wall =
        duration_cast<microseconds>(
            (sys_days{year{1969} / 12 / 31} + 23h + 59min + 58s + 999ms).time_since_epoch())
            .count();
    EXPECT_EQ(WallTimeText(wall), L"1969-12-31 23:59:58");
    EXPECT_EQ(WallTimeText(wall, -(4 * 3600 + 30 * 60)), L"1969-12-31 23:59:58 -04:30");
    EXPECT_EQ(UtcText(wall), L"1969-12-31T23:59:58Z");
}

}  // namespace
