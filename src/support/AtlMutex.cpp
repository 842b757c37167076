#include "support/AtlMutex.h"

#include "platform/Wait.h"

CAtlMutex::CAtlMutex(std::wstring_view name, const ObjectAccess& access)
    : m_mutex(Required(NamedMutex::Open(name, access))) {}

bool CAtlMutex::Lock(DWORD timeoutMs) {
    const DWORD result = m_mutex->Acquire(timeoutMs);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}
