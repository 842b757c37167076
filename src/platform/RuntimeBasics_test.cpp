// Strings, GUIDs, error records and system texts: the runtime calls every other part uses.
#include <gtest/gtest.h>

#include <set>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/Runtime.h"
#include "platform/ComError.h"
#include "platform/SystemMessage.h"

namespace {

TEST(Bstr, KeepsLengthAndEmbeddedZeros) {
    BSTR text = SysAllocStringLen(L"a\0b", 3);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(text[1], L'\0');
    EXPECT_EQ(text[3], L'\0');
    SysFreeString(text);
    BSTR copy = SysAllocString(L"hello");
    EXPECT_EQ(SysStringLen(copy), 5u);
    EXPECT_STREQ(copy, L"hello");
    SysFreeString(copy);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(Guid, TextRoundTripAndRefusals) {
    CLSID id{};
    ASSERT_EQ(CLSIDFromString(L"{0123abcd-89AB-cdef-0123-456789ABCDEF}", &id), S_OK);
    EXPECT_EQ(id.Data1, 0x0123ABCDu);
    EXPECT_EQ(id.Data4[7], 0xEF);
    wchar_t text[39] = {};
    ASSERT_EQ(StringFromGUID2(id, text, 39), 39);
    EXPECT_STREQ(text, L"{0123ABCD-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(StringFromGUID2(id, text, 38), 0);
    for (const wchar_t* bad :
         {L"", L"0123ABCD-89AB-CDEF-0123-456789ABCDEF", L"{0123ABCD-89AB-CDEF-0123-456789ABCDEG}",
          L"{0123ABCD-89AB-CDEF-0123456789ABCDEF0}", L"{0123ABCD-89AB-CDEF-0123-456789ABCDEF}x"}) {
        EXPECT_EQ(CLSIDFromString(bad, &id), CO_E_CLASSSTRING) << bad;
    }
}

TEST(Guid, CreatedGuidsAreRandomVersion4) {
    std::set<std::wstring> seen;
    for (int i = 0; i < 100; ++i) {
        GUID guid{};
        ASSERT_EQ(CoCreateGuid(&guid), S_OK);
        EXPECT_EQ(guid.Data3 >> 12, 4);
        EXPECT_EQ(guid.Data4[0] & 0xC0, 0x80);
        wchar_t text[39];
        StringFromGUID2(guid, text, 39);
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 100u);
}

TEST(ErrorInfo, RecordTravelsThroughTheThreadSlotOnce) {
    ComPtr<ICreateErrorInfo> creator;
    ASSERT_EQ(CreateErrorInfo(creator.Receive()), S_OK);
    wchar_t description[] = L"it broke";
    wchar_t source[] = L"Zyn.Thing.1";
    creator->SetDescription(description);
    creator->SetSource(source);
    creator->SetGUID(IID_IErrorInfo);
    ComPtr<IErrorInfo> record;
    ASSERT_EQ(creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(record.Receive())),
              S_OK);
    ASSERT_EQ(SetErrorInfo(0, record.Get()), S_OK);

    ComPtr<IErrorInfo> received;
    ASSERT_EQ(GetErrorInfo(0, received.Receive()), S_OK);
    EXPECT_EQ(received.Get(), record.Get());
    EXPECT_EQ(ComError(E_FAIL, received).Description(), L"it broke");
    GUID guid{};
    received->GetGUID(&guid);
    EXPECT_EQ(guid, IID_IErrorInfo);
    EXPECT_EQ(GetErrorInfo(0, received.Receive()), S_FALSE);
    EXPECT_FALSE(received);
}

TEST(SystemMessage, CodesTextsAndFallbacks) {
    EXPECT_EQ(SystemMessageText(5), L"Access is denied.");
    EXPECT_EQ(SystemMessageText(99999), L"");
    EXPECT_EQ(HResultText(E_FAIL), L"Unspecified error.");
    EXPECT_EQ(HResultText(HRESULT_FROM_WIN32(5)), L"Access is denied.");
    EXPECT_EQ(HResultText(MakeHResult(0x80040200)), L"IDispatch error #0");
    EXPECT_EQ(HResultText(MakeHResult(0x80041002)), L"IDispatch error #3586");
    EXPECT_EQ(HResultText(MakeHResult(0x80045555)), L"IDispatch error #21333");
    EXPECT_EQ(HResultText(MakeHResult(0x8007FFFF)), L"Unknown error 0x8007FFFF");
    EXPECT_EQ(HResultText(MakeHResult(0x80050000)), L"Unknown error 0x80050000");
    EXPECT_EQ(HRESULT_FROM_WIN32(5), E_ACCESSDENIED);
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
    EXPECT_EQ(HRESULT_FROM_WIN32(0x12345), MakeHResult(0x80072345));
    EXPECT_EQ(HRESULT_FROM_WIN32(-5), -5);
}

}  // namespace
