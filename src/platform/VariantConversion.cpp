// VariantChangeType: every conversion goes through one of four views of the source value (a
// number, a boolean, a date, a text) or an interface query, so that each rule is written once.
// Text is read and written the same way in every locale, so that what one process writes
// another reads back.
#include <cfloat>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include "ZynTaskSchedulerLib/Dispatch.h"
#include "ZynTaskSchedulerLib/Runtime.h"
#include "platform/VariantTypes.h"
#include "platform/WideText.h"

namespace {

// The automation dates of 1 January 100 and of the end of 31 December 9999.
constexpr DATE kFirstDate = -657434.0;
constexpr DATE kEndOfLastDate = 2958466.0;
constexpr int kDoubleDigits = 15;
constexpr int kFloatDigits = 7;

std::wstring_view Text(const VARIANT& value) {
    return value.bstrVal == nullptr ? std::wstring_view()
                                    : std::wstring_view(value.bstrVal, SysStringLen(value.bstrVal));
}

std::wstring_view TrimSpaces(std::wstring_view text) {
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsIgnoringCase(std::wstring_view text, std::wstring_view lowerCase) {
    if (text.size() != lowerCase.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i] >= L'A' && text[i] <= L'Z' ? text[i] - L'A' + L'a' : text[i];
        if (c != lowerCase[i]) {
            return false;
        }
    }
    return true;
}

// A decimal number: optional sign, digits with an optional point, optional exponent.
HRESULT NumberFromText(std::wstring_view text, double& number) {
    text = TrimSpaces(text);
    std::string ascii;
    for (wchar_t c : text) {
        if (c > 0x7F) {
            return DISP_E_TYPEMISMATCH;
        }
        ascii += static_cast<char>(c);
    }
    std::string_view digits = ascii;
    if (digits.starts_with('+')) {
        digits.remove_prefix(1);
    }
    const std::size_t first = digits.starts_with('-') ? 1 : 0;
    if (digits.size() <= first ||
        !(std::isdigit(static_cast<unsigned char>(digits[first])) || digits[first] == '.')) {
        return DISP_E_TYPEMISMATCH;  // also keeps out "inf" and "nan"
    }
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error == std::errc::result_out_of_range) {
        return DISP_E_OVERFLOW;
    }
    return error == std::errc() && end == digits.data() + digits.size() ? S_OK
                                                                        : DISP_E_TYPEMISMATCH;
}

// The source as a number: empty is 0, true is -1, text is read as a decimal number.
HRESULT NumberOf(const VARIANT& value, double& number) {
    switch (value.vt) {
        case VT_EMPTY:
            number = 0;
            return S_OK;
        case VT_I2:
            number = value.iVal;
            return S_OK;
        case VT_I4:
            number = value.lVal;
            return S_OK;
        case VT_UI4:
            number = value.ulVal;
            return S_OK;
        case VT_R4:
            number = value.fltVal;
            return S_OK;
        case VT_R8:
            number = value.dblVal;
            return S_OK;
        case VT_DATE:
            number = value.date;
            return S_OK;
        case VT_BOOL:
            number = value.boolVal == VARIANT_FALSE ? 0 : -1;
            return S_OK;
        case VT_BSTR:
            return NumberFromText(Text(value), number);
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

HRESULT BooleanOf(const VARIANT& value, VARIANT_BOOL& boolean) {
    if (value.vt == VT_BSTR) {
        const std::wstring_view text = TrimSpaces(Text(value));
        if (EqualsIgnoringCase(text, L"true") || EqualsIgnoringCase(text, L"false")) {
            boolean = EqualsIgnoringCase(text, L"true") ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        }
    }
    double number = 0;
    const HRESULT hr = NumberOf(value, number);
    boolean = number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return hr;
}

HRESULT DateOf(const VARIANT& value, DATE& date) {
    if (value.vt == VT_BSTR) {
        const std::wstring text(Text(value));
        return VarDateFromStr(text.c_str(), LOCALE_USER_DEFAULT, 0, &date);
    }
    const HRESULT hr = NumberOf(value, date);
    if (SUCCEEDED(hr) && !(date >= kFirstDate && date < kEndOfLastDate)) {
        return DISP_E_OVERFLOW;
    }
    return hr;
}

std::wstring DecimalText(double number, int significantDigits) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), number,
                                      std::chars_format::general, significantDigits);
    std::wstring text(buffer, result.ptr);
    for (wchar_t& c : text) {
        if (c == L'e') {
            c = L'E';
        }
    }
    return text;
}

HRESULT DateText(DATE date, std::wstring& text) {
    SYSTEMTIME st{};
    if (!(date >= kFirstDate && date < kEndOfLastDate) || !VariantTimeToSystemTime(date, &st)) {
        return DISP_E_OVERFLOW;
    }
    text = FormatText(32, L"%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
    if (st.wHour != 0 || st.wMinute != 0 || st.wSecond != 0) {
        text += FormatText(32, L" %02u:%02u:%02u", st.wHour, st.wMinute, st.wSecond);
    }
    return S_OK;
}

HRESULT TextOf(const VARIANT& value, USHORT flags, std::wstring& text) {
    switch (value.vt) {
        case VT_EMPTY:
            text.clear();
            return S_OK;
        case VT_I2:
        case VT_I4:
            text = std::to_wstring(value.vt == VT_I2 ? value.iVal : value.lVal);
            return S_OK;
        case VT_UI4:
            text = std::to_wstring(value.ulVal);
            return S_OK;
        case VT_R4:
            text = DecimalText(value.fltVal, kFloatDigits);
            return S_OK;
        case VT_R8:
            text = DecimalText(value.dblVal, kDoubleDigits);
            return S_OK;
        case VT_DATE:
            return DateText(value.date, text);
        case VT_BOOL:
            if ((flags & VARIANT_ALPHABOOL) != 0) {
                text = value.boolVal == VARIANT_FALSE ? L"False" : L"True";
            } else {
                text = value.boolVal == VARIANT_FALSE ? L"0" : L"-1";
            }
            return S_OK;
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// Rounds half to even (the default floating-point rounding) and checks the range.
HRESULT WholeNumber(double number, double lowest, double highest, double& whole) {
    whole = std::nearbyint(number);
    return whole >= lowest && whole <= highest ? S_OK : DISP_E_OVERFLOW;
}

HRESULT StoreNumber(double number, VARTYPE vt, VARIANT& out) {
    double whole = 0;
    HRESULT hr = S_OK;
    switch (vt) {
        case VT_I2:
            hr = WholeNumber(number, -32768.0, 32767.0, whole);
            out.iVal = static_cast<SHORT>(whole);
            break;
        case VT_I4:
            hr = WholeNumber(number, -2147483648.0, 2147483647.0, whole);
            out.lVal = static_cast<LONG>(whole);
            break;
        case VT_UI4:
            hr = WholeNumber(number, 0.0, 4294967295.0, whole);
            out.ulVal = static_cast<ULONG>(whole);
            break;
        case VT_R4:
            hr = std::isfinite(number) && std::fabs(number) > FLT_MAX ? DISP_E_OVERFLOW : S_OK;
            out.fltVal = static_cast<float>(number);
            break;
        default:
            out.dblVal = number;
            break;
    }
    if (SUCCEEDED(hr)) {
        out.vt = vt;
    }
    return hr;
}

HRESULT StoreInterface(const VARIANT& value, VARTYPE vt, VARIANT& out) {
    if (value.vt != VT_UNKNOWN && value.vt != VT_DISPATCH) {
        return DISP_E_TYPEMISMATCH;
    }
    IUnknown* source = value.vt == VT_UNKNOWN ? value.punkVal : value.pdispVal;
    void* target = nullptr;
    if (source != nullptr &&
        FAILED(source->QueryInterface(vt == VT_UNKNOWN ? IID_IUnknown : IID_IDispatch, &target))) {
        return DISP_E_TYPEMISMATCH;
    }
    out.vt = vt;
    out.byref = target;
    return S_OK;
}

HRESULT StoreText(const VARIANT& value, USHORT flags, VARIANT& out) {
    std::wstring text;
    if (const HRESULT hr = TextOf(value, flags, text); FAILED(hr)) {
        return hr;
    }
    out.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (out.bstrVal == nullptr) {
        return E_OUTOFMEMORY;
    }
    out.vt = VT_BSTR;
    return S_OK;
}

// Converts a value that is not held by reference into `out`, which is empty.
HRESULT Convert(const VARIANT& value, USHORT flags, VARTYPE vt, VARIANT& out) {
    if (value.vt == vt) {
        return VariantCopy(&out, &value);
    }
    switch (vt) {
        case VT_BSTR:
            return StoreText(value, flags, out);
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return StoreInterface(value, vt, out);
        case VT_BOOL: {
            const HRESULT hr = BooleanOf(value, out.boolVal);
            out.vt = SUCCEEDED(hr) ? VT_BOOL : VT_EMPTY;
            return hr;
        }
        case VT_DATE: {
            const HRESULT hr = DateOf(value, out.date);
            out.vt = SUCCEEDED(hr) ? VT_DATE : VT_EMPTY;
            return hr;
        }
        case VT_I2:
        case VT_I4:
        case VT_UI4:
        case VT_R4:
        case VT_R8: {
            double number = 0;
            const HRESULT hr = NumberOf(value, number);
            return FAILED(hr) ? hr : StoreNumber(number, vt, out);
        }
        default:
            return DISP_E_TYPEMISMATCH;  // empty, null and error values are made by no conversion
    }
}

}  // namespace

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt) {
    if (pvargDest == nullptr || pvarSrc == nullptr) {
        return E_INVALIDARG;
    }
    if (!IsSupportedVariantType(vt)) {
        return DISP_E_BADVARTYPE;
    }
    VARIANT value;
    VariantInit(&value);
    if (const HRESULT hr = VariantCopyInd(&value, pvarSrc); FAILED(hr)) {
        return hr;
    }
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT hr = Convert(value, wFlags, vt, converted);
    VariantClear(&value);
    if (FAILED(hr)) {
        return hr;
    }
    if (const HRESULT cleared = VariantClear(pvargDest); FAILED(cleared)) {
        VariantClear(&converted);
        return cleared;
    }
    *pvargDest = converted;
    return S_OK;
}
