#include <gtest/gtest.h>

#include "ZynTaskSchedulerLib/Runtime.h"

namespace {

DATE DateOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    const SYSTEMTIME st{static_cast<WORD>(year),
                        static_cast<WORD>(month),
                        0,
                        static_cast<WORD>(day),
                        static_cast<WORD>(hour),
                        static_cast<WORD>(minute),
                        static_cast<WORD>(second),
                        0};
    DATE date = 0;
    EXPECT_TRUE(SystemTimeToVariantTime(&st, &date));
    return date;
}

// Accepted forms give their date; rejected ones leave the output alone.
TEST(DateText, ReadsTheAcceptedFormsOnly) {
    constexpr DATE kRejected = 42;
    const struct {
        const wchar_t* text;
        DATE expected;
    } rows[] = {
        {L"2024-02-29", DateOf(2024, 2, 29)},
        {L"2024-02-29T08:05", DateOf(2024, 2, 29, 8, 5)},
        {L"2024-02-29T08:05:09", DateOf(2024, 2, 29, 8, 5, 9)},
        {L"2024-02-29 23:59:59", DateOf(2024, 2, 29, 23, 59, 59)},
        {L"12/31/1999", DateOf(1999, 12, 31)},
        {L"1/2/2000 7:08", DateOf(2000, 1, 2, 7, 8)},
        {L"01/02/2000 07:08:09", DateOf(2000, 1, 2, 7, 8, 9)},
        {L"  2000-01-01 00:00  ", DateOf(2000, 1, 1)},
        {L"\t1899-12-30\n", 0.0},
        {L"", kRejected},
        {L"   ", kRejected},
        {L"2023-02-29", kRejected},        // not a leap year
        {L"2024-13-01", kRejected},        // month 13
        {L"2024-00-10", kRejected},        // month 0
        {L"2024-04-31", kRejected},        // April has 30 days
        {L"2024-01-01T24:00", kRejected},  // hour 24
        {L"2024-01-01 10:60", kRejected},  // minute 60
        {L"2024-01-01 10:00:60", kRejected},
        {L"2024-01-01T10", kRejected},  // minutes missing
        {L"2024-01-01X10:00", kRejected},
        {L"2024-01-01 10:00 PM", kRejected},
        {L"24-01-01", kRejected},  // two-digit year
        {L"2024/01/01", kRejected},
        {L"31/12/1999", kRejected},  // day first is not a form we read
        {L"12/31/99", kRejected},
        {L"0099-01-01", kRejected},  // before the year 100
        {L"tomorrow", kRejected},
        {L"2024-01-01Z", kRejected},
        {L"2024-001-01", kRejected},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.text)));
        DATE date = kRejected;
        EXPECT_EQ(VarDateFromStr(row.text, 0, 0, &date),
                  row.expected == kRejected ? DISP_E_TYPEMISMATCH : S_OK);
        EXPECT_DOUBLE_EQ(date, row.expected);
    }
    DATE date = 0;
    EXPECT_EQ(VarDateFromStr(nullptr, 0, 0, &date), E_INVALIDARG);
}

}  // namespace
