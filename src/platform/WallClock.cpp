#include "platform/WallClock.h"

#include "ZynTaskSchedulerLib/Runtime.h"

#include <atomic>
#include <ctime>

#include "platform/CalendarTime.h"
#include "platform/LocalTimeZone.h"
#include "platform/SystemClock.h"

namespace {

std::atomic<const WallClock*> g_installedClock{nullptr};

SYSTEMTIME FromTm(const std::tm& parts, WallClock::TimePoint moment) {
    const auto sinceEpoch = moment.time_since_epoch();
    auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
    if (millis < 0) {
        millis += 1000;
    }
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(parts.tm_year + 1900);
    st.wMonth = static_cast<WORD>(parts.tm_mon + 1);
    st.wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    st.wDay = static_cast<WORD>(parts.tm_mday);
    st.wHour = static_cast<WORD>(parts.tm_hour);
    st.wMinute = static_cast<WORD>(parts.tm_min);
    st.wSecond = static_cast<WORD>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
    st.wMilliseconds = static_cast<WORD>(millis);
    return st;
}

std::time_t ToTimeT(WallClock::TimePoint moment) {
    return std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(moment));
}

}  // namespace

void WallClock::Install(const WallClock* clock) {
    g_installedClock.store(clock);
}

WallClock::TimePoint WallClock::CurrentTime() {
    const WallClock* clock = g_installedClock.load();
    return clock != nullptr ? clock->Now() : std::chrono::system_clock::now();
}

std::chrono::nanoseconds WallClock::CurrentElapsed() {
    if (const WallClock* clock = g_installedClock.load()) {
        return clock->Elapsed();
    }
    return SystemElapsed();
}

namespace {

// The calendar time `offsetSeconds` ahead of UTC at `moment`.
SYSTEMTIME CalendarTimeAt(WallClock::TimePoint moment, std::int64_t offsetSeconds) {
    const std::int64_t local = ToTimeT(moment) + offsetSeconds;
    std::int64_t days = local / kSecondsPerDateDay;
    std::int64_t secondOfDay = local % kSecondsPerDateDay;
    if (secondOfDay < 0) {
        secondOfDay += kSecondsPerDateDay;
        --days;
    }
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, year, month, day);
    std::tm parts{};
    parts.tm_year = static_cast<int>(year - 1900);
    parts.tm_mon = static_cast<int>(month - 1);
    parts.tm_mday = static_cast<int>(day);
    parts.tm_wday = static_cast<int>(((days % 7) + 11) % 7);
    parts.tm_hour = static_cast<int>(secondOfDay / 3600);
    parts.tm_min = static_cast<int>(secondOfDay / 60 % 60);
    parts.tm_sec = static_cast<int>(secondOfDay % 60);
    return FromTm(parts, moment);
}

}  // namespace

SYSTEMTIME LocalTimeAt(WallClock::TimePoint moment) {
    return CalendarTimeAt(moment, LocalTimeZone::OffsetAt(ToTimeT(moment)));
}

#ifndef _WIN32
// Windows has its own, which read the system clock.
void GetSystemTime(SYSTEMTIME* systemTime) {
    *systemTime = CalendarTimeAt(WallClock::CurrentTime(), 0);
}

void GetLocalTime(SYSTEMTIME* systemTime) {
    *systemTime = LocalTimeAt(WallClock::CurrentTime());
}
#endif

bool CurrentLocalDate(DATE& now) {
    SYSTEMTIME local = LocalTimeAt(WallClock::CurrentTime());  // not const: Windows asks for none
    return SystemTimeToVariantTime(&local, &now) != FALSE;
}

LONG CurrentTimeZoneBias() {
    return static_cast<LONG>(-LocalTimeZone::OffsetAt(ToTimeT(WallClock::CurrentTime())) / 60);
}

void ReloadTimeZone() {
    LocalTimeZone::Reload();
}
