// Dates arrive as text from task documents, scripts and the command line. One strict grammar
// for every locale keeps a document meaning the same thing on every machine.
#include <cwctype>
#include <string_view>

#include "ZynTaskSchedulerLib/Runtime.h"
#include "platform/CalendarTime.h"

namespace {

class DateTextReader {
public:
    explicit DateTextReader(std::wstring_view text) : m_text(text) {}

    // Reads between `minDigits` and `maxDigits` decimal digits.
    bool Number(int minDigits, int maxDigits, int& value) {
        int digits = 0;
        value = 0;
        while (digits < maxDigits && m_pos < m_text.size() && m_text[m_pos] >= L'0' &&
               m_text[m_pos] <= L'9') {
            value = value * 10 + (m_text[m_pos] - L'0');
            ++m_pos;
            ++digits;
        }
        return digits >= minDigits;
    }

    bool Literal(wchar_t c) {
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    bool AtEnd() const { return m_pos == m_text.size(); }

private:
    std::wstring_view m_text;
    std::size_t m_pos = 0;
};

struct DateFields {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

bool ReadIsoDate(DateTextReader& reader, DateFields& f) {
    return reader.Number(4, 4, f.year) && reader.Literal(L'-') && reader.Number(1, 2, f.month) &&
           reader.Literal(L'-') && reader.Number(1, 2, f.day);
}

bool ReadUsDate(DateTextReader& reader, DateFields& f) {
    return reader.Number(1, 2, f.month) && reader.Literal(L'/') && reader.Number(1, 2, f.day) &&
           reader.Literal(L'/') && reader.Number(4, 4, f.year);
}

// "HH:MM[:SS]" up to the end of the text.
bool ReadTime(DateTextReader& reader, DateFields& f) {
    if (!reader.Number(1, 2, f.hour) || !reader.Literal(L':') || !reader.Number(1, 2, f.minute)) {
        return false;
    }
    if (reader.Literal(L':') && !reader.Number(1, 2, f.second)) {
        return false;
    }
    return reader.AtEnd();
}

bool Parse(std::wstring_view text, DateFields& f) {
    DateTextReader iso(text);
    if (ReadIsoDate(iso, f)) {
        return iso.AtEnd() || ((iso.Literal(L'T') || iso.Literal(L' ')) && ReadTime(iso, f));
    }
    f = DateFields{};
    DateTextReader us(text);
    return ReadUsDate(us, f) && (us.AtEnd() || (us.Literal(L' ') && ReadTime(us, f)));
}

std::wstring_view TrimSpaces(std::wstring_view text) {
    while (!text.empty() && std::iswspace(static_cast<wint_t>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::iswspace(static_cast<wint_t>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

HRESULT VarDateFromStr(LPCOLESTR strIn, LCID /*lcid*/, ULONG /*dwFlags*/, DATE* pdateOut) {
    if (strIn == nullptr || pdateOut == nullptr) {
        return E_INVALIDARG;
    }
    DateFields f;
    if (!Parse(TrimSpaces(strIn), f) || f.month < 1 || f.month > 12 || f.day < 1 ||
        static_cast<unsigned>(f.day) >
            DaysInGregorianMonth(f.year, static_cast<unsigned>(f.month))) {
        return DISP_E_TYPEMISMATCH;
    }
    const SYSTEMTIME st{static_cast<WORD>(f.year),
                        static_cast<WORD>(f.month),
                        0,
                        static_cast<WORD>(f.day),
                        static_cast<WORD>(f.hour),
                        static_cast<WORD>(f.minute),
                        static_cast<WORD>(f.second),
                        0};
    return SystemTimeToVariantTime(&st, pdateOut) ? S_OK : DISP_E_TYPEMISMATCH;
}
