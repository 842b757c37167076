#include "platform/MomentText.h"

#include <cwchar>

#include "platform/CalendarTime.h"
#include "platform/LocalTimeZone.h"
#include "platform/WideText.h"

namespace {

using namespace std::chrono;

constexpr std::int64_t kMicrosecondsPerDay = 86'400 * kMicrosecondsPerSecond;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t quotient = a / b;
    return a % b < 0 ? quotient - 1 : quotient;
}

// "YYYY-MM-DD", `separator`, "hh:mm:ss", and ".mmm" when asked for.
std::wstring DateTimeText(std::int64_t microseconds, wchar_t separator, bool milliseconds) {
    const std::int64_t days = FloorDiv(microseconds, kMicrosecondsPerDay);
    const std::int64_t ofDay = microseconds - days * kMicrosecondsPerDay;
    const std::int64_t second = ofDay / kMicrosecondsPerSecond;
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, year, month, day);
    std::wstring text =
        FormatText(32, L"%04lld-%02u-%02u%lc%02lld:%02lld:%02lld", static_cast<long long>(year),
                   month, day, separator, static_cast<long long>(second / 3600),
                   static_cast<long long>(second / 60 % 60), static_cast<long long>(second % 60));
    if (milliseconds) {
        text += FormatText(8, L".%03lld",
                           static_cast<long long>(ofDay % kMicrosecondsPerSecond / 1000));
    }
    return text;
}

// "+01:00", "-04:30".
std::wstring OffsetText(std::int64_t offsetSeconds) {
    const std::int64_t minutes = (offsetSeconds < 0 ? -offsetSeconds : offsetSeconds) / 60;
    return FormatText(8, L"%lc%02lld:%02lld", offsetSeconds < 0 ? L'-' : L'+',
                      static_cast<long long>(minutes / 60), static_cast<long long>(minutes % 60));
}

std::int64_t MicrosecondsOf(WallClock::TimePoint moment) {
    return floor<microseconds>(moment.time_since_epoch()).count();
}

std::int64_t LocalOffsetAt(WallClock::TimePoint moment) {
    return LocalTimeZone::OffsetAt(floor<seconds>(moment.time_since_epoch()).count());
}

}  // namespace

std::wstring MomentText(WallClock::TimePoint moment) {
    const std::int64_t offset = LocalOffsetAt(moment);
    return DateTimeText(MicrosecondsOf(moment) + offset * kMicrosecondsPerSecond, L'T', true) +
           OffsetText(offset);
}

std::optional<WallClock::TimePoint> ParseMomentText(std::wstring_view text) {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    wchar_t sign = 0;
    unsigned offsetHours = 0, offsetMinutes = 0;
    const std::wstring copy(text);
    if (std::swscanf(copy.c_str(), L"%4u-%2u-%2uT%2u:%2u:%2u.%3u%lc%2u:%2u", &year, &month, &day,
                     &hour, &minute, &second, &millisecond, &sign, &offsetHours,
                     &offsetMinutes) != 10 ||
        (sign != L'+' && sign != L'-')) {
        return std::nullopt;
    }
    const std::int64_t magnitude = std::int64_t{offsetHours} * 3600 + offsetMinutes * 60;
    const std::int64_t offset = sign == L'-' ? -magnitude : magnitude;
    const std::int64_t local =
        DaysFromCivil(year, month, day) * 86400 + std::int64_t{hour} * 3600 + minute * 60 + second;
    return WallClock::TimePoint(seconds(local - offset) + milliseconds(millisecond));
}

std::wstring LocalMomentText(WallClock::TimePoint moment) {
    return WallTimeText(MicrosecondsOf(moment) + LocalOffsetAt(moment) * kMicrosecondsPerSecond);
}

std::wstring WallTimeText(WallTime wall) {
    return DateTimeText(wall, L' ', false);
}

std::wstring WallTimeText(WallTime wall, std::int64_t utcOffsetSeconds) {
    return WallTimeText(wall) + L' ' + OffsetText(utcOffsetSeconds);
}

std::wstring UtcText(RealTime moment) {
    return DateTimeText(moment, L'T', false) + L'Z';
}
