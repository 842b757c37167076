// An event (platform/Event.h) with the synchronisation wrappers' face: Lock waits for it, Set
// and Reset signal and clear it, and Handle is what a wait on several objects is given. Any
// thread may call any member; the owner keeps the event alive while others wait on it.
#pragma once

#include "platform/Event.h"
#include "support/AtlSyncObject.h"

class CAtlEvent : public CAtlSyncObject {
public:
    // Note the order: the initial state comes first, the reset policy second.
    CAtlEvent(BOOL initialState, BOOL manualReset);

    BOOL Set() { return m_event->Set() ? TRUE : FALSE; }
    BOOL Reset() { return m_event->Reset() ? TRUE : FALSE; }
    WaitableObject& Handle() { return *m_event; }

protected:
    WaitableObject* WaitHandle() override { return m_event.get(); }

private:
    std::unique_ptr<Event> m_event;
};
