// One outgoing interface of an object: any number of sinks connect with Advise and leave with
// Unadvise, and the object fires events to every sink connected at that moment. The point is a
// member of its source object and shares the object's reference count. Connecting, leaving and
// firing may happen on any threads at once; sinks are called without the point's lock held,
// so a sink may connect or leave from inside an event.
#pragma once

#include <vector>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/Connections.h"
#include "ZynTaskSchedulerLib/Dispatch.h"
#include "support/AtlCriticalSection.h"
#include "support/ThreadAnnotations.h"

class CConnectionPoint final : public IConnectionPoint {
public:
    // `container` is the source object, which outlives the point.
    CConnectionPoint(IConnectionPointContainer& container, const IID& iid);
    CConnectionPoint(const CConnectionPoint&) = delete;
    CConnectionPoint& operator=(const CConnectionPoint&) = delete;

    const IID& Interface() const { return m_iid; }

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetConnectionInterface(IID* pIID) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    // The sink must answer the point's interface (CONNECT_E_CANNOTCONNECT otherwise); cookies
    // are never 0 and never reused by the point.
    HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    // CONNECT_E_NOCONNECTION for a cookie that is not connected.
    HRESULT Unadvise(DWORD dwCookie) override;
    // Connections are not enumerated on this platform: E_NOTIMPL.
    HRESULT EnumConnections(IEnumConnections** ppEnum) override;

    // Calls Invoke on every sink of a dispinterface: the method `dispid`, IID_NULL, the user's
    // locale, with `params`. The sinks' answers are not examined.
    void FireDispatch(DISPID dispid, DISPPARAMS& params) const;
    // Drops every connection, as when the source object goes.
    void UnadviseAll();

private:
    struct Connection {
        DWORD cookie;
        ComPtr<IUnknown> sink;  // the sink's interface of this point
    };
    std::vector<ComPtr<IUnknown>> SinksNow() const;

    IConnectionPointContainer& m_container;
    const IID& m_iid;
    mutable CAtlCriticalSection m_lock;
    std::vector<Connection> m_connections GUARDED_BY(m_lock);
    DWORD m_nextCookie GUARDED_BY(m_lock) = 1;
};
