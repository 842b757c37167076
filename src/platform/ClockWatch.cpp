#include "platform/ClockWatch.h"

#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/LastError.h"
#include "platform/Path.h"
#include "platform/WallClock.h"
#include "platform/WideText.h"

namespace {

// The timer never expires in practice; it exists to be cancelled when the clock is set.
constexpr time_t kTimerDistanceSeconds = 50LL * 365 * 24 * 3600;
constexpr std::uint32_t kZoneFileChanges =
    IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_CLOSE_WRITE;
constexpr std::size_t kReadBufferSize = 8 * 1024;

bool ArmClockTimer(int timer) {
    itimerspec setting{};
    ::clock_gettime(CLOCK_REALTIME, &setting.it_value);
    setting.it_value.tv_sec += kTimerDistanceSeconds;
    return ::timerfd_settime(timer, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &setting,
                             nullptr) == 0;
}

bool AddToReady(int ready, int source) {
    epoll_event interest{};
    interest.events = EPOLLIN;
    interest.data.fd = source;
    return ::epoll_ctl(ready, EPOLL_CTL_ADD, source, &interest) == 0;
}

FileDescriptor WatchZoneFolder(std::wstring_view timeZoneFile) {
    FileDescriptor zone(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    const std::string folder = WideToUtf8(ParentPath(timeZoneFile));
    if (zone.IsValid() && ::inotify_add_watch(zone.Get(), folder.c_str(), kZoneFileChanges) < 0) {
        zone.Reset();
    }
    return zone;
}

}  // namespace

std::unique_ptr<ClockWatch> ClockWatch::Open(std::wstring_view timeZoneFile) {
    std::unique_ptr<ClockWatch> watch(new ClockWatch());
    watch->m_ready.Reset(::epoll_create1(EPOLL_CLOEXEC));
    watch->m_clock.Reset(::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC));
    if (!watch->m_ready.IsValid() || !watch->m_clock.IsValid() ||
        !ArmClockTimer(watch->m_clock.Get()) ||
        !AddToReady(watch->m_ready.Get(), watch->m_clock.Get())) {
        SetLastError(Win32ErrorFromErrno(errno));
        return nullptr;
    }
    watch->m_zone = WatchZoneFolder(timeZoneFile);
    if (watch->m_zone.IsValid() && !AddToReady(watch->m_ready.Get(), watch->m_zone.Get())) {
        watch->m_zone.Reset();
    }
    watch->m_zoneFileName = WideToUtf8(BaseName(timeZoneFile));
    return watch;
}

bool ClockWatch::ClaimSignal() {
    const bool clockSet = TakeClockSet();
    const bool zoneChanged = TakeZoneChange();
    if (!clockSet && !zoneChanged) {
        return false;
    }
    ReloadTimeZone();
    return true;
}

bool ClockWatch::TakeClockSet() {
    std::uint64_t expirations = 0;
    if (::read(m_clock.Get(), &expirations, sizeof expirations) >= 0) {
        ArmClockTimer(m_clock.Get());  // expired after all those years: keep watching
        return false;
    }
    if (errno != ECANCELED) {
        return false;
    }
    ArmClockTimer(m_clock.Get());  // the cancellation stays pending until the timer is set again
    return true;
}

bool ClockWatch::TakeZoneChange() {
    if (!m_zone.IsValid()) {
        return false;
    }
    alignas(inotify_event) char buffer[kReadBufferSize];
    bool changed = false;
    for (;;) {
        const ssize_t length = ::read(m_zone.Get(), buffer, sizeof buffer);
        if (length <= 0) {
            return changed;
        }
        for (std::size_t offset = 0; offset < static_cast<std::size_t>(length);) {
            inotify_event event;
            std::memcpy(&event, buffer + offset, sizeof event);
            const char* name = buffer + offset + sizeof event;
            // A dropped batch may have held the zone file's change.
            changed = changed || (event.mask & IN_Q_OVERFLOW) != 0 ||
                      (event.len > 0 && m_zoneFileName == name);
            offset += sizeof event + event.len;
        }
    }
}
