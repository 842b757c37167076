#include "platform/ProgramLauncher.h"

#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The process's scheduling, as its main thread has it.
void TakeProcessScheduling() {
    const pid_t self = ::gettid();
    errno = 0;
    const int processNice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::getpid()));
    const bool processNiceKnown = errno == 0;
    errno = 0;
    const int ownNice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(self));
    if (processNiceKnown && errno == 0 && ownNice != processNice) {
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(self), processNice);
    }
    sched_param processParameters{};
    sched_param ownParameters{};
    const int processPolicy = ::sched_getscheduler(::getpid());
    const int ownPolicy = ::sched_getscheduler(0);
    if (processPolicy >= 0 && ownPolicy >= 0 &&
        ::sched_getparam(::getpid(), &processParameters) == 0 &&
        ::sched_getparam(0, &ownParameters) == 0 &&
        (ownPolicy != processPolicy ||
         ownParameters.sched_priority != processParameters.sched_priority)) {
        ::sched_setscheduler(0, processPolicy, &processParameters);
    }
}

}  // namespace

ProgramLauncher& ProgramLauncher::Instance() {
    static ProgramLauncher launcher;
    return launcher;
}

// The thread is made with every signal blocked, which it keeps; the caller's mask is put back.
ProgramLauncher::ProgramLauncher() {
    sigset_t all;
    sigset_t previous;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    m_thread = std::thread([this] { Serve(); });
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

ProgramLauncher::~ProgramLauncher() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

int ProgramLauncher::Run(const std::function<int()>& start) {
    std::lock_guard caller(m_callers);
    std::unique_lock lock(m_mutex);
    m_start = &start;
    m_done = false;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_done; });
    m_start = nullptr;
    return m_result;
}

void ProgramLauncher::Serve() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || (m_start != nullptr && !m_done); });
        if (m_stopping) {
            return;
        }
        TakeProcessScheduling();
        m_result = (*m_start)();
        m_done = true;
        m_changed.notify_all();
    }
}
