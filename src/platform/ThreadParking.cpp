#include "platform/ThreadParking.h"

namespace {
thread_local ThreadParking* t_currentParking = nullptr;
}

ThreadParking* ThreadParking::Current() {
    return t_currentParking;
}

void ThreadParking::SetCurrent(ThreadParking* parking) {
    t_currentParking = parking;
}

DWORD ThreadParking::Suspend() {
    std::lock_guard lock(m_mutex);
    const DWORD previous = m_suspendCount++;
    NoteSuspendCount();
    return previous;
}

DWORD ThreadParking::Resume() {
    std::lock_guard lock(m_mutex);
    const DWORD previous = m_suspendCount;
    if (previous > 0 && --m_suspendCount == 0) {
        NoteSuspendCount();
        m_resumed.notify_all();
    }
    return previous;
}

void ThreadParking::NoteSuspendCount() {
#ifdef _WIN32
    m_suspendCount > 0 ? ::SetEvent(m_suspended.Get()) : ::ResetEvent(m_suspended.Get());
#endif
}

void ThreadParking::ParkWhileSuspended() {
    std::unique_lock lock(m_mutex);
    m_resumed.wait(lock, [this] { return m_suspendCount == 0; });
}

std::unique_lock<std::mutex> ThreadParking::HoldWhileRunning() {
    std::unique_lock lock(m_mutex);
    if (m_suspendCount == 0) {
        return lock;
    }
    m_resumed.wait(lock, [this] { return m_suspendCount == 0; });
    return {};
}
