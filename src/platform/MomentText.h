// Moments as text for people and programs alike: local time with milliseconds and the offset
// from UTC in force then ("2026-12-06T14:05:09.123+01:00", RFC 3339), which reads as local time
// and still names one instant. And the instant of a local automation date. Pure but for the
// time zone they read; thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/WallClock.h"

std::wstring MomentText(WallClock::TimePoint moment);
// Null for text not in that form.
std::optional<WallClock::TimePoint> ParseMomentText(std::wstring_view text);
// The moment of a local automation date, by the zone's offset at the current moment.
WallClock::TimePoint MomentOfLocalDate(DATE localDate);
