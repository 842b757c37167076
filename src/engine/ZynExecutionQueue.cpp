#include "engine/ZynExecutionQueue.h"

#include "support/ScopedLock.h"

bool CZynExecutionQueue::Push(ComPtr<IZynTask> task, std::wstring identity, RunTicket ticket) {
    {
        ScopedLock lock(m_lock);
        if (!m_identities.insert(identity).second) {
            return false;
        }
        m_entries.push_back(
            MakeCounted<CZynTaskEvent>(std::move(task), std::move(identity), std::move(ticket)));
    }
    m_semaphore.Release(1, nullptr);
    return true;
}

CountedPtr<CZynTaskEvent> CZynExecutionQueue::PopOldest() {
    ScopedLock lock(m_lock);
    if (m_entries.empty()) {
        return {};
    }
    CountedPtr<CZynTaskEvent> oldest = std::move(m_entries.front());
    m_entries.pop_front();
    m_identities.erase(oldest->Identity);
    return oldest;
}

std::size_t CZynExecutionQueue::Size() {
    ScopedLock lock(m_lock);
    return m_entries.size();
}

std::deque<CountedPtr<CZynTaskEvent>> CZynExecutionQueue::Clear() {
    std::deque<CountedPtr<CZynTaskEvent>> taken;
    ScopedLock lock(m_lock);
    taken.swap(m_entries);
    m_identities.clear();
    return taken;
}
