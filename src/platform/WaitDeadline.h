// The end of a wait with a time limit in milliseconds (INFINITE for none), on the monotonic
// clock, so that a wait woken early by something it ignores goes on for what is left instead of
// starting its limit again. A plain value.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "ZynTaskSchedulerLib/Types.h"

class WaitDeadline {
public:
    using Clock = std::chrono::steady_clock;

    explicit WaitDeadline(DWORD timeoutMs);

    // What is left, rounded up to whole milliseconds so that a wait for it never ends early, and
    // 0 once passed; empty without a limit.
    std::optional<std::int64_t> MillisecondsLeft() const;
    bool Passed() const;
    bool IsLimited() const;
    Clock::time_point End() const;

private:
    std::optional<Clock::time_point> m_end;
};
