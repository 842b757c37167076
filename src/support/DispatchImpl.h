// IDispatch over a static table of members, so that a class with a dual interface (or an event
// sink) states only its members. The class names its table in a static function:
//
//   class CSample : public CObjectRoot, public CDispatchImpl<ISample, CSample> {
//   public:
//       static std::span<const DispatchMember<ISample>> DispatchMembers();
//   };
//   std::span<const DispatchMember<ISample>> CSample::DispatchMembers() {
//       static constexpr DispatchMember<ISample> kMembers[] = {
//           DispatchPropertyGet<&ISample::get_Name, VT_BSTR>(L"Name", 1),
//           DispatchPropertyPut<&ISample::put_Name, In(VT_BSTR)>(L"Name", 1),
//           DispatchMethod<&ISample::Add, VT_I4, In(VT_I4), Optional()>(L"Add", 2),
//       };
//       return kMembers;
//   }
//
// Each row names the member function it calls, its [out, retval] type (VT_EMPTY when there is
// none) and its parameter types in declaration order; the C++ signature is checked against
// them when the table is compiled. GetIDsOfNames finds names without regard to the case of
// ASCII letters. Invoke converts the arguments (which arrive last first) to the parameter
// types, calls the member and packs its result; a member that fails is reported as
// DISP_E_EXCEPTION with its error record in the EXCEPINFO when the caller gave one. Type
// information is not provided. Thread safety is that of the members called.
#pragma once

#include <span>
#include <tuple>
#include <type_traits>
#include <utility>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/Dispatch.h"
#include "support/DispatchArguments.h"

// The identity of an interface that a member takes as an argument and that is neither
// IUnknown nor IDispatch; the layer declaring the interface specialises it.
template <class Interface>
struct InterfaceIdentity;

template <class Target>
struct DispatchMember {
    DispatchSignature signature;
    HRESULT (*call)(Target& target, CDispatchArguments& arguments, VARIANT* result);
};

namespace dispatch_detail {

template <class Function>
struct MemberFunction;
template <class Class, class... Parameters>
struct MemberFunction<HRESULT (Class::*)(Parameters...)> {
    using Target = Class;
    using ParameterTypes = std::tuple<Parameters...>;
};

template <class T>
constexpr bool kIsInterfacePointer =
    std::is_pointer_v<T>&& std::is_base_of_v<IUnknown, std::remove_pointer_t<T>>;

// Whether a C++ parameter of type T can take a value of the declared parameter.
template <class T>
constexpr bool Accepts(DispatchParameter parameter) {
    if ((parameter.type & VT_BYREF) != 0) {
        return std::is_pointer_v<T>;
    }
    switch (parameter.type) {
        case VT_VARIANT:
            return std::is_same_v<T, VARIANT>;
        case VT_BSTR:
            return std::is_same_v<T, BSTR>;
        case VT_I4:
            return std::is_same_v<T, LONG>;
        case VT_UI4:
            return std::is_same_v<T, ULONG>;
        case VT_I2:
        case VT_BOOL:
            return std::is_same_v<T, SHORT>;
        case VT_R8:
        case VT_DATE:
            return std::is_same_v<T, double>;
        case VT_R4:
            return std::is_same_v<T, float>;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return kIsInterfacePointer<T>;
        default:
            return false;
    }
}

// Whether a result slot of type T can hold a value of the declared result type.
template <class T>
constexpr bool HoldsResult(VARTYPE type) {
    if (type == VT_DISPATCH) {
        return std::is_pointer_v<T> && std::is_base_of_v<IDispatch, std::remove_pointer_t<T>>;
    }
    return Accepts<T>(DispatchParameter{type, false});
}

// One argument as the member takes it. An interface other than IUnknown and IDispatch is
// asked for by its identity, and the reference is held for the call.
template <class T, DispatchParameter Parameter>
class Argument {
public:
    explicit Argument(VARIANT& value) : m_value(value) {
        if constexpr (kIsInterfacePointer<T> && (Parameter.type & VT_BYREF) == 0 &&
                      !std::is_same_v<T, IUnknown*> && !std::is_same_v<T, IDispatch*>) {
            IUnknown* object = value.vt == VT_DISPATCH ? value.pdispVal : value.punkVal;
            using Interface = std::remove_pointer_t<T>;
            if (object != nullptr &&
                FAILED(object->QueryInterface(InterfaceIdentity<Interface>::iid,
                                              reinterpret_cast<void**>(m_interface.Receive())))) {
                m_status = DISP_E_TYPEMISMATCH;
            }
        }
    }
    HRESULT Status() const { return m_status; }

    T Get() {
        if constexpr ((Parameter.type & VT_BYREF) != 0) {
            return static_cast<T>(m_value.byref);
        } else if constexpr (std::is_same_v<T, VARIANT>) {
            return m_value;
        } else if constexpr (std::is_same_v<T, BSTR>) {
            return m_value.bstrVal;
        } else if constexpr (std::is_same_v<T, LONG>) {
            return m_value.lVal;
        } else if constexpr (std::is_same_v<T, ULONG>) {
            return m_value.ulVal;
        } else if constexpr (std::is_same_v<T, SHORT>) {
            return m_value.iVal;
        } else if constexpr (std::is_same_v<T, double>) {
            return m_value.dblVal;
        } else if constexpr (std::is_same_v<T, float>) {
            return m_value.fltVal;
        } else if constexpr (std::is_same_v<T, IUnknown*>) {
            return m_value.punkVal;
        } else if constexpr (std::is_same_v<T, IDispatch*>) {
            return m_value.pdispVal;
        } else {
            return m_interface.Get();
        }
    }

private:
    VARIANT& m_value;
    ComPtr<std::remove_pointer_t<std::conditional_t<kIsInterfacePointer<T>, T, IUnknown*>>>
        m_interface;
    HRESULT m_status = S_OK;
};

// Moves a member's [out, retval] value into the caller's VARIANT.
template <VARTYPE Type, class T>
void StoreResult(T& value, VARIANT& result) {
    result.vt = Type;
    if constexpr (Type == VT_VARIANT) {
        result = value;
    } else if constexpr (Type == VT_BSTR) {
        result.bstrVal = value;
    } else if constexpr (Type == VT_DISPATCH) {
        result.pdispVal = value;
    } else if constexpr (Type == VT_UNKNOWN) {
        result.punkVal = value;
    } else if constexpr (std::is_same_v<T, LONG>) {
        result.lVal = value;
    } else if constexpr (std::is_same_v<T, ULONG>) {
        result.ulVal = value;
    } else if constexpr (std::is_same_v<T, SHORT>) {
        result.iVal = value;
    } else if constexpr (std::is_same_v<T, double>) {
        result.dblVal = value;
    } else {
        result.fltVal = value;
    }
}

template <DispatchParameter... Parameters>
inline constexpr DispatchParameter kParameterList[] = {Parameters..., DispatchParameter{}};

template <class Target, auto Method, VARTYPE Result, DispatchParameter... Parameters>
HRESULT CallMember(Target& target, [[maybe_unused]] CDispatchArguments& arguments,
                   [[maybe_unused]] VARIANT* result) {
    using Types = typename MemberFunction<decltype(Method)>::ParameterTypes;
    constexpr std::size_t kInputs = sizeof...(Parameters);
    static_assert(std::tuple_size_v<Types> == kInputs + (Result == VT_EMPTY ? 0 : 1),
                  "the member's parameters do not match the table row");
    return [&]<std::size_t... Index>(std::index_sequence<Index...>) {
        static_assert((Accepts<std::tuple_element_t<Index, Types>>(Parameters) && ...),
                      "a parameter type does not match the table row");
        std::tuple<Argument<std::tuple_element_t<Index, Types>, Parameters>...> taken{
            Argument<std::tuple_element_t<Index, Types>, Parameters>{arguments.Values()[Index]}...};
        HRESULT hr = S_OK;
        [[maybe_unused]] const auto firstFailure = [&](HRESULT status, std::size_t index) {
            if (SUCCEEDED(hr) && FAILED(status)) {
                hr = status;
                arguments.Failed(index);
            }
        };
        (firstFailure(std::get<Index>(taken).Status(), Index), ...);
        if (FAILED(hr)) {
            return hr;
        }
        if constexpr (Result == VT_EMPTY) {
            return (target.*Method)(std::get<Index>(taken).Get()...);
        } else {
            using Slot = std::remove_pointer_t<std::tuple_element_t<kInputs, Types>>;
            static_assert(HoldsResult<Slot>(Result), "the result type does not match the row");
            Slot value{};
            hr = (target.*Method)(std::get<Index>(taken).Get()..., &value);
            if (SUCCEEDED(hr)) {
                StoreResult<Result>(value, *result);
            }
            return hr;
        }
    }
    (std::make_index_sequence<kInputs>{});
}

template <WORD Kind, class Target, auto Method, VARTYPE Result, DispatchParameter... Parameters>
constexpr auto Row(const wchar_t* name, DISPID dispid) {
    return DispatchMember<Target>{
        {name, dispid, Kind,
         std::span<const DispatchParameter>(kParameterList<Parameters...>, sizeof...(Parameters)),
         Result},
        &CallMember<Target, Method, Result, Parameters...>};
}

template <auto Method>
using ClassOf = typename MemberFunction<decltype(Method)>::Target;

}  // namespace dispatch_detail

// The rows of a table for an interface `Target` that inherits the member from an interface it
// extends (the second version of an interface, whose table lists the first version's members).
template <class Target, auto Method, VARTYPE Result = VT_EMPTY, DispatchParameter... Parameters>
constexpr auto DispatchInheritedMethod(const wchar_t* name, DISPID dispid) {
    return dispatch_detail::Row<DISPATCH_METHOD, Target, Method, Result, Parameters...>(name,
                                                                                        dispid);
}

template <class Target, auto Method, VARTYPE Result, DispatchParameter... Parameters>
constexpr auto DispatchInheritedPropertyGet(const wchar_t* name, DISPID dispid) {
    return dispatch_detail::Row<DISPATCH_PROPERTYGET, Target, Method, Result, Parameters...>(
        name, dispid);
}

template <class Target, auto Method, DispatchParameter Value>
constexpr auto DispatchInheritedPropertyPut(const wchar_t* name, DISPID dispid) {
    return dispatch_detail::Row<DISPATCH_PROPERTYPUT, Target, Method, VT_EMPTY, Value>(name,
                                                                                       dispid);
}

template <auto Method, VARTYPE Result = VT_EMPTY, DispatchParameter... Parameters>
constexpr auto DispatchMethod(const wchar_t* name, DISPID dispid) {
    return DispatchInheritedMethod<dispatch_detail::ClassOf<Method>, Method, Result, Parameters...>(
        name, dispid);
}

template <auto Method, VARTYPE Result, DispatchParameter... Parameters>
constexpr auto DispatchPropertyGet(const wchar_t* name, DISPID dispid) {
    return DispatchInheritedPropertyGet<dispatch_detail::ClassOf<Method>, Method, Result,
                                        Parameters...>(name, dispid);
}

template <auto Method, DispatchParameter Value>
constexpr auto DispatchPropertyPut(const wchar_t* name, DISPID dispid) {
    return DispatchInheritedPropertyPut<dispatch_detail::ClassOf<Method>, Method, Value>(name,
                                                                                         dispid);
}

// What Invoke answers for a DISPID that is not in the table: an interface says
// DISP_E_MEMBERNOTFOUND; an event sink ignores events it does not handle (S_OK).
enum class UnknownMembers { Refused, Ignored };

template <class Interface, class Derived, UnknownMembers Policy = UnknownMembers::Refused>
class CDispatchImpl : public Interface {
public:
    HRESULT GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo == nullptr) {
            return E_POINTER;
        }
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT /*iTInfo*/, LCID /*lcid*/, ITypeInfo** ppTInfo) override {
        if (ppTInfo != nullptr) {
            *ppTInfo = nullptr;
        }
        return DISP_E_BADINDEX;
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID /*lcid*/,
                          DISPID* rgDispId) override {
        if (riid != IID_NULL) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        if (rgszNames == nullptr || rgDispId == nullptr || cNames == 0) {
            return E_INVALIDARG;
        }
        rgDispId[0] = DISPID_UNKNOWN;
        for (const auto& member : Derived::DispatchMembers()) {
            if (NamesMember(member.signature, rgszNames[0])) {
                rgDispId[0] = member.signature.dispid;
                return UnknownParameterNames(cNames, rgDispId);
            }
        }
        UnknownParameterNames(cNames, rgDispId);
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID /*lcid*/, WORD wFlags,
                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                   UINT* puArgErr) override {
        if (riid != IID_NULL) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        if (pDispParams == nullptr) {
            return E_INVALIDARG;
        }
        bool known = false;
        const auto* member = Select(dispIdMember, wFlags, known);
        if (member == nullptr) {
            return !known && Policy == UnknownMembers::Ignored ? S_OK : DISP_E_MEMBERNOTFOUND;
        }
        CDispatchArguments arguments;
        if (const HRESULT hr = arguments.Prepare(member->signature, *pDispParams, puArgErr);
            FAILED(hr)) {
            return hr;
        }
        arguments.BeginCall();
        auto& target =
            static_cast<typename TargetOf<decltype(*member)>::Type&>(static_cast<Derived&>(*this));
        const HRESULT hr = member->call(target, arguments, arguments.Result(pVarResult));
        return arguments.Finish(hr, pExcepInfo);
    }

private:
    template <class Member>
    struct TargetOf;
    template <class Target>
    struct TargetOf<const DispatchMember<Target>&> {
        using Type = Target;
    };

    // The member with the DISPID whose kind the caller allows: a method before a property get
    // (scripts ask for both at once); `known` tells whether the DISPID exists at all.
    static const auto* Select(DISPID dispid, WORD flags, bool& known) {
        const auto members = Derived::DispatchMembers();
        for (const WORD kind : {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT}) {
            for (const auto& member : members) {
                known = known || member.signature.dispid == dispid;
                if (member.signature.dispid == dispid && (flags & kind) != 0 &&
                    member.signature.kind == kind) {
                    return &member;
                }
            }
        }
        return static_cast<decltype(&members[0])>(nullptr);
    }
};

template <>
struct InterfaceIdentity<IUnknown> {
    static constexpr const IID& iid = IID_IUnknown;
};
template <>
struct InterfaceIdentity<IDispatch> {
    static constexpr const IID& iid = IID_IDispatch;
};
