#include "engine/WorkFolderClaim.h"

#include <chrono>
#include <thread>

#include "ZynTaskSchedulerLib/WorkFolder.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Path.h"
#include "support/Folders.h"
#include "support/ThrowError.h"

namespace {

constexpr HRESULT kCannotCreateWorkFolder = MakeHResult(0x80041002);
// How long a claimant waits for a holder that is leaving: its tasks' programs are ended first.
constexpr auto kLeavingHolderPatience = std::chrono::seconds(10);
constexpr auto kLeavingHolderPause = std::chrono::milliseconds(5);
// A holder found staying is looked at once more after this: one that was dying (its lock goes
// only once the system has closed its files) or about to say it is leaving has done so by then.
constexpr auto kSecondLook = std::chrono::milliseconds(100);

// The lock folder went between our making it and our use of it: its last holder removed it. A
// folder that cannot be made at all fails the same way, but then the work folder is missing.
bool WentUnderUs(const std::wstring& workFolder, DWORD error) {
    return (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) &&
           DirectoryExists(workFolder);
}

}  // namespace

// Every way round the loop found the folder in motion (the lock folder gone under us, or its
// holder gone or leaving) or is the second look at a holder. Each removal of the lock folder is
// a holder letting go, which a few rounds outlast; the patience bounds a holder that takes long
// to leave.
std::unique_ptr<WorkFolderClaim> WorkFolderClaim::Take(const std::wstring& workFolder) {
    constexpr int kMostVanishings = 16;
    const std::wstring lockFolder = JoinPath(workFolder, kWorkFolderLockFolderName);
    const std::wstring lockFile = JoinPath(lockFolder, kWorkFolderLockFileName);
    const auto giveUp = std::chrono::steady_clock::now() + kLeavingHolderPatience;
    bool secondLook = false;
    for (int vanishings = 0;;) {
        if (!CreateTargetDir(lockFolder)) {
            if (WentUnderUs(workFolder, GetLastError()) && ++vanishings < kMostVanishings) {
                continue;
            }
            CEThrowError(kCannotCreateWorkFolder, L"Cannot create work folder " + workFolder);
        }
        if (auto lock = WorkFolderLock::Acquire(lockFile)) {
            return std::unique_ptr<WorkFolderClaim>(
                new WorkFolderClaim(lockFolder, std::move(lock)));
        }
        const DWORD error = GetLastError();
        if (WentUnderUs(workFolder, error) && ++vanishings < kMostVanishings) {
            continue;
        }
        if (error != ERROR_SHARING_VIOLATION) {
            return nullptr;
        }
        const WorkFolderLock::HolderInfo holder = WorkFolderLock::Holder(lockFile);
        const bool staying = holder.held && !holder.leaving;
        if ((staying && secondLook) || std::chrono::steady_clock::now() > giveUp) {
            return nullptr;
        }
        secondLook = secondLook || staying;
        std::this_thread::sleep_for(staying ? kSecondLook : kLeavingHolderPause);
    }
}

WorkFolderClaim::~WorkFolderClaim() {
    m_lock.reset();
    // Fails, as it should, while a claimant's lock file (or its write probe) is in the folder.
    RemoveEmptyDirectory(m_lockFolder);
}

void WorkFolderClaim::AnnounceLeaving() {
    m_lock->AnnounceLeaving();
}
