#include "platform/MomentText.h"

#include <cwchar>

#include "platform/CalendarTime.h"
#include "platform/WideText.h"

namespace {

using namespace std::chrono;

std::int64_t SecondsOfLocalFields(const SYSTEMTIME& local) {
    return DaysFromCivil(local.wYear, local.wMonth, local.wDay) * 86400 + local.wHour * 3600 +
           local.wMinute * 60 + local.wSecond;
}

}  // namespace

std::wstring MomentText(WallClock::TimePoint moment) {
    const SYSTEMTIME local = LocalTimeAt(moment);
    const std::int64_t utcSeconds = floor<seconds>(moment.time_since_epoch()).count();
    const auto offsetMinutes = static_cast<long>((SecondsOfLocalFields(local) - utcSeconds) / 60);
    const long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    return FormatText(40, L"%04u-%02u-%02uT%02u:%02u:%02u.%03u%lc%02ld:%02ld", local.wYear,
                      local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond,
                      local.wMilliseconds, offsetMinutes < 0 ? L'-' : L'+', magnitude / 60,
                      magnitude % 60);
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

WallClock::TimePoint MomentOfLocalDate(DATE localDate) {
    const double localSeconds =
        (localDate - static_cast<double>(kDateDayOf1970)) * static_cast<double>(kSecondsPerDateDay);
    const auto utc = duration<double>(localSeconds + CurrentTimeZoneBias() * 60.0);
    return WallClock::TimePoint(round<milliseconds>(utc));
}
