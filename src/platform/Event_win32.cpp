#include "platform/Event.h"

std::unique_ptr<Event> Event::Create(bool manualReset, bool initiallySet) {
    KernelHandle event(::CreateEventW(nullptr, manualReset, initiallySet, nullptr));
    if (!event.IsValid()) {
        return nullptr;
    }
    return std::unique_ptr<Event>(new Event(std::move(event)));
}

bool Event::Set() {
    return ::SetEvent(m_event.Get()) != FALSE;
}

bool Event::Reset() {
    return ::ResetEvent(m_event.Get()) != FALSE;
}
