#include "platform/WaitDeadline.h"

WaitDeadline::WaitDeadline(DWORD timeoutMs) {
    if (timeoutMs != INFINITE) {
        m_end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    }
}

std::optional<std::int64_t> WaitDeadline::MillisecondsLeft() const {
    if (!m_end) {
        return std::nullopt;
    }
    const auto left = *m_end - Clock::now();
    if (left <= Clock::duration::zero()) {
        return 0;
    }
    return std::chrono::ceil<std::chrono::milliseconds>(left).count();
}

bool WaitDeadline::Passed() const {
    return m_end && Clock::now() >= *m_end;
}

bool WaitDeadline::IsLimited() const {
    return m_end.has_value();
}

WaitDeadline::Clock::time_point WaitDeadline::End() const {
    return *m_end;
}
