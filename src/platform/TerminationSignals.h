// The requests to end the process (SIGTERM and SIGINT) as a waitable object, so that a host's
// main thread waits for them like for anything else instead of running code in a signal
// handler. Making it blocks the two signals in the calling thread; threads made afterwards
// inherit the block, so a request stays pending for this object whichever thread it was sent
// to. Make it in main before any other thread starts; destroying it restores the signal mask.
// Programs the library starts get a clean mask of their own. One owner thread.
#pragma once

#include <memory>
#include <string>

#include "platform/FileDescriptor.h"
#include "platform/WaitableObject.h"

class TerminationSignals final : public WaitableObject {
public:
    // Null, with the last-error value set, when the system refuses.
    static std::unique_ptr<TerminationSignals> Create();
    ~TerminationSignals() override;

    int SignalDescriptor() const override { return m_signal.Get(); }
    // Takes one pending request.
    bool ClaimSignal() override;
    // "SIGTERM" or "SIGINT" for the request last taken; empty before the first.
    std::wstring LastSignalName() const;

private:
    explicit TerminationSignals(FileDescriptor signal) : m_signal(std::move(signal)) {}

    FileDescriptor m_signal;  // a signalfd for the two signals
    int m_lastSignal = 0;
};
