// An event: signalled or not, set and cleared by its owner, waited on through Wait.h. A
// manual-reset event stays signalled until Reset and lets every waiter through; an
// automatic-reset event lets exactly one waiter through per signal and is clear again after
// it, and setting it while it is signalled adds nothing. Set and Reset may be called from any
// thread; the event must outlive every wait on it.
#pragma once

#include <memory>

#include "platform/WaitableObject.h"
#ifdef _WIN32
#include "platform/KernelHandle.h"
#else
#include "platform/FileDescriptor.h"
#endif

class Event final : public WaitableObject {
public:
    // Null, with the last-error value set, when the system has no descriptor left.
    static std::unique_ptr<Event> Create(bool manualReset, bool initiallySet);

    // Both answer false, with the last-error value set, only when the system refuses.
    bool Set();
    bool Reset();

#ifdef _WIN32
    void* SignalHandle() const override {
        return m_event.Get();
    }
    bool ClaimSignal() override {
        return true;
    }

private:
    explicit Event(KernelHandle event) : m_event(std::move(event)) {}

    KernelHandle m_event;
#else
    int SignalDescriptor() const override {
        return m_signal.Get();
    }
    bool ClaimSignal() override;

private:
    Event(FileDescriptor signal, bool manualReset)
        : m_signal(std::move(signal)), m_manualReset(manualReset) {}

    FileDescriptor m_signal;  // an eventfd whose counter is non-zero while signalled
    const bool m_manualReset;
#endif
};
