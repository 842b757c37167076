// The sample in-process server: one class built on the object framework, with the two entry
// points a server library exports.
#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/VariantHolder.h"
#include "support/ClassFactory.h"
#include "support/ConnectionPointContainer.h"
#include "support/MethodGuard.h"
#include "support/ScopedLock.h"
#include "support/SupportErrorInfo.h"
#include "support/ThrowError.h"
#include "support/testplugin/SampleCounter.h"

namespace {

const AutomationIdentity kIdentity{IID_ISampleCounter, kSampleCounterProgId, L"CSampleCounter"};

class CSampleCounter : public CObjectRoot,
                       public CDispatchImpl<ISampleCounter, CSampleCounter>,
                       public CSupportErrorInfo<IID_ISampleCounter>,
                       public CConnectionPointContainer {
public:
    using Interfaces =
        InterfaceTable<Implements<IID_ISampleCounter, ISampleCounter>,
                       Implements<IID_IDispatch, IDispatch, ISampleCounter>,
                       Implements<IID_ISupportErrorInfo, ISupportErrorInfo>,
                       Implements<IID_IConnectionPointContainer, IConnectionPointContainer>>;

    CSampleCounter() { SetConnectionPoints({&m_events}); }
    static std::span<const DispatchMember<ISampleCounter>> DispatchMembers();
    void FinalRelease() { m_events.UnadviseAll(); }

    HRESULT get_Step(LONG* step) override {
        return Guarded(L"get_Step", [&] {
            const ScopedLock lock(m_lock);
            *step = m_step;
        });
    }
    HRESULT put_Step(LONG step) override {
        return Guarded(L"put_Step", [&] {
            const ScopedLock lock(m_lock);
            m_step = step;
        });
    }
    HRESULT Add(LONG amount, VARIANT note, LONG* total) override {
        return Guarded(L"Add", [&] {
            CVariantHolder text(L"");
            const bool noted = !(note.vt == VT_ERROR && note.scode == DISP_E_PARAMNOTFOUND);
            if (noted && FAILED(VariantChangeType(&text, &note, 0, VT_BSTR))) {
                CEThrowError(DISP_E_TYPEMISMATCH, L"The note is no text.");
            }
            {
                const ScopedLock lock(m_lock);
                m_total += amount * m_step;
                *total = m_total;
            }
            FireChanged(text, *total);
        });
    }
    HRESULT Describe(DATE when, BSTR* text) override {
        return Guarded(L"Describe", [&] {
            CVariantHolder date;
            date.vt = VT_DATE;
            date.date = when;
            if (FAILED(date.ChangeType(VT_BSTR))) {
                CEThrowError(DISP_E_OVERFLOW, L"The date has no text.");
            }
            LONG total = 0;
            {
                const ScopedLock lock(m_lock);
                total = m_total;
            }
            *text = CBstr(std::to_wstring(total) + L" at " + date.bstrVal).Detach();
        });
    }
    HRESULT Fail(BSTR reason) override {
        return Guarded(L"Fail",
                       [&] { CEThrowError(E_INVALIDARG, reason == nullptr ? L"" : reason); });
    }

    HRESULT Absorb(ISampleCounter* other, LONG* total) override {
        return Guarded(L"Absorb", [&] {
            LONG otherTotal = 0;
            CVariantHolder missing;
            missing.vt = VT_ERROR;
            missing.scode = DISP_E_PARAMNOTFOUND;
            if (const HRESULT hr = other->Add(0, missing, &otherTotal); FAILED(hr)) {
                throw hr;
            }
            const ScopedLock lock(m_lock);
            m_total += otherTotal;
            *total = m_total;
        });
    }
    HRESULT Split(LONG parts, LONG* share, LONG* remainder) override {
        return Guarded(L"Split", [&] {
            if (parts <= 0) {
                CEThrowError(E_INVALIDARG, L"Nothing to split into.");
            }
            const ScopedLock lock(m_lock);
            *share = m_total / parts;
            *remainder = m_total % parts;
        });
    }

private:
    template <class Body>
    HRESULT Guarded(const wchar_t* member, Body&& body) {
        return GuardAutomationMethod({L"CSampleCounter", member}, kIdentity,
                                     std::forward<Body>(body));
    }
    void FireChanged(const VARIANT& note, LONG total) {
        CVariantHolder arguments[2];  // last argument first
        arguments[0].vt = VT_I4;
        arguments[0].lVal = total;
        arguments[1].CopyFrom(note);
        DISPPARAMS params{arguments, nullptr, 2, 0};
        m_events.FireDispatch(DISPID_SampleCounterEvents_OnChanged, params);
    }

    CAtlCriticalSection m_lock;
    LONG m_step GUARDED_BY(m_lock) = 1;
    LONG m_total GUARDED_BY(m_lock) = 0;
    CConnectionPoint m_events{*this, DIID_ISampleCounterEvents};
};

std::span<const DispatchMember<ISampleCounter>> CSampleCounter::DispatchMembers() {
    static constexpr DispatchMember<ISampleCounter> kMembers[] = {
        DispatchPropertyGet<&ISampleCounter::get_Step, VT_I4>(L"Step", DISPID_SampleCounter_Step),
        DispatchPropertyPut<&ISampleCounter::put_Step, In(VT_I4)>(L"Step",
                                                                  DISPID_SampleCounter_Step),
        DispatchMethod<&ISampleCounter::Add, VT_I4, In(VT_I4), Optional()>(
            L"Add", DISPID_SampleCounter_Add),
        DispatchMethod<&ISampleCounter::Describe, VT_BSTR, In(VT_DATE)>(
            L"Describe", DISPID_SampleCounter_Describe),
        DispatchMethod<&ISampleCounter::Fail, VT_EMPTY, In(VT_BSTR)>(L"Fail",
                                                                     DISPID_SampleCounter_Fail),
        DispatchMethod<&ISampleCounter::Absorb, VT_I4, In(VT_DISPATCH)>(
            L"Absorb", DISPID_SampleCounter_Absorb),
        DispatchMethod<&ISampleCounter::Split, VT_EMPTY, In(VT_I4), Out(VT_I4), Out(VT_I4)>(
            L"Split", DISPID_SampleCounter_Split),
    };
    return kMembers;
}

constexpr ClassEntry kClasses[] = {ClassEntryOf<CSampleCounter>(CLSID_SampleCounter)};

}  // namespace

ZYN_SERVER_ENTRY HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    return GetClassObjectFromTable(kClasses, rclsid, riid, ppv);
}

ZYN_SERVER_ENTRY HRESULT DllCanUnloadNow() {
    return ModuleLocks::CanUnloadNow();
}
