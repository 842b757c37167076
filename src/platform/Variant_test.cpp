#include "ZynTaskSchedulerLib/Variant.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "ZynTaskSchedulerLib/Dispatch.h"
#include "ZynTaskSchedulerLib/VariantHolder.h"
#include "platform/WideText.h"

namespace {

// A value as a table row states it: the number for numeric, boolean, date and error types,
// the text for strings.
struct Value {
    VARTYPE vt = VT_EMPTY;
    double number = 0;
    std::wstring text;
};

Value Number(VARTYPE vt, double number) {
    return {vt, number, {}};
}
Value Text(const std::wstring& text) {
    return {VT_BSTR, 0, text};
}

void Fill(const Value& value, CVariantHolder& variant) {
    variant.vt = value.vt;
    switch (value.vt) {
        case VT_I2:
            variant.iVal = static_cast<SHORT>(value.number);
            break;
        case VT_I4:
            variant.lVal = static_cast<LONG>(value.number);
            break;
        case VT_UI4:
            variant.ulVal = static_cast<ULONG>(value.number);
            break;
        case VT_R4:
            variant.fltVal = static_cast<float>(value.number);
            break;
        case VT_R8:
            variant.dblVal = value.number;
            break;
        case VT_DATE:
            variant.date = value.number;
            break;
        case VT_BOOL:
            variant.boolVal = static_cast<VARIANT_BOOL>(value.number);
            break;
        case VT_ERROR:
            variant.scode = static_cast<SCODE>(static_cast<std::uint32_t>(value.number));
            break;
        case VT_BSTR:
            variant.bstrVal =
                SysAllocStringLen(value.text.data(), static_cast<UINT>(value.text.size()));
            break;
        default:
            break;
    }
}

std::wstring Describe(const VARIANT& variant) {
    switch (variant.vt) {
        case VT_I2:
            return FormatText(64, L"I2 %d", variant.iVal);
        case VT_I4:
            return FormatText(64, L"I4 %d", variant.lVal);
        case VT_UI4:
            return FormatText(64, L"UI4 %u", variant.ulVal);
        case VT_R4:
            return FormatText(64, L"R4 %.9g", variant.fltVal);
        case VT_R8:
            return FormatText(64, L"R8 %.17g", variant.dblVal);
        case VT_DATE:
            return FormatText(64, L"DATE %.17g", variant.date);
        case VT_BOOL:
            return FormatText(64, L"BOOL %d", variant.boolVal);
        case VT_ERROR:
            return FormatText(64, L"ERROR %x", static_cast<unsigned>(variant.scode));
        case VT_BSTR:
            return L"BSTR '" + std::wstring(variant.bstrVal, SysStringLen(variant.bstrVal)) + L"'";
        default:
            return FormatText(64, L"vt %u", variant.vt);
    }
}

std::wstring Describe(const Value& value) {
    CVariantHolder variant;
    Fill(value, variant);
    return Describe(variant);
}

TEST(VariantChangeType, ConvertsAmongTheAutomationTypes) {
    const struct {
        Value source;
        VARTYPE target;
        HRESULT hr;
        Value expected;
    } rows[] = {
        {Text(L"42"), VT_I4, S_OK, Number(VT_I4, 42)},
        {Text(L" 12 "), VT_I2, S_OK, Number(VT_I2, 12)},
        {Text(L"+7"), VT_UI4, S_OK, Number(VT_UI4, 7)},
        {Text(L"2.5"), VT_I4, S_OK, Number(VT_I4, 2)},
        {Text(L"1e3"), VT_I4, S_OK, Number(VT_I4, 1000)},
        {Text(L"-0.25"), VT_R8, S_OK, Number(VT_R8, -0.25)},
        {Text(L"-7"), VT_UI4, DISP_E_OVERFLOW, {}},
        {Text(L"1e400"), VT_R8, DISP_E_OVERFLOW, {}},
        {Text(L"abc"), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {Text(L""), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {Text(L"inf"), VT_R8, DISP_E_TYPEMISMATCH, {}},
        {Text(L"12abc"), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {Number(VT_R8, 3.5), VT_I4, S_OK, Number(VT_I4, 4)},
        {Number(VT_R8, -2.5), VT_I2, S_OK, Number(VT_I2, -2)},
        {Number(VT_I4, 40000), VT_I2, DISP_E_OVERFLOW, {}},
        {Number(VT_I4, -1), VT_UI4, DISP_E_OVERFLOW, {}},
        {Number(VT_UI4, 4294967295.0), VT_I4, DISP_E_OVERFLOW, {}},
        {Number(VT_UI4, 4294967295.0), VT_R8, S_OK, Number(VT_R8, 4294967295.0)},
        {Number(VT_R8, 1e300), VT_R4, DISP_E_OVERFLOW, {}},
        {Number(VT_I2, -5), VT_R4, S_OK, Number(VT_R4, -5)},
        {Number(VT_I4, 42), VT_BSTR, S_OK, Text(L"42")},
        {Number(VT_UI4, 4000000000.0), VT_BSTR, S_OK, Text(L"4000000000")},
        {Number(VT_R8, 0.1), VT_BSTR, S_OK, Text(L"0.1")},
        {Number(VT_R8, 1e20), VT_BSTR, S_OK, Text(L"1E+20")},
        {Number(VT_R4, 1.5), VT_BSTR, S_OK, Text(L"1.5")},
        {Number(VT_BOOL, VARIANT_TRUE), VT_BSTR, S_OK, Text(L"-1")},
        {Number(VT_BOOL, VARIANT_TRUE), VT_I4, S_OK, Number(VT_I4, -1)},
        {Number(VT_BOOL, VARIANT_TRUE), VT_UI4, DISP_E_OVERFLOW, {}},
        {Number(VT_I4, 7), VT_BOOL, S_OK, Number(VT_BOOL, VARIANT_TRUE)},
        {Number(VT_R8, 0), VT_BOOL, S_OK, Number(VT_BOOL, VARIANT_FALSE)},
        {Text(L"True"), VT_BOOL, S_OK, Number(VT_BOOL, VARIANT_TRUE)},
        {Text(L"false"), VT_BOOL, S_OK, Number(VT_BOOL, VARIANT_FALSE)},
        {Text(L"0"), VT_BOOL, S_OK, Number(VT_BOOL, VARIANT_FALSE)},
        {Text(L"maybe"), VT_BOOL, DISP_E_TYPEMISMATCH, {}},
        {Text(L"2024-01-05"), VT_DATE, S_OK, Number(VT_DATE, 45296.0)},
        {Text(L"01/05/2024 10:30"), VT_DATE, S_OK, Number(VT_DATE, 45296.4375)},
        {Text(L"2024-02-30"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
        {Text(L"tomorrow"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
        {Number(VT_DATE, 45296.4375), VT_BSTR, S_OK, Text(L"2024-01-05 10:30:00")},
        {Number(VT_DATE, 45296.0), VT_BSTR, S_OK, Text(L"2024-01-05")},
        {Number(VT_R8, 45296.5), VT_DATE, S_OK, Number(VT_DATE, 45296.5)},
        {Number(VT_R8, 3e6), VT_DATE, DISP_E_OVERFLOW, {}},
        {Number(VT_DATE, 2.75), VT_R8, S_OK, Number(VT_R8, 2.75)},
        {Number(VT_DATE, 2.75), VT_I4, S_OK, Number(VT_I4, 3)},
        {{}, VT_I4, S_OK, Number(VT_I4, 0)},
        {{}, VT_BSTR, S_OK, Text(L"")},
        {{}, VT_DATE, S_OK, Number(VT_DATE, 0)},
        {Number(VT_NULL, 0), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {Number(VT_NULL, 0), VT_BSTR, DISP_E_TYPEMISMATCH, {}},
        {Number(VT_ERROR, 0x80020004), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {Number(VT_ERROR, 0x80020004), VT_ERROR, S_OK, Number(VT_ERROR, 0x80020004)},
        {Number(VT_I4, 1), VT_ERROR, DISP_E_TYPEMISMATCH, {}},
        {Number(VT_I4, 1), VT_EMPTY, DISP_E_TYPEMISMATCH, {}},
        {Number(VT_I4, 1), VT_VARIANT, DISP_E_BADVARTYPE, {}},
        {Number(VT_I4, 1), 20 /* a 64-bit integer */, DISP_E_BADVARTYPE, {}},
    };
    for (const auto& row : rows) {
        CVariantHolder source;
        Fill(row.source, source);
        SCOPED_TRACE(WideToUtf8(Describe(source) + FormatText(32, L" to vt %u", row.target)));
        CVariantHolder result;
        EXPECT_EQ(row.hr, VariantChangeType(&result, &source, 0, row.target));
        if (SUCCEEDED(row.hr)) {
            EXPECT_EQ(Describe(row.expected), Describe(result));
        } else {
            EXPECT_EQ(VT_EMPTY, result.vt);
        }
    }
}

TEST(VariantChangeType, ConvertsInPlaceWithFlagsAndLeavesTheDestinationAloneOnFailure) {
    CVariantHolder yes;
    yes.vt = VT_BOOL;
    yes.boolVal = VARIANT_TRUE;
    ASSERT_EQ(S_OK, VariantChangeType(&yes, &yes, VARIANT_ALPHABOOL, VT_BSTR));
    EXPECT_EQ(std::wstring(L"True"), yes.bstrVal);

    CVariantHolder value(L"2024-01-05");
    ASSERT_EQ(S_OK, value.ChangeType(VT_DATE));
    EXPECT_EQ(VT_DATE, value.vt);
    EXPECT_EQ(45296.0, value.date);

    CVariantHolder destination(L"kept");
    CVariantHolder bad(L"not a number");
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&destination, &bad, 0, VT_I4));
    ASSERT_EQ(VT_BSTR, destination.vt);
    EXPECT_EQ(std::wstring(L"kept"), destination.bstrVal);
}

TEST(VariantChangeType, ReadsValuesHeldByReference) {
    LONG number = 17;
    CVariantHolder reference;
    reference.vt = VT_BYREF | VT_I4;
    reference.plVal = &number;
    CVariantHolder text;
    ASSERT_EQ(S_OK, VariantChangeType(&text, &reference, 0, VT_BSTR));
    EXPECT_EQ(std::wstring(L"17"), text.bstrVal);

    CVariantHolder inner(L"5");
    CVariantHolder outer;
    outer.vt = VT_BYREF | VT_VARIANT;
    outer.pvarVal = &inner;
    CVariantHolder result;
    ASSERT_EQ(S_OK, VariantChangeType(&result, &outer, 0, VT_I2));
    EXPECT_EQ(5, result.iVal);
}

// An object that counts its references and answers IDispatch only when told to.
class CountedObject : public IDispatch {
public:
    explicit CountedObject(bool dispatch) : m_dispatch(dispatch) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || (m_dispatch && riid == IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_count; }
    ULONG Release() override { return --m_count; }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    ULONG Count() const { return m_count; }

private:
    bool m_dispatch;
    std::atomic<ULONG> m_count{0};
};

TEST(VariantChangeType, QueriesObjectsForTheOtherInterface) {
    CountedObject dispatchable(true);
    CountedObject plain(false);
    {
        CVariantHolder unknown;
        unknown.vt = VT_UNKNOWN;
        unknown.punkVal = &dispatchable;
        dispatchable.AddRef();
        CVariantHolder dispatch;
        ASSERT_EQ(S_OK, VariantChangeType(&dispatch, &unknown, 0, VT_DISPATCH));
        EXPECT_EQ(static_cast<IDispatch*>(&dispatchable), dispatch.pdispVal);
        EXPECT_EQ(2u, dispatchable.Count());
        CVariantHolder number;
        EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&number, &dispatch, 0, VT_I4));

        CVariantHolder other;
        other.vt = VT_UNKNOWN;
        other.punkVal = &plain;
        plain.AddRef();
        EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&dispatch, &other, 0, VT_DISPATCH));
        EXPECT_EQ(1u, plain.Count());
    }
    EXPECT_EQ(0u, dispatchable.Count());
    EXPECT_EQ(0u, plain.Count());
}

TEST(VariantCopy, DuplicatesStringsAndReferencesObjects) {
    CVariantHolder text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocStringLen(L"a\0b", 3);
    CVariantHolder copy;
    ASSERT_EQ(S_OK, VariantCopy(&copy, &text));
    EXPECT_NE(text.bstrVal, copy.bstrVal);
    EXPECT_EQ(std::wstring(L"a\0b", 3), std::wstring(copy.bstrVal, SysStringLen(copy.bstrVal)));

    CountedObject object(true);
    {
        CVariantHolder holder;
        holder.vt = VT_DISPATCH;
        holder.pdispVal = &object;
        object.AddRef();
        ASSERT_EQ(S_OK, VariantCopy(&copy, &holder));  // frees the string copy
        EXPECT_EQ(2u, object.Count());
        ASSERT_EQ(S_OK, VariantCopy(&holder, &copy));  // the same object over itself
        EXPECT_EQ(2u, object.Count());
        EXPECT_EQ(S_OK, copy.Clear());
        EXPECT_EQ(1u, object.Count());
    }
    EXPECT_EQ(0u, object.Count());

    CVariantHolder unsupported;
    unsupported.vt = 0x2000 | VT_I4;  // an array
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantCopy(&copy, &unsupported));
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantClear(&unsupported));
    unsupported.vt = VT_EMPTY;
}

}  // namespace
