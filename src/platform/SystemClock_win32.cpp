#include "platform/SystemClock.h"

#include <windows.h>

namespace {

// 100-nanosecond intervals from 1 January 1601 to 1 January 1970.
constexpr std::int64_t kUnixEpochTicks = 116'444'736'000'000'000;
constexpr std::int64_t kTicksPerSecond = 10'000'000;

bool ToSystemTime(std::int64_t seconds, SYSTEMTIME& time) {
    const auto ticks = static_cast<std::uint64_t>(seconds * kTicksPerSecond + kUnixEpochTicks);
    const FILETIME file{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    return ::FileTimeToSystemTime(&file, &time) != FALSE;
}

bool ToSeconds(const SYSTEMTIME& time, std::int64_t& seconds) {
    FILETIME file{};
    if (!::SystemTimeToFileTime(&time, &file)) {
        return false;
    }
    const auto ticks = (static_cast<std::int64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
    seconds = (ticks - kUnixEpochTicks) / kTicksPerSecond;
    return true;
}

}  // namespace

std::chrono::nanoseconds SystemElapsed() {
    return std::chrono::milliseconds(::GetTickCount64());
}

// The system converts with the rules of the moment's own year.
std::int32_t SystemZoneOffsetAt(std::int64_t utcSeconds) {
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    std::int64_t localSeconds = 0;
    if (utcSeconds < 0 || !ToSystemTime(utcSeconds, utc) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) ||
        !ToSeconds(local, localSeconds)) {
        return 0;
    }
    return static_cast<std::int32_t>(localSeconds - utcSeconds);
}

// The system reads its zone at every conversion.
void ReloadSystemZone() {}
