// The system time zone (TZ, else /etc/localtime; on Windows the zone set in the system): the offset
// from UTC in force at any moment, and the moments the offset changes. This is the only reader of
// the C library's zone state: the local times of WallClock and the conversions between local wall
// time and real time (WallTimeline) are built on it.
//
// Offsets are kept per four-day block of UTC, so that converting thousands of run times around
// the same days asks the C library a few times only (once per block, and a search where the
// offset changes); Reload (after the zone changed) forgets them. The blocks rest on a fact of
// the zones' history: an offset changes at most once in any four days (since 1970 no zone has
// changed twice within six).
//
// Thread-safe: one mutex guards the blocks and the C library's zone state. Nothing fails; a
// moment the C library cannot convert counts as offset 0.
#pragma once

#include <cstdint>

class LocalTimeZone {
public:
    // Seconds to add to a UTC moment (seconds since 1970) to get the local wall time then.
    static std::int32_t OffsetAt(std::int64_t utcSeconds);
    // The first moment after `after`, up to `limit`, from which the offset differs from the one
    // in force just before; false when there is none.
    static bool NextChange(std::int64_t after, std::int64_t limit, std::int64_t& change);
    // Reads the zone again (tzset) and forgets what was kept.
    static void Reload();
    // Counts the reloads: what was learnt of the zone before another one may no longer hold.
    static std::uint64_t Generation();
};
