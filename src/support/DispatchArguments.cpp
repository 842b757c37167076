#include "support/DispatchArguments.h"

#include "ZynTaskSchedulerLib/Runtime.h"

namespace {

wchar_t LowerAscii(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool IsMissing(const VARIANT& value) {
    return value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND;
}

std::size_t RequiredCount(std::span<const DispatchParameter> parameters) {
    std::size_t required = parameters.size();
    while (required > 0 && parameters[required - 1].optional) {
        --required;
    }
    return required;
}

HRESULT CheckNamedArguments(const DispatchSignature& signature, const DISPPARAMS& params) {
    if (signature.kind == DISPATCH_PROPERTYPUT) {
        const bool hasValue = params.cNamedArgs == 1 && params.rgdispidNamedArgs != nullptr &&
                              params.rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
        return hasValue ? S_OK : DISP_E_PARAMNOTFOUND;
    }
    return params.cNamedArgs == 0 ? S_OK : DISP_E_NONAMEDARGS;
}

// One argument into `value`, empty on entry.
HRESULT TakeArgument(const DispatchParameter& parameter, const VARIANT& source, VARIANT& value) {
    if (IsMissing(source) && !parameter.optional) {
        return DISP_E_PARAMNOTOPTIONAL;
    }
    if ((parameter.type & VT_BYREF) != 0) {
        if (source.vt != parameter.type || source.byref == nullptr) {
            return DISP_E_TYPEMISMATCH;
        }
        value = source;  // a reference: the caller keeps what it points at
        return S_OK;
    }
    if (parameter.type == VT_VARIANT) {
        return VariantCopyInd(&value, const_cast<VARIANT*>(&source));  // only read
    }
    return VariantChangeType(&value, const_cast<VARIANT*>(&source), 0, parameter.type);
}

}  // namespace

bool NamesMember(const DispatchSignature& signature, const wchar_t* name) {
    const wchar_t* member = signature.name;
    while (*member != L'\0' && LowerAscii(*member) == LowerAscii(*name)) {
        ++member;
        ++name;
    }
    return *member == L'\0' && *name == L'\0';
}

HRESULT UnknownParameterNames(UINT count, DISPID* ids) {
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
    }
    return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
}

CDispatchArguments::CDispatchArguments() {
    VariantInit(&m_result);
}

CDispatchArguments::~CDispatchArguments() {
    for (VARIANT& value : m_values) {
        VariantClear(&value);
    }
    VariantClear(&m_result);
}

HRESULT CDispatchArguments::Prepare(const DispatchSignature& signature, const DISPPARAMS& params,
                                    UINT* argError) {
    if (const HRESULT hr = CheckNamedArguments(signature, params); FAILED(hr)) {
        return hr;
    }
    const std::size_t count = params.cArgs;
    m_argError = argError;
    m_given = count;
    if (count < RequiredCount(signature.parameters) || count > signature.parameters.size() ||
        (count > 0 && params.rgvarg == nullptr)) {
        return DISP_E_BADPARAMCOUNT;
    }
    m_values.resize(signature.parameters.size());
    for (VARIANT& value : m_values) {
        VariantInit(&value);
    }
    for (std::size_t i = 0; i < m_values.size(); ++i) {
        if (i >= count) {
            m_values[i].vt = VT_ERROR;
            m_values[i].scode = DISP_E_PARAMNOTFOUND;
            continue;
        }
        const HRESULT hr =
            TakeArgument(signature.parameters[i], params.rgvarg[count - 1 - i], m_values[i]);
        if (FAILED(hr)) {
            Failed(i);
            return hr;
        }
    }
    return S_OK;
}

void CDispatchArguments::Failed(std::size_t index) {
    if (m_argError != nullptr && index < m_given) {
        *m_argError = static_cast<UINT>(m_given - 1 - index);  // arguments arrive last first
    }
}

VARIANT* CDispatchArguments::Result(VARIANT* callerResult) {
    VARIANT* result = callerResult != nullptr ? callerResult : &m_result;
    VariantInit(result);
    return result;
}

void CDispatchArguments::BeginCall() {
    GetErrorInfo(0, m_earlierRecord.Receive());
}

HRESULT CDispatchArguments::Finish(HRESULT memberResult, EXCEPINFO* exception) {
    ComPtr<IErrorInfo> record;
    GetErrorInfo(0, record.Receive());
    if (FAILED(memberResult) && exception != nullptr) {
        *exception = EXCEPINFO{};
        exception->scode = memberResult;
        if (record) {
            record->GetDescription(&exception->bstrDescription);
            record->GetSource(&exception->bstrSource);
        }
        record.Reset();  // handed over in the exception information
    }
    SetErrorInfo(0, record ? record.Get() : m_earlierRecord.Get());
    return FAILED(memberResult) && exception != nullptr ? DISP_E_EXCEPTION : memberResult;
}
