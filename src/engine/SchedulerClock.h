// The scheduler's clock: real time, read from the wall clock, and the wall-time line that
// schedules are converted on. A wall clock set by hand by up to three hours is kept on the line
// as a change of offset, forward as a gap and back as an overlap, so that real time runs on
// without a jump: a set-back neither brings back runs already made nor holds up repetitions, and
// the runs a set-forward skips come at once, as those of a zone's spring gap do. A clock set
// further either way was corrected: the line forgets its settings, real time starts again from
// the wall clock, and TakeCorrection tells the scheduler to start its schedules from there. The
// clock nobody sets (WallClock::CurrentElapsed) tells a setting from time passing.
//
// Used under the engine's main lock. Nothing fails.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/WallClock.h"
#include "platform/WallTimeline.h"

class SchedulerClock {
public:
    static constexpr std::int64_t kLongestSetting = 3 * 3600;  // seconds

    // Real time now; first notes a setting of the wall clock since the last reading.
    RealTime Now();
    const WallTimeline& Timeline() const { return m_timeline; }
    // What the wall clock reads at a moment of real time: the moment plus what it was set by
    // hand then.
    WallClock::TimePoint ReadingAt(RealTime moment) const;
    // The moment of real time of a reading of the wall clock, by what it is set by hand now.
    RealTime MomentOf(WallClock::TimePoint reading) const;
    // Changes whenever the line does: next runs computed on an earlier line may not hold.
    std::uint64_t Generation() const { return m_generation; }
    // Whether the clock was corrected since the last question.
    bool TakeCorrection();
    // The system's zone was read again.
    void NoteZoneChange() { ++m_generation; }

private:
    void NoteSetting(std::chrono::nanoseconds jump, RealTime wall);

    WallTimeline m_timeline;
    bool m_read = false;
    WallClock::TimePoint m_lastWall;
    std::chrono::nanoseconds m_lastElapsed{};
    std::uint64_t m_generation = 0;
    bool m_corrected = false;
};
