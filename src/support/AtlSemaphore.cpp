#include "support/AtlSemaphore.h"

CAtlSemaphore::CAtlSemaphore(LONG initialCount, LONG maximumCount)
    : m_semaphore(Required(Semaphore::Create(initialCount, maximumCount))) {}

BOOL CAtlSemaphore::Release(LONG count, LONG* previousCount) {
    return m_semaphore->Release(count, previousCount) ? TRUE : FALSE;
}
