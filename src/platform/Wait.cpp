#include "platform/Wait.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <mutex>
#include <optional>

#include "platform/LastError.h"
#include "platform/ThreadParking.h"

namespace {

using Clock = std::chrono::steady_clock;

class Deadline {
public:
    explicit Deadline(DWORD timeoutMs) {
        if (timeoutMs != INFINITE) {
            m_end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        }
    }

    // The time limit for poll: -1 without one, rounded up so that poll never ends early.
    int PollTimeout() const {
        if (!m_end) {
            return -1;
        }
        const auto left = *m_end - Clock::now();
        if (left <= Clock::duration::zero()) {
            return 0;
        }
        const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        return static_cast<int>(std::min<long long>(milliseconds, INT_MAX));
    }

    bool Passed() const { return m_end && Clock::now() >= *m_end; }

private:
    std::optional<Clock::time_point> m_end;
};

using PollSet = std::array<pollfd, MAXIMUM_WAIT_OBJECTS>;

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
    const Deadline deadline(timeoutMs);
    ThreadParking* parking = ThreadParking::Current();
    for (;;) {
        if (::poll(polled.data(), objects.size(), deadline.PollTimeout()) < 0) {
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
        const DWORD result = ClaimFirstSignalled(objects, polled);
        if (result != WAIT_TIMEOUT || deadline.Passed()) {
            return result;
        }
    }
}

DWORD WaitAny(std::initializer_list<WaitableObject*> objects, DWORD timeoutMs) {
    return WaitAny(std::span<WaitableObject* const>(objects.begin(), objects.size()), timeoutMs);
}

DWORD WaitOne(WaitableObject& object, DWORD timeoutMs) {
    return WaitAny({&object}, timeoutMs);
}
