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

}  // namespace
