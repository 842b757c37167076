// The automation-date conversions that Windows provides itself (oleaut32): built on Linux only,
// exactly as the platform defines them.
#include "platform/CalendarTime.h"

namespace {

// 0 = Sunday; 1 January 1970 was a Thursday.
WORD DayOfWeek(std::int64_t daysSince1970) {
    return static_cast<WORD>(((daysSince1970 % 7) + 7 + 4) % 7);
}

bool TimeFieldsValid(const SYSTEMTIME& st) {
    return st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60 && st.wMilliseconds < 1000;
}

}  // namespace

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
