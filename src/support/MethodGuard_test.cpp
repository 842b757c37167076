#include "support/MethodGuard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "platform/ComError.h"
#include "platform/SystemMessage.h"
#include "support/LogCall.h"
#include "support/LogCapture.h"
#include "support/ThrowError.h"

namespace {

const GuardNames kPeriod{L"CZynTaskImpl", L"SetXml"};
const GuardNames kColon{L"CZynTasksList", L"GetTask", GuardStyle::Colon};
const GuardNames kControl{L"CZynTaskProcessor", L"Pause", GuardStyle::Control};

// Each row throws one kind of failure through each message form.
struct GuardRow {
    const char* what;
    void (*thrower)();
    const GuardNames* names;
    HRESULT expectedHr;
    std::wstring expectedMessage;
};

// The system's texts differ between systems (and Wine has its own): the rows take them from it.
const std::wstring kFailText = HResultText(E_FAIL);
const std::wstring kPointerText = HResultText(E_POINTER);

void ThrowBareFail() {
    throw E_FAIL;
}
void ThrowComErrorWithText() {
    CEThrowError(E_FAIL, L"No BeginDate specified for trigger.");
}
void ThrowComErrorWithoutRecord() {
    throw ComError(E_POINTER);
}
void ThrowStandard() {
    throw std::runtime_error("disk on fire");
}
void ThrowOther() {
    throw 42.0;
}

const GuardRow kRows[] = {
    {"bare, period", ThrowBareFail, &kPeriod, E_FAIL, L"CZynTaskImpl::SetXml failed."},
    {"com error, period", ThrowComErrorWithText, &kPeriod, E_FAIL,
     L"CZynTaskImpl::SetXml failed. No BeginDate specified for trigger. " + kFailText + L"."},
    {"com error without record, period", ThrowComErrorWithoutRecord, &kPeriod, E_POINTER,
     L"CZynTaskImpl::SetXml failed. " + kPointerText + L"."},
    {"standard, period", ThrowStandard, &kPeriod, E_UNEXPECTED,
     L"CZynTaskImpl::SetXml failed. Caught unexpected exception."},
    {"other, period", ThrowOther, &kPeriod, E_UNEXPECTED,
     L"CZynTaskImpl::SetXml failed. Caught unexpected exception."},
    {"bare, colon", ThrowBareFail, &kColon, E_FAIL, L"CZynTasksList::GetTask failed."},
    {"com error, colon", ThrowComErrorWithoutRecord, &kColon, E_POINTER,
     L"CZynTasksList::GetTask failed: " + kPointerText + L"."},
    {"other, colon", ThrowOther, &kColon, E_UNEXPECTED,
     L"CZynTasksList::GetTask failed: Caught unexpected exception."},
    {"bare, control", ThrowBareFail, &kControl, E_FAIL, L"Pause() failed. Error = 0x80004005"},
    {"com error, control", ThrowComErrorWithoutRecord, &kControl, E_POINTER,
     L"Pause() failed: " + kPointerText + L" (0x80004003)"},
    {"standard, control", ThrowStandard, &kControl, E_FAIL, L"Pause() failed: disk on fire"},
    {"other, control", ThrowOther, &kControl, E_UNEXPECTED,
     L"Pause() failed. Caught unexpected exception."},
};

TEST(MethodGuard, EveryHandlerAndMessageForm) {
    for (const GuardRow& row : kRows) {
        SCOPED_TRACE(row.what);
        LogCapture log;
        EXPECT_EQ(GuardAndLog(*row.names, L"Source", row.thrower), row.expectedHr);
        ASSERT_EQ(log.Records().size(), 1u);
        EXPECT_TRUE(log.Contains(CE_SEVERITY_ERROR, L"Source", row.expectedMessage))
            << testing::PrintToString(log.Records()[0].message);
    }
}

TEST(MethodGuard, ReturnedResultsPassOnAndOnlyFailuresAreLogged) {
    LogCapture log;
    EXPECT_EQ(GuardAndLog(kPeriod, L"Source", [] { return S_FALSE; }), S_FALSE);
    EXPECT_EQ(GuardAndLog(kPeriod, L"Source", [] {}), S_OK);
    EXPECT_TRUE(log.Records().empty());
    EXPECT_EQ(GuardAndLog(kPeriod, L"Source", [] { return E_NOTIMPL; }), E_NOTIMPL);
    EXPECT_TRUE(log.Contains(CE_SEVERITY_ERROR, L"Source", L"CZynTaskImpl::SetXml failed."));
}

TEST(MethodGuard, RethrowPassesTheMessageOnAsTheDescription) {
    LogCapture log;
    try {
        GuardLogAndRethrow(kPeriod, L"CZynTaskImpl", ThrowComErrorWithText);
        FAIL() << "nothing was thrown";
    } catch (const ComError& error) {
        EXPECT_EQ(error.Error(), E_FAIL);
        EXPECT_EQ(error.Description(),
                  L"CZynTaskImpl::SetXml failed. No BeginDate specified for trigger. " + kFailText +
                      L".");
    }
    EXPECT_EQ(log.Records().size(), 1u);
}

TEST(MethodGuard, AutomationMethodSetsTheCallersErrorRecord) {
    LogCapture log;
    SetErrorInfo(0, nullptr);
    const AutomationIdentity identity{IID_IErrorInfo, L"ZynTaskSchedulerLib.ZynTask.1",
                                      L"CZynTask"};
    const HRESULT hr = GuardAutomationMethod(GuardNames{L"CZynTaskScheduler", L"get_Enabled"},
                                             identity, [] { FAILED_THROW(E_POINTER); });
    EXPECT_EQ(hr, E_POINTER);
    EXPECT_TRUE(
        log.Contains(CE_SEVERITY_ERROR, L"CZynTask", L"CZynTaskScheduler::get_Enabled failed."));
    EXPECT_EQ(log.Matching(L"FAILED_THROW 80004003").size(), 1u);

    ComPtr<IErrorInfo> record;
    ASSERT_EQ(GetErrorInfo(0, record.Receive()), S_OK);
    BSTR source = nullptr;
    record->GetSource(&source);
    EXPECT_STREQ(source, L"ZynTaskSchedulerLib.ZynTask.1");
    SysFreeString(source);
    GUID guid{};
    record->GetGUID(&guid);
    EXPECT_EQ(guid, IID_IErrorInfo);
    EXPECT_EQ(ComError(hr, record).Description(), L"CZynTaskScheduler::get_Enabled failed.");

    EXPECT_EQ(GuardAutomationMethod(GuardNames{L"C", L"M"}, identity, [] { return S_OK; }), S_OK);
    EXPECT_EQ(GetErrorInfo(0, record.Receive()), S_FALSE);  // taken, and no new one set
}

TEST(ThrowError, DescriptionJoinsMessageAndSystemText) {
    try {
        CEThrowError(MakeHResult(0x80041002), L"Cannot create work folder /x");
        FAIL() << "nothing was thrown";
    } catch (const ComError& error) {
        EXPECT_EQ(error.Error(), MakeHResult(0x80041002));
        EXPECT_EQ(error.Description(), L"Cannot create work folder /x IDispatch error #3586");
    }
}

TEST(FailureTraces, NameTheFileAndLine) {
    LogCapture log;
    auto returning = []() -> HRESULT { FAILED_RETURN(E_FAIL); };
    EXPECT_EQ(returning(), E_FAIL);
    EXPECT_THROW(CE_FAILED_THROW_ERROR(E_POINTER), ComError);
    const auto records = log.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].severity, CE_SEVERITY_WARNING);
    EXPECT_EQ(records[0].message, L"FAILED_RETURN 80004005");
    EXPECT_EQ(records[0].source.rfind(L"MethodGuard_test(", 0), 0u) << records[0].source;
    EXPECT_EQ(records[1].message, L"CE_FAILED_THROW_ERROR 80004003");
}

}  // namespace
