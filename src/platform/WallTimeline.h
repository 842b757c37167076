// Real time and the local wall clock, and the rules for wall times the clock skips or shows
// twice: the one place where schedules, written in wall time, meet the moments that waits,
// lateness and "already queued" are judged on.
//
// Real time is a continuous line of moments: UTC, unless the owner recorded that the clock was
// set by hand. The wall clock shows, at each moment, the real time plus the system zone's
// offset (LocalTimeZone) plus what the clock was set by hand since: a setting recorded with
// SetByHand counts as one more change of offset, so that the line itself never jumps. A zone's
// spring change and a clock set forward both make the wall clock skip times (a gap); a zone's
// autumn change and a clock set back both make it show times twice (an overlap).
//
// - FirstShowing: the first moment the clock shows a wall time or a later one; for a skipped
//   time the first moment after the gap, for a time shown twice its first showing.
// - LastShowing: the last moment the clock shows a wall time or an earlier one; for a skipped
//   time the moment before the gap, for a time shown twice its second showing.
// - HighestShownBy: the latest wall time the clock has shown up to a moment; through an
//   overlap, the time it showed before it went back.
//
// A plain value, copied freely, read by one thread at a time (it keeps the stretch of constant
// offset it last met, so that conversions near it are sums); the owner serialises its changes
// with its reads. Nothing fails. Zone offsets and hand settings together stay within a day and
// a few hours of UTC.
#pragma once

#include <cstdint>
#include <vector>

#include "ZynTaskSchedulerLib/Types.h"

using RealTime = std::int64_t;  // microseconds since 1970-01-01 00:00 UTC, on the real time line
using WallTime = std::int64_t;  // microseconds since 1970-01-01 00:00 of the local wall clock

inline constexpr std::int64_t kMicrosecondsPerSecond = 1'000'000;
inline constexpr std::int64_t kMicrosecondsPerMinute = 60 * kMicrosecondsPerSecond;

class WallTimeline {
public:
    WallTime WallAt(RealTime moment) const;
    RealTime FirstShowing(WallTime wall) const;
    RealTime LastShowing(WallTime wall) const;
    WallTime HighestShownBy(RealTime moment) const;

    // From `moment` on, the clock shows `seconds` more than before (fewer when negative).
    void SetByHand(RealTime moment, std::int64_t seconds);
    // Forgets every setting by hand: the clock shows the zone's time of real time again.
    void Forget();
    // What the settings by hand add to the zone's time now, and at `moment`, in microseconds.
    std::int64_t HandShift() const;
    std::int64_t HandShiftAt(RealTime moment) const;

private:
    struct Setting {
        RealTime from;
        std::int64_t shift;  // microseconds added to the zone's time from `from` on
    };

    struct Stretch {
        RealTime begin = 0;
        RealTime end = 0;
        std::int64_t offset = 0;  // microseconds from real time to wall time
        std::uint64_t zone = 0;   // LocalTimeZone's generation it was found in
    };

    // A stretch of constant offset from `moment` on, within the setting in force then, looked
    // for at least up to `until`.
    Stretch StretchAt(RealTime moment, RealTime until) const;
    // Calls visit(begin, end, offset) for the stretches of constant offset (microseconds from
    // real time to wall time) that cover [from, to), in order, until visit answers false.
    template <class Visit>
    void ForEachStretch(RealTime from, RealTime to, Visit&& visit) const;

    std::int64_t m_baseShift = 0;     // before the first setting kept
    std::vector<Setting> m_settings;  // in order of `from`
    mutable Stretch m_known;          // the last stretch met; empty at first
};

// A DATE's wall time, to the second as DATE conversions read it; false outside the calendar.
bool WallTimeOfDate(DATE date, WallTime& wall);
// The DATE of a wall time, its fraction of a second kept.
DATE DateOfWallTime(WallTime wall);
