#include "platform/Semaphore.h"

std::unique_ptr<Semaphore> Semaphore::Create(LONG initialCount, LONG maximumCount) {
    if (initialCount < 0 || maximumCount <= 0 || initialCount > maximumCount) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    KernelHandle semaphore(::CreateSemaphoreW(nullptr, initialCount, maximumCount, nullptr));
    if (!semaphore.IsValid()) {
        return nullptr;
    }
    return std::unique_ptr<Semaphore>(new Semaphore(std::move(semaphore)));
}

bool Semaphore::Release(LONG count, LONG* previousCount) {
    if (count <= 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return ::ReleaseSemaphore(m_semaphore.Get(), count, previousCount) != FALSE;
}
