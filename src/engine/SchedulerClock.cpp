#include "engine/SchedulerClock.h"

#include <cstdlib>

namespace {

// Below a second the wall clock is taken as it reads: a second is what a schedule counts in.
constexpr std::chrono::nanoseconds kSmallestSetting = std::chrono::seconds(1);
// Settings add up; together they stay within what the line can hold.
constexpr std::int64_t kLargestShift = 12LL * 3600 * kMicrosecondsPerSecond;

RealTime MicrosecondsOf(WallClock::TimePoint moment) {
    return std::chrono::duration_cast<std::chrono::microseconds>(moment.time_since_epoch()).count();
}

}  // namespace

RealTime SchedulerClock::Now() {
    const WallClock::TimePoint wall = WallClock::CurrentTime();
    const std::chrono::nanoseconds elapsed = WallClock::CurrentElapsed();
    if (m_read) {
        const std::chrono::nanoseconds jump = (wall - m_lastWall) - (elapsed - m_lastElapsed);
        if (jump >= kSmallestSetting || jump <= -kSmallestSetting) {
            NoteSetting(jump, MicrosecondsOf(wall));
        }
    }
    m_read = true;
    m_lastWall = wall;
    m_lastElapsed = elapsed;
    return MomentOf(wall);
}

WallClock::TimePoint SchedulerClock::ReadingAt(RealTime moment) const {
    return WallClock::TimePoint(std::chrono::microseconds(moment + m_timeline.HandShiftAt(moment)));
}

RealTime SchedulerClock::MomentOf(WallClock::TimePoint reading) const {
    return MicrosecondsOf(reading) - m_timeline.HandShift();
}

bool SchedulerClock::TakeCorrection() {
    const bool corrected = m_corrected;
    m_corrected = false;
    return corrected;
}

void SchedulerClock::NoteSetting(std::chrono::nanoseconds jump, RealTime wall) {
    const std::int64_t seconds = std::chrono::round<std::chrono::seconds>(jump).count();
    const std::int64_t shift = m_timeline.HandShift() + seconds * kMicrosecondsPerSecond;
    if (std::llabs(seconds) <= kLongestSetting && std::llabs(shift) <= kLargestShift) {
        // From just after this reading: a run the clock skipped comes after every moment the
        // scheduler looked at before, and so is still to be made.
        m_timeline.SetByHand(wall - shift + 1, seconds);
    } else {
        m_timeline.Forget();
        m_corrected = true;
    }
    ++m_generation;
}
