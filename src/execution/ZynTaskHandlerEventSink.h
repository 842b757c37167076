// The receiving end of a task handler's events (DIID_IZynScheduledTaskHandlerEvents) for an
// owner that follows handlers: an IDispatch whose Invoke hands DISPID 1 (OnTaskStatus: the
// task identity, the TaskStatus) to the owner's OnTaskStatus and answers every other DISPID
// with S_OK, as a sink must for events it does not handle.
//
// Ownership: a member of its owner, alive exactly as long as the owner. It counts no
// references: a handler that holds the sink through its connection must not keep the owner
// alive, or an owner following a handler that never lets go would never reach its final
// release. The owner therefore disconnects and lets go of every handler before it goes.
//
// Thread safety: events arrive on whatever thread a handler fires from; the sink keeps no
// state, and the owner's OnTaskStatus must take that.
#pragma once

#include <span>

#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "support/DispatchImpl.h"

template <class Owner>
class CZynTaskHandlerEventSink final
    : public CDispatchImpl<IDispatch, CZynTaskHandlerEventSink<Owner>, UnknownMembers::Ignored> {
public:
    explicit CZynTaskHandlerEventSink(Owner& owner) : m_owner(owner) {}
    CZynTaskHandlerEventSink(const CZynTaskHandlerEventSink&) = delete;
    CZynTaskHandlerEventSink& operator=(const CZynTaskHandlerEventSink&) = delete;

    static std::span<const DispatchMember<CZynTaskHandlerEventSink>> DispatchMembers() {
        static constexpr DispatchMember<CZynTaskHandlerEventSink> kMembers[] = {
            DispatchMethod<&CZynTaskHandlerEventSink::OnTaskStatus, VT_EMPTY, In(VT_BSTR),
                           In(VT_I4)>(L"OnTaskStatus", DISPID_OnTaskStatus),
        };
        return kMembers;
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid != IID_IUnknown && riid != IID_IDispatch &&
            riid != DIID_IZynScheduledTaskHandlerEvents) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IDispatch*>(this);
        return S_OK;
    }
    // The owner's lifetime is the sink's; see above.
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }

    HRESULT OnTaskStatus(BSTR bstrId, LONG status) { return m_owner.OnTaskStatus(bstrId, status); }

private:
    Owner& m_owner;
};
