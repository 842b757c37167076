#include "platform/WallTimeline.h"

#include <algorithm>
#include <limits>

#include "platform/CalendarTime.h"
#include "platform/LocalTimeZone.h"

namespace {

// Beyond any offset from real time to wall time: every moment that shows a given wall time lies
// within this distance of it.
constexpr std::int64_t kReach = 30LL * 3600 * kMicrosecondsPerSecond;
// Settings by hand older than this no longer matter to any run; their shift stays.
constexpr std::int64_t kSettingsKept = 8LL * 86'400 * kMicrosecondsPerSecond;
constexpr std::int64_t kMicrosecondsPerDay = 86'400 * kMicrosecondsPerSecond;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t quotient = a / b;
    return a % b < 0 ? quotient - 1 : quotient;
}

}  // namespace

// A stretch is looked for a little beyond what a conversion needs: each is kept (and joined to
// the one kept before when it goes on from it), so that the next conversions near it are sums.
constexpr std::int64_t kStretchSlack = 2LL * 86'400 * kMicrosecondsPerSecond;

WallTimeline::Stretch WallTimeline::StretchAt(RealTime moment, RealTime until) const {
    const std::uint64_t zone = LocalTimeZone::Generation();
    const bool known = m_known.zone == zone && m_known.begin < m_known.end;
    if (known && m_known.begin <= moment && moment < m_known.end) {
        return m_known;
    }
    const std::int64_t shift = HandShiftAt(moment);
    RealTime end = until + kStretchSlack;
    for (const Setting& setting : m_settings) {
        if (setting.from > moment) {
            end = std::min(end, setting.from);
            break;
        }
    }
    const std::int64_t second = FloorDiv(moment + shift, kMicrosecondsPerSecond);
    std::int64_t change = 0;
    if (LocalTimeZone::NextChange(second, FloorDiv(end - 1 + shift, kMicrosecondsPerSecond),
                                  change)) {
        end = change * kMicrosecondsPerSecond - shift;
    }
    Stretch found{moment, end,
                  shift + std::int64_t{LocalTimeZone::OffsetAt(second)} * kMicrosecondsPerSecond,
                  zone};
    if (known && m_known.end == moment && m_known.offset == found.offset) {
        found.begin = m_known.begin;
    }
    m_known = found;
    return m_known;
}

template <class Visit>
void WallTimeline::ForEachStretch(RealTime from, RealTime to, Visit&& visit) const {
    for (RealTime cursor = from; cursor < to;) {
        const Stretch stretch = StretchAt(cursor, to);
        const RealTime end = std::min(to, stretch.end);
        if (!visit(cursor, end, stretch.offset)) {
            return;
        }
        cursor = end;
    }
}

WallTime WallTimeline::WallAt(RealTime moment) const {
    return moment + StretchAt(moment, moment + 1).offset;
}

RealTime WallTimeline::FirstShowing(WallTime wall) const {
    RealTime first = wall;
    ForEachStretch(wall - kReach, wall + kReach,
                   [&](RealTime begin, RealTime end, std::int64_t offset) {
                       if (wall - offset < end) {
                           first = std::max(begin, wall - offset);
                           return false;
                       }
                       return true;
                   });
    return first;
}

RealTime WallTimeline::LastShowing(WallTime wall) const {
    RealTime last = wall - kReach;
    ForEachStretch(wall - kReach, wall + kReach,
                   [&](RealTime begin, RealTime end, std::int64_t offset) {
                       if (begin + offset <= wall) {
                           last = std::max(last, std::min(end - 1, wall - offset));
                       }
                       return true;
                   });
    return last;
}

WallTime WallTimeline::HighestShownBy(RealTime moment) const {
    WallTime highest = std::numeric_limits<WallTime>::min();
    ForEachStretch(moment - kReach, moment + 1, [&](RealTime, RealTime end, std::int64_t offset) {
        highest = std::max(highest, end - 1 + offset);
        return true;
    });
    return highest;
}

void WallTimeline::SetByHand(RealTime moment, std::int64_t seconds) {
    m_known = {};
    const RealTime from = m_settings.empty() ? moment : std::max(moment, m_settings.back().from);
    m_settings.push_back({from, HandShift() + seconds * kMicrosecondsPerSecond});
    while (m_settings.size() > 1 && m_settings.front().from < from - kSettingsKept) {
        m_baseShift = m_settings.front().shift;
        m_settings.erase(m_settings.begin());
    }
}

void WallTimeline::Forget() {
    m_known = {};
    m_baseShift = 0;
    m_settings.clear();
}

std::int64_t WallTimeline::HandShift() const {
    return m_settings.empty() ? m_baseShift : m_settings.back().shift;
}

std::int64_t WallTimeline::HandShiftAt(RealTime moment) const {
    std::int64_t shift = m_baseShift;
    for (const Setting& setting : m_settings) {
        if (setting.from > moment) {
            break;
        }
        shift = setting.shift;
    }
    return shift;
}

bool WallTimeOfDate(DATE date, WallTime& wall) {
    std::int64_t dateDay = 0;
    std::int64_t secondOfDay = 0;
    if (!SplitDate(date, dateDay, secondOfDay)) {
        return false;
    }
    wall = ((dateDay - kDateDayOf1970) * kSecondsPerDateDay + secondOfDay) * kMicrosecondsPerSecond;
    return true;
}

DATE DateOfWallTime(WallTime wall) {
    const std::int64_t dateDay = FloorDiv(wall, kMicrosecondsPerDay) + kDateDayOf1970;
    const std::int64_t ofDay = wall - (dateDay - kDateDayOf1970) * kMicrosecondsPerDay;
    const DATE date = JoinDate(dateDay, ofDay / kMicrosecondsPerSecond);
    const double fraction = static_cast<double>(ofDay % kMicrosecondsPerSecond) /
                            static_cast<double>(kMicrosecondsPerDay);
    return dateDay >= 0 ? date + fraction : date - fraction;
}
