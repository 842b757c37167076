// IConnectionPointContainer for an object with outgoing interfaces: the object makes its
// connection points as members and hands them to this base, which finds them by interface.
// The list is fixed once the object is made; lookups may come from any thread.
#pragma once

#include <initializer_list>
#include <vector>

#include "support/ConnectionPoint.h"

class CConnectionPointContainer : public IConnectionPointContainer {
public:
    // Connection points are not enumerated on this platform: E_NOTIMPL.
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    // CONNECT_E_NOCONNECTION for an interface the object does not fire.
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

protected:
    CConnectionPointContainer() = default;
    ~CConnectionPointContainer() = default;

    // Called once from the derived object's constructor.
    void SetConnectionPoints(std::initializer_list<CConnectionPoint*> points);

private:
    std::vector<CConnectionPoint*> m_points;
};
