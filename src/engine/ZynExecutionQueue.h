// The engine's first-in, first-out queue of tasks waiting for a processor, with the counting
// semaphore that wakes exactly one processor per entry. A task is never queued twice. Any
// thread may call any member; the queue lock is taken alone, never together with the worker
// lock, and never while waiting for the main lock.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <unordered_set>

#include "engine/ZynTaskEvent.h"
#include "support/AtlCriticalSection.h"
#include "support/AtlSemaphore.h"
#include "support/ThreadAnnotations.h"

class CZynExecutionQueue {
public:
    // Appends the task and releases one count of the semaphore; false, with nothing changed,
    // when a task of that identity is already waiting.
    bool Push(ComPtr<IZynTask> task, std::wstring identity, RunTicket ticket);
    // The oldest entry, taken off the queue; null when the queue is empty.
    CountedPtr<CZynTaskEvent> PopOldest();
    std::size_t Size();
    // Takes every waiting entry off the queue (the semaphore keeps its counts: a processor
    // that wakes for one finds the queue empty and goes back to waiting).
    std::deque<CountedPtr<CZynTaskEvent>> Clear();

    CAtlSemaphore& Semaphore() { return m_semaphore; }

private:
    CAtlCriticalSection m_lock;
    std::deque<CountedPtr<CZynTaskEvent>> m_entries GUARDED_BY(m_lock);
    std::unordered_set<std::wstring> m_identities GUARDED_BY(m_lock);
    CAtlSemaphore m_semaphore{0, 0x7FFFFFFF};
};
