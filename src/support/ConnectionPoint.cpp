#include "support/ConnectionPoint.h"

#include <algorithm>

#include "support/ScopedLock.h"

CConnectionPoint::CConnectionPoint(IConnectionPointContainer& container, const IID& iid)
    : m_container(container), m_iid(iid) {}

HRESULT CConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid != IID_IUnknown && riid != IID_IConnectionPoint) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

ULONG CConnectionPoint::AddRef() {
    return m_container.AddRef();
}

ULONG CConnectionPoint::Release() {
    return m_container.Release();
}

HRESULT CConnectionPoint::GetConnectionInterface(IID* pIID) {
    if (pIID == nullptr) {
        return E_POINTER;
    }
    *pIID = m_iid;
    return S_OK;
}

HRESULT CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (ppCPC == nullptr) {
        return E_POINTER;
    }
    m_container.AddRef();
    *ppCPC = &m_container;
    return S_OK;
}

HRESULT CConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (pdwCookie == nullptr) {
        return E_POINTER;
    }
    *pdwCookie = 0;
    if (pUnkSink == nullptr) {
        return E_POINTER;
    }
    ComPtr<IUnknown> sink;
    if (FAILED(pUnkSink->QueryInterface(m_iid, reinterpret_cast<void**>(sink.Receive())))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    const ScopedLock lock(m_lock);
    *pdwCookie = m_nextCookie++;
    m_connections.push_back({*pdwCookie, std::move(sink)});
    return S_OK;
}

HRESULT CConnectionPoint::Unadvise(DWORD dwCookie) {
    ComPtr<IUnknown> leaving;  // released after the lock, in case the sink calls back
    {
        const ScopedLock lock(m_lock);
        const auto found =
            std::find_if(m_connections.begin(), m_connections.end(),
                         [dwCookie](const Connection& c) { return c.cookie == dwCookie; });
        if (found == m_connections.end()) {
            return CONNECT_E_NOCONNECTION;
        }
        leaving = std::move(found->sink);
        m_connections.erase(found);
    }
    return S_OK;
}

HRESULT CConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    *ppEnum = nullptr;
    return E_NOTIMPL;
}

std::vector<ComPtr<IUnknown>> CConnectionPoint::SinksNow() const {
    const ScopedLock lock(m_lock);
    std::vector<ComPtr<IUnknown>> sinks;
    sinks.reserve(m_connections.size());
    for (const Connection& connection : m_connections) {
        sinks.push_back(connection.sink);
    }
    return sinks;
}

void CConnectionPoint::FireDispatch(DISPID dispid, DISPPARAMS& params) const {
    for (const ComPtr<IUnknown>& sink : SinksNow()) {
        // A sink's interface of a dispinterface is its IDispatch.
        auto* dispatch = reinterpret_cast<IDispatch*>(sink.Get());
        dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                         nullptr, nullptr);
    }
}

void CConnectionPoint::UnadviseAll() {
    std::vector<Connection> leaving;
    {
        const ScopedLock lock(m_lock);
        leaving.swap(m_connections);
    }
}
