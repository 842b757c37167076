#include "platform/Thread.h"

#include <future>
#include <system_error>

#include "platform/LastError.h"
#include "platform/ProcessInfo.h"
#include "platform/ThreadPriority.h"

std::unique_ptr<Thread> Thread::Create(std::function<void()> routine) {
    std::unique_ptr<Thread> thread(new Thread());
    thread->m_parking = std::make_shared<ThreadParking>(1);
    thread->m_running = std::make_shared<std::atomic<bool>>(true);
    std::promise<DWORD> started;
    std::future<DWORD> id = started.get_future();
    try {
        thread->m_thread =
            std::thread([parking = thread->m_parking, running = thread->m_running,
                         routine = std::move(routine), started = std::move(started)]() mutable {
                ThreadParking::SetCurrent(parking.get());
                started.set_value(GetCurrentThreadId());
                parking->ParkWhileSuspended();
                routine();
                running->store(false);
            });
    } catch (const std::system_error& error) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);  // the system is out of threads
        return nullptr;
    }
    thread->m_id = id.get();
    return thread;
}

Thread::~Thread() {
    if (!m_thread.joinable()) {
        return;
    }
    if (IsRunning()) {
        m_thread.detach();  // the parking and the routine's state stay alive with the thread
    } else {
        m_thread.join();
    }
}

DWORD Thread::Suspend() {
    return m_parking->Suspend();
}

DWORD Thread::Resume() {
    return m_parking->Resume();
}

bool Thread::SetPriority(int priority) {
    return SetSystemThreadPriority(m_id, priority);
}

bool Thread::IsRunning() const {
    return m_running->load();
}

void Thread::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}
