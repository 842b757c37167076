#include "platform/Thread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <future>
#include <system_error>

#include "platform/LastError.h"
#include "platform/ProgramLauncher.h"

namespace {

constexpr int kNiceStepPerPriority = 5;
constexpr int kLowestNice = 19;
constexpr int kHighestNice = -20;

int ProcessNice() {
    // The main thread's nice value: every thread's own value starts from its creator's.
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::getpid()));
    return errno == 0 ? nice : 0;
}

}  // namespace

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
                started.set_value(static_cast<DWORD>(::gettid()));
                parking->ParkWhileSuspended();
                routine();
                running->store(false);
            });
    } catch (const std::system_error& error) {
        SetLastError(Win32ErrorFromErrno(error.code().value()));
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

// The launcher is made first, while no thread is lowered yet: made by a lowered thread, it
// could not give programs the process's priority without privilege.
bool Thread::SetPriority(int priority) {
    ProgramLauncher::Instance();
    const int nice =
        std::clamp(ProcessNice() - priority * kNiceStepPerPriority, kHighestNice, kLowestNice);
    if (::setpriority(PRIO_PROCESS, static_cast<id_t>(m_id), nice) != 0) {
        SetLastError(Win32ErrorFromErrno(errno));
        return false;
    }
    return true;
}

bool Thread::IsRunning() const {
    return m_running->load();
}

void Thread::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}
