#include "support/ConnectionPointContainer.h"

HRESULT CConnectionPointContainer::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    *ppEnum = nullptr;
    return E_NOTIMPL;
}

HRESULT CConnectionPointContainer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (ppCP == nullptr) {
        return E_POINTER;
    }
    *ppCP = nullptr;
    for (CConnectionPoint* point : m_points) {
        if (point->Interface() == riid) {
            point->AddRef();
            *ppCP = point;
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

void CConnectionPointContainer::SetConnectionPoints(
    std::initializer_list<CConnectionPoint*> points) {
    m_points.assign(points.begin(), points.end());
}
