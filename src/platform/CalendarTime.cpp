#include "platform/CalendarTime.h"

#include <cmath>

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksPerDay = 86'400 * kTicksPerSecond;
constexpr std::int64_t kSecondsPerDay = 86'400;
// Day numbers, counted from 1 January 1970, of the epochs of the two time formats.
constexpr std::int64_t kFileTimeEpochDay = -134'774;  // 1 January 1601
constexpr std::int64_t kDateEpochDay = -25'569;       // 30 December 1899
// The automation range: 1 January 100 to 31 December 9999.
constexpr double kMinimumDate = -657'434.0;
constexpr double kMaximumDate = 2'958'466.0;

// 0 = Sunday; 1 January 1970 was a Thursday.
WORD DayOfWeek(std::int64_t daysSince1970) {
    return static_cast<WORD>(((daysSince1970 % 7) + 7 + 4) % 7);
}

bool TimeFieldsValid(const SYSTEMTIME& st) {
    return st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60 && st.wMilliseconds < 1000;
}

}  // namespace

bool IsGregorianLeapYear(std::int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

unsigned DaysInGregorianMonth(std::int64_t year, unsigned month) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        return 0;
    }
    return month == 2 && IsGregorianLeapYear(year) ? 29 : kDays[month - 1];
}

// The era-based conversions count in 400-year cycles, which repeat exactly.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146'097 + static_cast<std::int64_t>(dayOfEra) - 719'468;
}

void CivilFromDays(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day) {
    days += 719'468;
    const std::int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146'097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

std::uint64_t FileTimeToTicks(const FILETIME& fileTime) {
    return (static_cast<std::uint64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
}

FILETIME TicksToFileTime(std::uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime) {
    if (systemTime == nullptr || fileTime == nullptr) {
        return FALSE;
    }
    const SYSTEMTIME& st = *systemTime;
    if (st.wYear < 1601 || st.wYear > 30827 || st.wDay < 1 ||
        st.wDay > DaysInGregorianMonth(st.wYear, st.wMonth) || !TimeFieldsValid(st)) {
        return FALSE;
    }
    const std::int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay) - kFileTimeEpochDay;
    const std::int64_t seconds = st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
    const std::int64_t ticks =
        days * kTicksPerDay + seconds * kTicksPerSecond + st.wMilliseconds * 10'000;
    *fileTime = TicksToFileTime(static_cast<std::uint64_t>(ticks));
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
    if (fileTime == nullptr || systemTime == nullptr) {
        return FALSE;
    }
    const std::uint64_t ticks = FileTimeToTicks(*fileTime);
    if (ticks > 0x7FFFFFFFFFFFFFFFull) {
        return FALSE;
    }
    const auto signedTicks = static_cast<std::int64_t>(ticks);
    const std::int64_t days = signedTicks / kTicksPerDay + kFileTimeEpochDay;
    const std::int64_t tickOfDay = signedTicks % kTicksPerDay;
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, year, month, day);
    const std::int64_t secondOfDay = tickOfDay / kTicksPerSecond;
    systemTime->wYear = static_cast<WORD>(year);
    systemTime->wMonth = static_cast<WORD>(month);
    systemTime->wDayOfWeek = DayOfWeek(days);
    systemTime->wDay = static_cast<WORD>(day);
    systemTime->wHour = static_cast<WORD>(secondOfDay / 3600);
    systemTime->wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    systemTime->wSecond = static_cast<WORD>(secondOfDay % 60);
    systemTime->wMilliseconds = static_cast<WORD>(tickOfDay % kTicksPerSecond / 10'000);
    return TRUE;
}

// A DATE's whole part counts days from the epoch and its fraction, taken without its sign,
// is the time of day: -1.25 is 29 December 1899 at 06:00.
INT VariantTimeToSystemTime(DATE vtime, SYSTEMTIME* lpSystemTime) {
    // Below zero the fraction counts forward, so 1 January 100 runs from -657434.0 down to just
    // above -657435.0.
    if (lpSystemTime == nullptr || !(vtime > kMinimumDate - 1.0 && vtime < kMaximumDate)) {
        return FALSE;
    }
    const double wholeDays = std::trunc(vtime);
    std::int64_t dateDay = static_cast<std::int64_t>(wholeDays);
    auto secondOfDay = static_cast<std::int64_t>(
        std::llround(std::fabs(vtime - wholeDays) * static_cast<double>(kSecondsPerDay)));
    if (secondOfDay >= kSecondsPerDay) {
        secondOfDay -= kSecondsPerDay;
        ++dateDay;
    }
    const std::int64_t days = dateDay + kDateEpochDay;
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, year, month, day);
    if (year > 9999) {
        return FALSE;
    }
    lpSystemTime->wYear = static_cast<WORD>(year);
    lpSystemTime->wMonth = static_cast<WORD>(month);
    lpSystemTime->wDayOfWeek = DayOfWeek(days);
    lpSystemTime->wDay = static_cast<WORD>(day);
    lpSystemTime->wHour = static_cast<WORD>(secondOfDay / 3600);
    lpSystemTime->wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    lpSystemTime->wSecond = static_cast<WORD>(secondOfDay % 60);
    lpSystemTime->wMilliseconds = 0;
    return TRUE;
}

// A day past the end of its month rolls into the next month (31 April is 1 May), as the
// automation platform does; fields beyond their ranges are refused.
INT SystemTimeToVariantTime(const SYSTEMTIME* lpSystemTime, DATE* pvtime) {
    if (lpSystemTime == nullptr || pvtime == nullptr) {
        return FALSE;
    }
    const SYSTEMTIME& st = *lpSystemTime;
    if (st.wYear < 100 || st.wYear > 9999 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > 31 || !TimeFieldsValid(st)) {
        return FALSE;
    }
    const std::int64_t dateDay =
        DaysFromCivil(st.wYear, st.wMonth, 1) + st.wDay - 1 - kDateEpochDay;
    if (dateDay >= static_cast<std::int64_t>(kMaximumDate)) {
        return FALSE;
    }
    const double timeOfDay = static_cast<double>(st.wHour * 3600 + st.wMinute * 60 + st.wSecond) /
                             static_cast<double>(kSecondsPerDay);
    const auto wholeDays = static_cast<double>(dateDay);
    *pvtime = dateDay >= 0 ? wholeDays + timeOfDay : wholeDays - timeOfDay;
    return TRUE;
}
