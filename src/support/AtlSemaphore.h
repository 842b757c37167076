// A counting semaphore (platform/Semaphore.h) with the synchronisation wrappers' face: Lock
// takes one count, Release and Unlock give counts back, and Handle is what a wait on several
// objects is given. Any thread may call any member.
#pragma once

#include "platform/Semaphore.h"
#include "support/AtlSyncObject.h"

class CAtlSemaphore : public CAtlSyncObject {
public:
    CAtlSemaphore(LONG initialCount, LONG maximumCount);

    // FALSE, with the last-error value set, when the count would pass the maximum.
    BOOL Release(LONG count, LONG* previousCount) override;
    BOOL Unlock() override { return Release(1, nullptr); }
    WaitableObject& Handle() { return *m_semaphore; }

protected:
    WaitableObject* WaitHandle() override { return m_semaphore.get(); }

private:
    std::unique_ptr<Semaphore> m_semaphore;
};
