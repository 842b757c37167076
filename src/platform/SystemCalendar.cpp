// The calendar conversions that Windows provides itself (kernel32 and oleaut32): built on Linux
// only, exactly as the platform defines them.
#include "platform/CalendarTime.h"

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksPerDay = 86'400 * kTicksPerSecond;
// Day number, counted from 1 January 1970, of the file-time epoch: 1 January 1601.
constexpr std::int64_t kFileTimeEpochDay = -134'774;

// 0 = Sunday; 1 January 1970 was a Thursday.
WORD DayOfWeek(std::int64_t daysSince1970) {
    return static_cast<WORD>(((daysSince1970 % 7) + 7 + 4) % 7);
}

bool TimeFieldsValid(const SYSTEMTIME& st) {
    return st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60 && st.wMilliseconds < 1000;
}

}  // namespace

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

INT VariantTimeToSystemTime(DATE vtime, SYSTEMTIME* lpSystemTime) {
    std::int64_t dateDay = 0;
    std::int64_t secondOfDay = 0;
    if (lpSystemTime == nullptr || !SplitDate(vtime, dateDay, secondOfDay)) {
        return FALSE;
    }
    const std::int64_t days = dateDay - kDateDayOf1970;
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, year, month, day);
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
        DaysFromCivil(st.wYear, st.wMonth, 1) + st.wDay - 1 + kDateDayOf1970;
    if (dateDay >= kEndDateDay) {
        return FALSE;
    }
    *pvtime = JoinDate(dateDay, st.wHour * 3600 + st.wMinute * 60 + st.wSecond);
    return TRUE;
}
