// A counting semaphore waited on through Wait.h: each satisfied wait takes exactly one count,
// and a count goes to exactly one waiter. Release may be called from any thread; the semaphore
// must outlive every wait on it.
#pragma once

#include <atomic>
#include <memory>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/WaitableObject.h"
#ifdef _WIN32
#include "platform/KernelHandle.h"
#else
#include "platform/FileDescriptor.h"
#endif

class Semaphore final : public WaitableObject {
public:
    // Null, with the last-error value set: ERROR_INVALID_PARAMETER unless
    // 0 <= initialCount <= maximumCount and maximumCount > 0, or the system's refusal.
    static std::unique_ptr<Semaphore> Create(LONG initialCount, LONG maximumCount);

    // Adds `count` (> 0) counts. False with the last-error value set, and nothing added, when
    // the count would pass the maximum (ERROR_TOO_MANY_POSTS) or `count` is not positive.
    // `previousCount`, when given, receives the count before the release (counts being taken
    // by waiters at that moment may still be included).
    bool Release(LONG count, LONG* previousCount = nullptr);

#ifdef _WIN32
    void* SignalHandle() const override {
        return m_semaphore.Get();
    }
    bool ClaimSignal() override {
        return true;
    }

private:
    explicit Semaphore(KernelHandle semaphore) : m_semaphore(std::move(semaphore)) {}

    KernelHandle m_semaphore;
#else
    int SignalDescriptor() const override {
        return m_counter.Get();
    }
    bool ClaimSignal() override;

private:
    Semaphore(FileDescriptor counter, LONG initialCount, LONG maximumCount)
        : m_counter(std::move(counter)), m_count(initialCount), m_maximum(maximumCount) {}

    FileDescriptor m_counter;  // an eventfd in semaphore mode: each read takes one count
    // Never below the eventfd's counter: raised before counts are posted, lowered after one is
    // taken. Only the maximum check and the previous count read it.
    std::atomic<LONG> m_count;
    const LONG m_maximum;
#endif
};
