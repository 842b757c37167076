// The system's side of the time classes (WallClock, LocalTimeZone): the clock nobody sets and
// the system time zone's offsets. The zone calls are made under LocalTimeZone's mutex only.
#pragma once

#include <chrono>
#include <cstdint>

// Time since the system started, going on while the machine sleeps.
std::chrono::nanoseconds SystemElapsed();

// Seconds to add to the UTC moment `utcSeconds` (seconds since 1970) to get the system zone's
// local time then; 0 for a moment the system cannot convert.
std::int32_t SystemZoneOffsetAt(std::int64_t utcSeconds);
// Reads the system zone again after it changed.
void ReloadSystemZone();
