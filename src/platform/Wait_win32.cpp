// Waits are the system's WaitForMultipleObjects, which takes an event's signal or a semaphore's
// count for the one object it picks. A thread made by Thread also watches its suspension,
// first, so that it parks instead of taking anything while suspended.
#include "platform/Wait.h"

#include <array>
#include <chrono>
#include <optional>

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

    // The time left for the system's wait, rounded up so that it never ends early.
    DWORD Left() const {
        if (!m_end) {
            return INFINITE;
        }
        const auto left = *m_end - Clock::now();
        if (left <= Clock::duration::zero()) {
            return 0;
        }
        const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        return static_cast<DWORD>(std::min<long long>(milliseconds, INFINITE - 1));
    }

private:
    std::optional<Clock::time_point> m_end;
};

DWORD Fail(DWORD error) {
    ::SetLastError(error);
    return WAIT_FAILED;
}

}  // namespace

DWORD WaitAny(std::span<WaitableObject* const> objects, DWORD timeoutMs) {
    ThreadParking* parking = ThreadParking::Current();
    const std::size_t first = parking != nullptr ? 1 : 0;
    if (objects.empty() || objects.size() + first > MAXIMUM_WAIT_OBJECTS) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::array<HANDLE, MAXIMUM_WAIT_OBJECTS> handles{};
    if (parking != nullptr) {
        handles[0] = parking->SuspendedSignal();
    }
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if (objects[i] == nullptr || objects[i]->SignalHandle() == nullptr) {
            return Fail(ERROR_INVALID_HANDLE);
        }
        handles[first + i] = objects[i]->SignalHandle();
    }
    const auto count = static_cast<DWORD>(first + objects.size());
    const Deadline deadline(timeoutMs);
    for (;;) {
        const DWORD result =
            ::WaitForMultipleObjects(count, handles.data(), FALSE, deadline.Left());
        if (result == WAIT_FAILED || result == WAIT_TIMEOUT) {
            return result;
        }
        const DWORD index = result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + count
                                ? result - WAIT_ABANDONED_0
                                : result - WAIT_OBJECT_0;
        if (index < first) {
            parking->ParkWhileSuspended();
            continue;  // the time limit may have passed meanwhile: the next wait only looks
        }
        if (objects[index - first]->ClaimSignal()) {
            return WAIT_OBJECT_0 + (index - first);
        }
        if (deadline.Left() == 0) {
            return WAIT_TIMEOUT;
        }
    }
}

DWORD WaitAny(std::initializer_list<WaitableObject*> objects, DWORD timeoutMs) {
    return WaitAny(std::span<WaitableObject* const>(objects.begin(), objects.size()), timeoutMs);
}

DWORD WaitOne(WaitableObject& object, DWORD timeoutMs) {
    return WaitAny({&object}, timeoutMs);
}
