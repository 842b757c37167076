// A mutex shared across processes by name (platform/NamedMutex.h) with the synchronisation
// wrappers' face, usable only by those who may write the folder it guards. Lock owns it
// (again, for the owning thread), also when the previous owner died holding it; give it a time
// limit, since another process may hold the mutex as long as it likes. Unlock gives one
// ownership back and only works on the owning thread.
#pragma once

#include <string_view>

#include "platform/NamedMutex.h"
#include "support/AtlSyncObject.h"

class CAtlMutex : public CAtlSyncObject {
public:
    // Opens the mutex called `name`, creating it, not owned and with `access`, when no process
    // holds it.
    CAtlMutex(std::wstring_view name, const ObjectAccess& access);

    bool Lock(DWORD timeoutMs = INFINITE) override;
    BOOL Unlock() override { return m_mutex->Release() ? TRUE : FALSE; }

private:
    std::unique_ptr<NamedMutex> m_mutex;
};
