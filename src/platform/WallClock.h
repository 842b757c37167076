// The wall clock and the local time derived from it. Every read of "now" in the library goes
// through WallClock::CurrentTime, so that a test can install a clock of its own and move time
// without touching the machine's; CurrentElapsed reads the clock nobody sets, which tells a
// clock set by hand from time passing. Local time follows the system time zone (TZ or
// /etc/localtime, through LocalTimeZone); ReloadTimeZone re-reads it after the zone changed.
// Thread-safe; an installed clock must outlive its installation and answer from any thread.
#pragma once

#include <chrono>

#include "ZynTaskSchedulerLib/Types.h"

class WallClock {
public:
    using TimePoint = std::chrono::system_clock::time_point;

    virtual ~WallClock() = default;
    virtual TimePoint Now() const = 0;
    // Time passed since some fixed moment, on a clock that nobody sets and that goes on while
    // the machine sleeps. By default the wall clock itself: a clock that is never set by hand.
    virtual std::chrono::nanoseconds Elapsed() const { return Now().time_since_epoch(); }

    // Installs `clock` for every later read; null goes back to the system clock.
    static void Install(const WallClock* clock);
    static TimePoint CurrentTime();
    static std::chrono::nanoseconds CurrentElapsed();
};

#ifdef _WIN32
// The system's GetSystemTime and GetLocalTime read the machine's clock, never an installed one.
#include <windows.h>
#else
void GetSystemTime(SYSTEMTIME* systemTime);  // UTC
void GetLocalTime(SYSTEMTIME* systemTime);
#endif
// The local time as an automation date, whole seconds (milliseconds are dropped); false when
// the clock reads outside the dates a DATE can hold.
bool CurrentLocalDate(DATE& now);
// The local time of a given moment.
SYSTEMTIME LocalTimeAt(WallClock::TimePoint moment);
// Minutes to add to local time to get UTC at the current moment (-60 in Central Europe in
// winter, 300 in New York in winter).
LONG CurrentTimeZoneBias();
void ReloadTimeZone();
