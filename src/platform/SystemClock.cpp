#include "platform/SystemClock.h"

#include <ctime>

std::chrono::nanoseconds SystemElapsed() {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

std::int32_t SystemZoneOffsetAt(std::int64_t utcSeconds) {
    const auto seconds = static_cast<std::time_t>(utcSeconds);
    std::tm parts{};
    if (localtime_r(&seconds, &parts) == nullptr) {
        return 0;
    }
    return static_cast<std::int32_t>(parts.tm_gmtoff);
}

void ReloadSystemZone() {
    tzset();
}
