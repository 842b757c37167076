// A watch on the wall clock: signalled when the clock is set (to any time, even the time it
// shows) or the system's time-zone file is replaced or rewritten. The wait it satisfies takes
// every change seen so far (several changes before a wait count as one) and re-reads the time
// zone (ReloadTimeZone) before it returns, so that local times follow at once.
//
// On Windows the watch is a hidden window on a thread of its own, which the system tells of the
// clock being set (WM_TIMECHANGE), together with a watch on the system's zone settings; the zone
// file is not used there.
//
// One thread at a time waits on the watch; it is made and destroyed by its owner.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/WaitableObject.h"
#ifdef _WIN32
#include <thread>

#include "platform/KernelHandle.h"
#else
#include "platform/FileDescriptor.h"
#endif

class ClockWatch final : public WaitableObject {
public:
#ifdef _WIN32
    static constexpr std::wstring_view kSystemTimeZoneFile = L"";
#else
    static constexpr std::wstring_view kSystemTimeZoneFile = L"/etc/localtime";
#endif

    // `timeZoneFile` is the file whose replacement or rewrite counts as a change of zone (tests
    // give one of their own). Null, with the last-error value set, when the clock cannot be
    // watched; when the zone file's folder cannot be watched, only the clock is.
    static std::unique_ptr<ClockWatch> Open(std::wstring_view timeZoneFile = kSystemTimeZoneFile);

#ifdef _WIN32
    ~ClockWatch() override;
    void* SignalHandle() const override {
        return m_ready.Get();
    }
#else
    int SignalDescriptor() const override {
        return m_ready.Get();
    }
#endif
    bool ClaimSignal() override;

private:
    ClockWatch() = default;

#ifdef _WIN32
    // The window thread: tells m_ready of every change until m_stop is set.
    void Watch();

    KernelHandle m_ready;  // automatic reset: set by the window thread for each change
    KernelHandle m_stop;
    KernelHandle m_zoneChanged;  // the system's notice of a change of the zone settings
    HKEY m_zoneKey = nullptr;    // read by the window thread only
    std::thread m_thread;
#else
    bool TakeClockSet();
    bool TakeZoneChange();

    FileDescriptor m_ready;  // readable while either source below has something
    FileDescriptor m_clock;  // a timer that is cancelled whenever the clock is set
    FileDescriptor m_zone;   // changes in the zone file's folder; invalid when not watched
    std::string m_zoneFileName;
#endif
};
