// A watch on the wall clock: signalled when the clock is set (to any time, even the time it
// shows) or the system's time-zone file is replaced or rewritten. The wait it satisfies takes
// every change seen so far (several changes before a wait count as one) and re-reads the time
// zone (ReloadTimeZone) before it returns, so that local times follow at once.
//
// One thread at a time waits on the watch; it is made and destroyed by its owner.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"
#include "platform/WaitableObject.h"

class ClockWatch final : public WaitableObject {
public:
    static constexpr std::wstring_view kSystemTimeZoneFile = L"/etc/localtime";

    // `timeZoneFile` is the file whose replacement or rewrite counts as a change of zone (tests
    // give one of their own). Null, with the last-error value set, when the clock cannot be
    // watched; when the zone file's folder cannot be watched, only the clock is.
    static std::unique_ptr<ClockWatch> Open(std::wstring_view timeZoneFile = kSystemTimeZoneFile);

    int SignalDescriptor() const override { return m_ready.Get(); }
    bool ClaimSignal() override;

private:
    ClockWatch() = default;

    bool TakeClockSet();
    bool TakeZoneChange();

    FileDescriptor m_ready;  // readable while either source below has something
    FileDescriptor m_clock;  // a timer that is cancelled whenever the clock is set
    FileDescriptor m_zone;   // changes in the zone file's folder; invalid when not watched
    std::string m_zoneFileName;
};
