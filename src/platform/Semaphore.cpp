#include "platform/Semaphore.h"

#include <sys/eventfd.h>

#include <cerrno>

#include "platform/LastError.h"

namespace {

bool Refuse(DWORD error) {
    SetLastError(error);
    return false;
}

}  // namespace

std::unique_ptr<Semaphore> Semaphore::Create(LONG initialCount, LONG maximumCount) {
    if (initialCount < 0 || maximumCount <= 0 || initialCount > maximumCount) {
        Refuse(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    FileDescriptor counter(
        ::eventfd(static_cast<unsigned>(initialCount), EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE));
    if (!counter.IsValid()) {
        Refuse(Win32ErrorFromErrno(errno));
        return nullptr;
    }
    return std::unique_ptr<Semaphore>(
        new Semaphore(std::move(counter), initialCount, maximumCount));
}

bool Semaphore::Release(LONG count, LONG* previousCount) {
    if (count <= 0) {
        return Refuse(ERROR_INVALID_PARAMETER);
    }
    LONG current = m_count.load();
    do {
        if (current > m_maximum - count) {
            return Refuse(ERROR_TOO_MANY_POSTS);
        }
    } while (!m_count.compare_exchange_weak(current, current + count));
    if (::eventfd_write(m_counter.Get(), static_cast<eventfd_t>(count)) != 0) {
        m_count.fetch_sub(count);
        return Refuse(Win32ErrorFromErrno(errno));
    }
    if (previousCount != nullptr) {
        *previousCount = current;
    }
    return true;
}

bool Semaphore::ClaimSignal() {
    // In semaphore mode each read takes exactly one count, atomically; a waiter that finds
    // none left lost the race to another and goes on waiting.
    eventfd_t one = 0;
    if (::eventfd_read(m_counter.Get(), &one) != 0) {
        return false;
    }
    m_count.fetch_sub(1);
    return true;
}
