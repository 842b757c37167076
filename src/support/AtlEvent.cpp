#include "support/AtlEvent.h"

CAtlEvent::CAtlEvent(BOOL initialState, BOOL manualReset)
    : m_event(Required(Event::Create(manualReset != FALSE, initialState != FALSE))) {}
