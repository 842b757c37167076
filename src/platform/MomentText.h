// Times as text, the one place they are written as dates and times of day:
// - a moment as local time with milliseconds and the offset from UTC in force then
//   ("2026-12-06T14:05:09.123+01:00", RFC 3339), which reads as local time and still names one
//   instant (run records), and back;
// - a moment as the local time a person reads, to the second ("2026-12-06 14:05:09");
// - a wall time (WallTimeline's count) to the second, with an offset from UTC when given
//   ("2027-03-14 03:00:00 -04:00");
// - a moment of real time in UTC ("2027-03-14T07:00:00Z").
// Local times follow the system zone (LocalTimeZone). Pure but for the zone they read;
// thread-safe. Nothing fails: text not in the form reads as none.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/WallClock.h"
#include "platform/WallTimeline.h"

std::wstring MomentText(WallClock::TimePoint moment);
std::optional<WallClock::TimePoint> ParseMomentText(std::wstring_view text);
std::wstring LocalMomentText(WallClock::TimePoint moment);
std::wstring WallTimeText(WallTime wall);
std::wstring WallTimeText(WallTime wall, std::int64_t utcOffsetSeconds);
std::wstring UtcText(RealTime moment);
