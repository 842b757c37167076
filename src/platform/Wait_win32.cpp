// Waits are the system's WaitForMultipleObjects, which takes an event's signal or a semaphore's
// count for the one object it picks. A thread made by Thread also watches its suspension,
// first, so that it parks instead of taking anything while suspended.
#include "platform/Wait.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "platform/ThreadParking.h"
#include "platform/WaitDeadline.h"

namespace {

// The time limit for the system's wait.
DWORD WaitLimit(const WaitDeadline& deadline) {
    const std::optional<std::int64_t> left = deadline.MillisecondsLeft();
    return left ? static_cast<DWORD>(std::min<std::int64_t>(*left, INFINITE - 1)) : INFINITE;
}

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
    const WaitDeadline deadline(timeoutMs);
    for (;;) {
        const DWORD result =
            ::WaitForMultipleObjects(count, handles.data(), FALSE, WaitLimit(deadline));
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
        if (deadline.Passed()) {
            return WAIT_TIMEOUT;
        }
    }
}
