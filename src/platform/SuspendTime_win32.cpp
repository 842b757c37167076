// The tick count goes on while the machine sleeps; the unbiased interrupt time does not.
#include "platform/SuspendTime.h"

#include <windows.h>

#include <algorithm>

std::chrono::milliseconds TimeSuspendedSinceBoot() {
    ULONGLONG awake = 0;  // in 100-nanosecond units
    if (!::QueryUnbiasedInterruptTime(&awake)) {
        return std::chrono::milliseconds(0);
    }
    const auto since = std::chrono::milliseconds(::GetTickCount64());
    const auto suspended = since - std::chrono::milliseconds(awake / 10000);
    return std::max(suspended, std::chrono::milliseconds(0));
}
