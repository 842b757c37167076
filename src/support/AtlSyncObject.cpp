#include "support/AtlSyncObject.h"

#include "platform/LastError.h"
#include "platform/Wait.h"

bool CAtlSyncObject::Lock(DWORD timeoutMs) {
    WaitableObject* handle = WaitHandle();
    return handle != nullptr && WaitOne(*handle, timeoutMs) == WAIT_OBJECT_0;
}

BOOL CAtlSyncObject::Release(LONG /*count*/, LONG* /*previousCount*/) {
    return TRUE;
}

BOOL CAtlSyncObject::Unlock() {
    return TRUE;
}

void CAtlSyncObject::ThrowLastError() {
    throw HRESULT_FROM_WIN32(GetLastError());
}
