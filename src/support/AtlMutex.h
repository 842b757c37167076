// A mutex shared across processes by name (platform/NamedMutex.h) with the synchronisation
// wrappers' face. Lock owns it (again, for the owning thread), also when the previous owner
// died holding it; Unlock gives one ownership back and only works on the owning thread.
#pragma once

#include <string_view>

#include "platform/NamedMutex.h"
#include "support/AtlSyncObject.h"

class CAtlMutex : public CAtlSyncObject {
public:
    // Opens the mutex called `name`, creating it, not owned, when no process holds it.
    explicit CAtlMutex(std::wstring_view name);

    bool Lock(DWORD timeoutMs = INFINITE) override;
    BOOL Unlock() override { return m_mutex->Release() ? TRUE : FALSE; }

private:
    std::unique_ptr<NamedMutex> m_mutex;
};
