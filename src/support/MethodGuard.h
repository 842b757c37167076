// The guard every method and internal operation runs its body in: a thrown bare HRESULT, a
// thrown ComError and anything else are turned into a result and a message naming the class
// and member, in the forms the library's callers and logs rely on. The catch ladder lives in
// DescribeCurrentException alone; the helpers below only decide what happens to a failure
// (logged, put in the caller's error record, passed on). Thread-safe; nothing is shared.
#pragma once

#include <string>
#include <type_traits>
#include <utility>

#include "ZynTaskSchedulerLib/Runtime.h"

enum class GuardStyle {
    Period,  // "C::M failed.", "C::M failed. %s.", "C::M failed. Caught unexpected exception."
    Colon,   // "C::M failed.", "C::M failed: %s.", "C::M failed: Caught unexpected exception."
    // "M() failed. Error = 0x%08X", "M() failed: %ls (0x%08X)", "M() failed: %hs" for a
    // standard exception (E_FAIL), "M() failed. Caught unexpected exception."
    Control,
    // The thread framework's cycle (the names are not used): "CEThread processing failed.
    // Error=0x%08X: %ls" for a returned failure; "Exception caught during CEThread processing.
    // Error=0x%08X: %ls" for a thrown HRESULT or ComError, with its description, else the
    // system's text, else "(Error description is not available)"; "Exception caught during
    // CEThread processing: %hs" for a standard exception (E_FAIL); "CEThread processing
    // failed: Caught unknown exception!" for anything else.
    ThreadCycle,
};

struct GuardNames {
    const wchar_t* className;
    const wchar_t* memberName;
    GuardStyle style = GuardStyle::Period;
};

struct GuardFailure {
    HRESULT hr = S_OK;
    std::wstring message;
};

// Must be called inside a catch block: describes the exception being handled.
GuardFailure DescribeCurrentException(const GuardNames& names);
// The plain message, for a failure the body returned instead of throwing.
GuardFailure DescribeReturnedFailure(const GuardNames& names, HRESULT hr);

// Runs `body` (returning HRESULT or nothing); fills `failure` when the result is a failure.
template <class Body>
HRESULT RunGuarded(const GuardNames& names, GuardFailure& failure, Body&& body) {
    HRESULT hr = S_OK;
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Body>>) {
            std::forward<Body>(body)();
        } else {
            hr = std::forward<Body>(body)();
        }
    } catch (...) {
        failure = DescribeCurrentException(names);
        return failure.hr;
    }
    if (FAILED(hr)) {
        failure = DescribeReturnedFailure(names, hr);
    }
    return hr;
}

void LogGuardFailure(const GuardFailure& failure, const wchar_t* logSource);
// Installs an error record for the caller: the message, the interface, the class's ProgID.
void SetCallerErrorRecord(const GuardFailure& failure, REFIID iid, const wchar_t* progId);
[[noreturn]] void RethrowGuardFailure(const GuardFailure& failure);

// An internal operation whose failure is logged and answered.
template <class Body>
HRESULT GuardAndLog(const GuardNames& names, const wchar_t* logSource, Body&& body) {
    GuardFailure failure;
    const HRESULT hr = RunGuarded(names, failure, std::forward<Body>(body));
    if (FAILED(hr)) {
        LogGuardFailure(failure, logSource);
    }
    return hr;
}

// An internal operation whose failure is logged and passed on with the guard's message.
template <class Body>
HRESULT GuardLogAndRethrow(const GuardNames& names, const wchar_t* logSource, Body&& body) {
    GuardFailure failure;
    const HRESULT hr = RunGuarded(names, failure, std::forward<Body>(body));
    if (FAILED(hr)) {
        LogGuardFailure(failure, logSource);
        RethrowGuardFailure(failure);
    }
    return hr;
}

// A method of an automation interface: no exception leaves it; a failure is logged and put
// into the caller's error record.
struct AutomationIdentity {
    const IID& iid;
    const wchar_t* progId;
    const wchar_t* logSource;
};

// What an automation method does with its failure: the caller's error record, then the log.
// For methods that have more to do around the report (events, closing handles) and so run
// RunGuarded themselves. Reporting that runs out of memory is given up silently.
void ReportAutomationFailure(const GuardFailure& failure,
                             const AutomationIdentity& identity) noexcept;

template <class Body>
HRESULT GuardAutomationMethod(const GuardNames& names, const AutomationIdentity& identity,
                              Body&& body) noexcept {
    GuardFailure failure;
    try {
        const HRESULT hr = RunGuarded(names, failure, std::forward<Body>(body));
        if (FAILED(hr)) {
            ReportAutomationFailure(failure, identity);
        }
        return hr;
    } catch (...) {
        return E_OUTOFMEMORY;  // only describing the failure can throw here, and only bad_alloc
    }
}
