#include "support/AtlCriticalSection.h"

bool CAtlCriticalSection::Lock(DWORD /*timeoutMs*/) {
    m_mutex.lock();
    return true;
}

BOOL CAtlCriticalSection::Unlock() {
    m_mutex.unlock();
    return TRUE;
}
