// An engine's claim on its work folder: the lock file in the folder's lock folder, held while
// the object lives, so that of all engines of all processes pointed at one folder only one runs
// its tasks. Letting go removes nothing but this claim's own lock file, and the lock folder
// only when nothing else is in it: the file of a claimant that took the folder meanwhile is
// never touched. A claimant finding the lock folder gone under it (its last holder just
// removed it) makes it again and tries again; one finding the folder held by a holder that said
// it is leaving waits for it, a while; one finding a holder that stays is refused.
//
// One owner; not shared between threads. Take throws ComError 0x80041002 ("Cannot create work
// folder F") when the lock folder cannot be made or written, and answers null when another
// holder keeps the folder. Letting go does not fail.
#pragma once

#include <memory>
#include <string>

#include "platform/WorkFolderLock.h"

class WorkFolderClaim {
public:
    static std::unique_ptr<WorkFolderClaim> Take(const std::wstring& workFolder);
    ~WorkFolderClaim();

    // Tells claimants that this holder lets go soon, so that they wait instead of giving up.
    void AnnounceLeaving();

    WorkFolderClaim(const WorkFolderClaim&) = delete;
    WorkFolderClaim& operator=(const WorkFolderClaim&) = delete;

private:
    WorkFolderClaim(std::wstring lockFolder, std::unique_ptr<WorkFolderLock> lock)
        : m_lockFolder(std::move(lockFolder)), m_lock(std::move(lock)) {}

    std::wstring m_lockFolder;
    std::unique_ptr<WorkFolderLock> m_lock;
};
