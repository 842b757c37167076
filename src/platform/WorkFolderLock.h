// The claim of one process on a work folder: an exclusive lock on a file in it. Exactly one
// holder per file across processes; the claim ends when the holder closes it or dies, and a
// holder that closes it also removes the file, so a folder nobody holds has no lock file.
// Nothing but the holder's own file is ever removed: a file found under the same name at the
// end, made by someone else, stays (and with it that holder's claim).
// The holder writes its process id into the file, so that whoever finds the folder taken can
// say by whom, and notes there when it is about to let go, so that a claimant may wait for it
// rather than give up. One owner thread per object; Holder may be called from any thread.
// On Windows the lock is a byte-range lock beyond the note, and the holder's file is removed
// through its own handle, so that no other file of that name can be removed instead.
#pragma once

#include <memory>
#include <string_view>

#include "ZynTaskSchedulerLib/Types.h"
#ifdef _WIN32
#include "platform/KernelHandle.h"
#else
#include "platform/FileDescriptor.h"
#endif

class WorkFolderLock {
public:
    // Creates (or opens) the file and takes the lock. Null, with the last-error value set, when
    // the claim cannot be made: ERROR_SHARING_VIOLATION when another holder has it,
    // ERROR_PATH_NOT_FOUND when the file's folder does not exist (or went while we looked).
    static std::unique_ptr<WorkFolderLock> Acquire(std::wstring_view lockFilePath);
    // Removes the file, when it is still ours, then lets the lock go: a waiting claimant never
    // locks a removed file.
    ~WorkFolderLock();

    // Notes in the file that the holder is letting go soon (it is shutting down).
    void AnnounceLeaving();

    // Whether some process holds the lock of `lockFilePath` now, which, and whether it is
    // leaving: it said so, or its process is ending (killed, say) and the system has yet to let
    // its lock go. `processId` is 0 when the holder has not written it in time. Looking takes a
    // shared lock for an instant, so a claimant at that very moment may find the file taken.
    struct HolderInfo {
        bool held = false;
        bool leaving = false;
        DWORD processId = 0;
    };
    static HolderInfo Holder(std::wstring_view lockFilePath);

    WorkFolderLock(const WorkFolderLock&) = delete;
    WorkFolderLock& operator=(const WorkFolderLock&) = delete;

private:
#ifdef _WIN32
    explicit WorkFolderLock(KernelHandle file) : m_file(std::move(file)) {}

    KernelHandle m_file;  // opened with the right to remove itself
#else
    WorkFolderLock(std::string path, FileDescriptor file)
        : m_path(std::move(path)), m_file(std::move(file)) {}

    std::string m_path;
    FileDescriptor m_file;
#endif
};
