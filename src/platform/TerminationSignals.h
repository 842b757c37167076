// The requests to end the process (SIGTERM and SIGINT; on Windows the console's control
// events) as a waitable object, so that a host's main thread waits for them like for anything
// else instead of running code in a signal handler. Making it blocks the two signals in the
// calling thread; threads made afterwards inherit the block, so a request stays pending for
// this object whichever thread it was sent to. Make it in main before any other thread starts;
// destroying it restores the signal mask. Programs the library starts get a clean mask of
// their own. On Windows the system calls a handler on a thread of its own, which notes the
// event for this object; at most one object lives at a time there. One owner thread.
#pragma once

#include <memory>
#include <string>

#include "platform/WaitableObject.h"
#ifdef _WIN32
#include "platform/KernelHandle.h"
#else
#include "platform/FileDescriptor.h"
#endif

class TerminationSignals final : public WaitableObject {
public:
    // Null, with the last-error value set, when the system refuses.
    static std::unique_ptr<TerminationSignals> Create();
    ~TerminationSignals() override;

#ifdef _WIN32
    void* SignalHandle() const override {
        return m_requested.Get();
    }
#else
    int SignalDescriptor() const override {
        return m_signal.Get();
    }
#endif
    // Takes one pending request.
    bool ClaimSignal() override;
    // "SIGTERM" or "SIGINT" (on Windows the control's name, such as "CTRL_C_EVENT" or
    // "SERVICE_CONTROL_STOP") for the request last taken; empty before the first.
    std::wstring LastSignalName() const;
#ifdef _WIN32
    // A request from the service manager's stop or shutdown control (ServiceManager), raised
    // for the live object as the console's events are.
    static void RequestFromServiceManager(unsigned long control);
#endif

private:
#ifdef _WIN32
    explicit TerminationSignals(KernelHandle requested) : m_requested(std::move(requested)) {}

    KernelHandle m_requested;  // an auto-reset event the console's handler sets
    unsigned long m_lastEvent = ~0ul;
#else
    explicit TerminationSignals(FileDescriptor signal) : m_signal(std::move(signal)) {}

    FileDescriptor m_signal;  // a signalfd for the two signals
    int m_lastSignal = 0;
#endif
};
