#include "platform/Wait.h"

#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/FileDescriptor.h"
#include "platform/LastError.h"
#include "platform/ThreadParking.h"
#include "platform/WaitDeadline.h"

namespace {

using Clock = WaitDeadline::Clock;

// The time limit for poll: -1 without one.
int PollTimeout(const WaitDeadline& deadline) {
    const std::optional<std::int64_t> left = deadline.MillisecondsLeft();
    return left ? static_cast<int>(std::min<std::int64_t>(*left, INT_MAX)) : -1;
}

// The system lets a poll with a time limit end late by a share of that time (a thousandth, or a
// two-hundredth for a thread of lower priority, up to 100 ms), so a scheduler waiting a minute
// for a due second could wake 100 ms after it. A timer of the thread's own, which ends on time,
// ends the timed waits instead; without one, the poll's own limit does.
class WaitTimer {
public:
    // The calling thread's timer, made on its first timed wait and closed when the thread ends.
    static WaitTimer& OfThisThread() {
        thread_local WaitTimer timer;
        return timer;
    }

    // The descriptor to poll, readable once `end` came; -1 when the thread has no timer.
    int ArmFor(Clock::time_point end) {
        if (!m_timer.IsValid()) {
            return -1;
        }
        const auto sinceBoot = end.time_since_epoch();
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceBoot);
        itimerspec at{};
        at.it_value.tv_sec = seconds.count();
        at.it_value.tv_nsec =
            std::chrono::duration_cast<std::chrono::nanoseconds>(sinceBoot - seconds).count();
        if (at.it_value.tv_sec == 0 && at.it_value.tv_nsec == 0) {
            at.it_value.tv_nsec = 1;  // all zero would disarm it
        }
        return ::timerfd_settime(m_timer.Get(), TFD_TIMER_ABSTIME, &at, nullptr) == 0
                   ? m_timer.Get()
                   : -1;
    }
    void TakeExpiry() {
        std::uint64_t expiries = 0;
        [[maybe_unused]] const ssize_t ignored = ::read(m_timer.Get(), &expiries, sizeof expiries);
    }

private:
    // steady_clock is the monotonic clock here.
    WaitTimer() : m_timer(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)) {}

    FileDescriptor m_timer;
};

// The objects, then the wait's timer.
using PollSet = std::array<pollfd, MAXIMUM_WAIT_OBJECTS + 1>;

DWORD Fail(DWORD error) {
    SetLastError(error);
    return WAIT_FAILED;
}

// Hands the wait to the lowest-indexed readable object that still has its signal; WAIT_TIMEOUT
// when none has.
DWORD ClaimFirstSignalled(std::span<WaitableObject* const> objects, const PollSet& polled) {
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if ((polled[i].revents & POLLNVAL) != 0) {
            return Fail(ERROR_INVALID_HANDLE);
        }
        if ((polled[i].revents & (POLLIN | POLLERR | POLLHUP)) != 0 && objects[i]->ClaimSignal()) {
            return WAIT_OBJECT_0 + static_cast<DWORD>(i);
        }
    }
    return WAIT_TIMEOUT;
}

}  // namespace

DWORD WaitAny(std::span<WaitableObject* const> objects, DWORD timeoutMs) {
    if (objects.empty() || objects.size() > MAXIMUM_WAIT_OBJECTS) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    PollSet polled{};
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if (objects[i] == nullptr) {
            return Fail(ERROR_INVALID_HANDLE);
        }
        polled[i] = {objects[i]->SignalDescriptor(), POLLIN, 0};
    }
    const WaitDeadline deadline(timeoutMs);
    const int timer = deadline.IsLimited() && timeoutMs > 0
                          ? WaitTimer::OfThisThread().ArmFor(deadline.End())
                          : -1;
    const std::size_t polledCount = objects.size() + (timer >= 0 ? 1 : 0);
    if (timer >= 0) {
        polled[objects.size()] = {timer, POLLIN, 0};
    }
    ThreadParking* parking = ThreadParking::Current();
    for (;;) {
        // The poll's own limit stays as a backstop behind the timer, which a clock faked by a
        // preloaded library (faketime) may never let expire.
        if (::poll(polled.data(), polledCount, PollTimeout(deadline)) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Fail(Win32ErrorFromErrno(errno));
        }
        std::unique_lock<std::mutex> running;
        if (parking != nullptr) {
            running = parking->HoldWhileRunning();
            if (!running.owns_lock()) {
                continue;  // parked meanwhile: what was polled is stale
            }
        }
        if (timer >= 0 && (polled[objects.size()].revents & POLLIN) != 0) {
            WaitTimer::OfThisThread().TakeExpiry();
        }
        const DWORD result = ClaimFirstSignalled(objects, polled);
        if (result != WAIT_TIMEOUT || deadline.Passed()) {
            return result;
        }
    }
}
