#include "platform/SuspendTime.h"

#include <time.h>

namespace {

std::chrono::nanoseconds Reading(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace

std::chrono::milliseconds TimeSuspendedSinceBoot() {
    const auto suspended = Reading(CLOCK_BOOTTIME) - Reading(CLOCK_MONOTONIC);
    return std::chrono::duration_cast<std::chrono::milliseconds>(suspended);
}
