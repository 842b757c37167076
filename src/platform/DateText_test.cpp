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

TEST(DateText, AcceptedForms) {
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
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.text)));
        DATE date = -1;
        ASSERT_EQ(VarDateFromStr(row.text, 0, 0, &date), S_OK);
        EXPECT_DOUBLE_EQ(date, row.expected);
    }
}

TEST(DateText, RejectedForms) {
    const wchar_t* rows[] = {
        L"",
        L"   ",
        L"2023-02-29",        // not a leap year
        L"2024-13-01",        // month 13
        L"2024-00-10",        // month 0
        L"2024-04-31",        // April has 30 days
        L"2024-01-01T24:00",  // hour 24
        L"2024-01-01 10:60",  // minute 60
        L"2024-01-01 10:00:60",
        L"2024-01-01T10",  // minutes missing
        L"2024-01-01X10:00",
        L"2024-01-01 10:00 PM",
        L"24-01-01",  // two-digit year
        L"2024/01/01",
        L"31/12/1999",  // day first is not a form we read
        L"12/31/99",
        L"0099-01-01",  // before the year 100
        L"tomorrow",
        L"2024-01-01Z",
        L"2024-001-01",
    };
    for (const wchar_t* text : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
        DATE date = 42;
        EXPECT_EQ(VarDateFromStr(text, 0, 0, &date), DISP_E_TYPEMISMATCH);
        EXPECT_EQ(date, 42);
    }
    DATE date = 0;
    EXPECT_EQ(VarDateFromStr(nullptr, 0, 0, &date), E_INVALIDARG);
}

}  // namespace
