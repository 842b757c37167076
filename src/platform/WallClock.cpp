#include "platform/WallClock.h"

#include "ZynTaskSchedulerLib/Runtime.h"

#include <ctime>

#include <atomic>

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

void GetSystemTime(SYSTEMTIME* systemTime) {
    const auto moment = WallClock::CurrentTime();
    const std::time_t seconds = ToTimeT(moment);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    *systemTime = FromTm(parts, moment);
}

SYSTEMTIME LocalTimeAt(WallClock::TimePoint moment) {
    const std::time_t seconds = ToTimeT(moment);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    return FromTm(parts, moment);
}

void GetLocalTime(SYSTEMTIME* systemTime) {
    *systemTime = LocalTimeAt(WallClock::CurrentTime());
}

bool CurrentLocalDate(DATE& now) {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    return SystemTimeToVariantTime(&local, &now) != FALSE;
}

LONG CurrentTimeZoneBias() {
    const std::time_t seconds = ToTimeT(WallClock::CurrentTime());
    std::tm parts{};
    localtime_r(&seconds, &parts);
    return static_cast<LONG>(-parts.tm_gmtoff / 60);
}

void ReloadTimeZone() {
    tzset();
}
