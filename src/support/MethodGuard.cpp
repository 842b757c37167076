#include "support/MethodGuard.h"

#include <exception>

#include "platform/ComError.h"
#include "platform/SystemMessage.h"
#include "platform/WideText.h"
#include "support/LogCall.h"
#include "support/ThrowError.h"

namespace {

constexpr std::size_t kGuardMessageCapacity = 8192;

std::wstring QualifiedName(const GuardNames& names) {
    return std::wstring(names.className) + L"::" + names.memberName;
}

std::wstring DescriptionOrSystemText(const ComError& error) {
    std::wstring description = error.Description();
    return description.empty() ? HResultText(error.Error()) : description;
}

constexpr const wchar_t* kCycleFailed = L"CEThread processing failed. Error=0x%08X: %ls";
constexpr const wchar_t* kCycleThrew =
    L"Exception caught during CEThread processing. Error=0x%08X: %ls";

std::wstring ThreadCycleReport(const wchar_t* format, HRESULT hr, const std::wstring& description) {
    std::wstring text;
    try {
        text = description.empty() ? HResultSystemText(hr) : description;
        if (text.empty()) {
            text = L"(Error description is not available)";
        }
    } catch (...) {
        text = L"(Failed getting error description)";
    }
    return FormatText(kGuardMessageCapacity, format, static_cast<unsigned>(hr), text.c_str());
}

std::wstring BareHResultMessage(const GuardNames& names, HRESULT hr) {
    switch (names.style) {
        case GuardStyle::Control:
            return FormatText(kGuardMessageCapacity, L"%ls() failed. Error = 0x%08X",
                              names.memberName, static_cast<unsigned>(hr));
        case GuardStyle::ThreadCycle:
            return ThreadCycleReport(kCycleThrew, hr, {});
        case GuardStyle::Period:
        case GuardStyle::Colon:
            break;
    }
    return QualifiedName(names) + L" failed.";
}

std::wstring ComErrorMessage(const GuardNames& names, const ComError& error) {
    if (names.style == GuardStyle::ThreadCycle) {
        return ThreadCycleReport(kCycleThrew, error.Error(), error.Description());
    }
    const std::wstring description = DescriptionOrSystemText(error);
    switch (names.style) {
        case GuardStyle::Control:
            return FormatText(kGuardMessageCapacity, L"%ls() failed: %ls (0x%08X)",
                              names.memberName, description.c_str(),
                              static_cast<unsigned>(error.Error()));
        case GuardStyle::Colon:
            return FormatText(kGuardMessageCapacity, L"%ls failed: %ls.",
                              QualifiedName(names).c_str(), description.c_str());
        case GuardStyle::Period:
        case GuardStyle::ThreadCycle:
            break;
    }
    return FormatText(kGuardMessageCapacity, L"%ls failed. %ls.", QualifiedName(names).c_str(),
                      description.c_str());
}

std::wstring UnexpectedMessage(const GuardNames& names) {
    switch (names.style) {
        case GuardStyle::Control:
            return std::wstring(names.memberName) + L"() failed. Caught unexpected exception.";
        case GuardStyle::Colon:
            return QualifiedName(names) + L" failed: Caught unexpected exception.";
        case GuardStyle::ThreadCycle:
            return L"CEThread processing failed: Caught unknown exception!";
        case GuardStyle::Period:
            break;
    }
    return QualifiedName(names) + L" failed. Caught unexpected exception.";
}

}  // namespace

GuardFailure DescribeCurrentException(const GuardNames& names) {
    try {
        throw;
    } catch (HRESULT hr) {
        return {hr, BareHResultMessage(names, hr)};
    } catch (const ComError& error) {
        return {error.Error(), ComErrorMessage(names, error)};
    } catch (const std::exception& error) {
        switch (names.style) {
            case GuardStyle::Control:
                return {E_FAIL, FormatText(kGuardMessageCapacity, L"%ls() failed: %hs",
                                           names.memberName, error.what())};
            case GuardStyle::ThreadCycle:
                return {E_FAIL, FormatText(kGuardMessageCapacity,
                                           L"Exception caught during CEThread processing: %hs",
                                           error.what())};
            case GuardStyle::Period:
            case GuardStyle::Colon:
                break;
        }
        return {E_UNEXPECTED, UnexpectedMessage(names)};
    } catch (...) {
        return {E_UNEXPECTED, UnexpectedMessage(names)};
    }
}

GuardFailure DescribeReturnedFailure(const GuardNames& names, HRESULT hr) {
    if (names.style == GuardStyle::ThreadCycle) {
        return {hr, ThreadCycleReport(kCycleFailed, hr, {})};
    }
    return {hr, BareHResultMessage(names, hr)};
}

void LogGuardFailure(const GuardFailure& failure, const wchar_t* logSource) {
    CEReportEvent(CE_SEVERITY_ERROR, logSource, failure.message.c_str());
}

void SetCallerErrorRecord(const GuardFailure& failure, REFIID iid, const wchar_t* progId) {
    ComPtr<ICreateErrorInfo> creator;
    if (FAILED(CreateErrorInfo(creator.Receive()))) {
        return;
    }
    std::wstring description = failure.message;
    std::wstring source = progId == nullptr ? L"" : progId;
    creator->SetDescription(description.data());
    creator->SetGUID(iid);
    creator->SetSource(source.data());
    ComPtr<IErrorInfo> record;
    if (SUCCEEDED(
            creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(record.Receive())))) {
        SetErrorInfo(0, record.Get());
    }
}

void ReportAutomationFailure(const GuardFailure& failure,
                             const AutomationIdentity& identity) noexcept {
    try {
        SetCallerErrorRecord(failure, identity.iid, identity.progId);
        LogGuardFailure(failure, identity.logSource);
    } catch (...) {
        // Only copying the texts can throw, and only bad_alloc: nothing left to report with.
    }
}

void RethrowGuardFailure(const GuardFailure& failure) {
    ThrowWithDescription(failure.hr, failure.message);
}
