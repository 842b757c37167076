// The part of a late-bound call that does not depend on the class: the description of a
// member (its name, DISPID, kind, parameter types and result type), and the arguments of one
// call, checked against that description and converted to the parameter types in declaration
// order. Used by DispatchImpl; one call at a time per object of this class.
#pragma once

#include <span>
#include <vector>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/Dispatch.h"

// A parameter: its type (VT_VARIANT takes any value; VT_BYREF with a type takes a reference to
// a value of exactly that type, for [out] parameters) and whether it may be left out. Only
// VARIANT parameters are optional; a left-out one arrives as VT_ERROR with
// DISP_E_PARAMNOTFOUND.
struct DispatchParameter {
    VARTYPE type = VT_EMPTY;
    bool optional = false;
};

constexpr DispatchParameter In(VARTYPE type) {
    return {type, false};
}
constexpr DispatchParameter Optional() {
    return {VT_VARIANT, true};
}
constexpr DispatchParameter Out(VARTYPE type) {
    return {static_cast<VARTYPE>(type | VT_BYREF), false};
}

struct DispatchSignature {
    const wchar_t* name;
    DISPID dispid;
    WORD kind;  // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
    std::span<const DispatchParameter> parameters;
    VARTYPE result;  // the [out, retval] type; VT_EMPTY for none
};

// Whether `name` is the member's name, ignoring the case of ASCII letters.
bool NamesMember(const DispatchSignature& signature, const wchar_t* name);
// GetIDsOfNames for the names after the first (parameter names): none is known here.
HRESULT UnknownParameterNames(UINT count, DISPID* ids);

class CDispatchArguments {
public:
    CDispatchArguments();
    CDispatchArguments(const CDispatchArguments&) = delete;
    CDispatchArguments& operator=(const CDispatchArguments&) = delete;
    ~CDispatchArguments();

    // Checks and converts the caller's arguments: DISP_E_BADPARAMCOUNT, DISP_E_NONAMEDARGS,
    // DISP_E_PARAMNOTFOUND (a property put without its value), DISP_E_PARAMNOTOPTIONAL, or the
    // conversion's failure with the argument's position in `argError`.
    HRESULT Prepare(const DispatchSignature& signature, const DISPPARAMS& params, UINT* argError);
    VARIANT* Values() { return m_values.data(); }
    // Reports the argument of parameter `index` (declaration order) as the one that failed.
    void Failed(std::size_t index);
    // Where the member's result goes: the caller's VARIANT (emptied first) or one of ours.
    VARIANT* Result(VARIANT* callerResult);

    // Sets the thread's error record aside, so that a record found after the call is the
    // member's own.
    void BeginCall();
    // The answer of Invoke: a failure becomes DISP_E_EXCEPTION with the member's HRESULT and
    // the description and source of the member's error record in `exception`, when the caller
    // gave one; without one, the failure is answered as it is and the record stays for the
    // caller. A call that set no record leaves the thread's earlier one in place.
    HRESULT Finish(HRESULT memberResult, EXCEPINFO* exception);

private:
    std::vector<VARIANT> m_values;
    VARIANT m_result;
    ComPtr<IErrorInfo> m_earlierRecord;
    UINT* m_argError = nullptr;
    std::size_t m_given = 0;
};
