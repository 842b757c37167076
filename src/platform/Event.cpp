#include "platform/Event.h"

#include <sys/eventfd.h>

#include <cerrno>

#include "platform/LastError.h"

namespace {

bool Failed() {
    SetLastError(Win32ErrorFromErrno(errno));
    return false;
}

// Empties the counter; true when it held a signal.
bool TakeCounter(int descriptor) {
    eventfd_t value = 0;
    return ::eventfd_read(descriptor, &value) == 0;
}

}  // namespace

std::unique_ptr<Event> Event::Create(bool manualReset, bool initiallySet) {
    FileDescriptor signal(::eventfd(initiallySet ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!signal.IsValid()) {
        Failed();
        return nullptr;
    }
    return std::unique_ptr<Event>(new Event(std::move(signal), manualReset));
}

bool Event::Set() {
    // Repeated signals only add to the counter, which a claim or a reset empties at once.
    return ::eventfd_write(m_signal.Get(), 1) == 0 || Failed();
}

bool Event::Reset() {
    if (!TakeCounter(m_signal.Get()) && errno != EAGAIN) {
        return Failed();
    }
    return true;
}

bool Event::ClaimSignal() {
    // The read empties the counter atomically, so of several waiters that saw the event
    // signalled exactly one takes the signal.
    return m_manualReset || TakeCounter(m_signal.Get());
}
