#include "platform/CalendarTime.h"

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
