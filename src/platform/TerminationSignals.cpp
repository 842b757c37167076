#include "platform/TerminationSignals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

#include "platform/LastError.h"

namespace {

sigset_t RequestSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    return signals;
}

}  // namespace

std::unique_ptr<TerminationSignals> TerminationSignals::Create() {
    const sigset_t signals = RequestSignals();
    if (const int error = ::pthread_sigmask(SIG_BLOCK, &signals, nullptr); error != 0) {
        SetLastError(Win32ErrorFromErrno(error));
        return nullptr;
    }
    FileDescriptor descriptor(::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
    if (!descriptor.IsValid()) {
        SetLastError(Win32ErrorFromErrno(errno));
        ::pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
        return nullptr;
    }
    return std::unique_ptr<TerminationSignals>(new TerminationSignals(std::move(descriptor)));
}

TerminationSignals::~TerminationSignals() {
    const sigset_t signals = RequestSignals();
    ::pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

bool TerminationSignals::ClaimSignal() {
    signalfd_siginfo info{};
    if (::read(m_signal.Get(), &info, sizeof(info)) != static_cast<ssize_t>(sizeof(info))) {
        return false;
    }
    m_lastSignal = static_cast<int>(info.ssi_signo);
    return true;
}

std::wstring TerminationSignals::LastSignalName() const {
    switch (m_lastSignal) {
        case SIGTERM:
            return L"SIGTERM";
        case SIGINT:
            return L"SIGINT";
        default:
            return {};
    }
}
