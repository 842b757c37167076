// The claim of one process on a work folder: an exclusive lock on a file in it. Exactly one
// holder per file across processes; the claim ends when the holder closes it or dies, and a
// holder that closes it also removes the file, so a folder nobody holds has no lock file.
// One owner thread per object.
#pragma once

#include <memory>
#include <string_view>

#include "platform/FileDescriptor.h"

class WorkFolderLock {
public:
    // Creates (or opens) the file and takes the lock. Null, with the last-error value set
    // (ERROR_SHARING_VIOLATION when another holder has it), when the claim cannot be made.
    static std::unique_ptr<WorkFolderLock> Acquire(std::wstring_view lockFilePath);
    // Removes the file, then lets the lock go: a waiting claimant never locks a removed file.
    ~WorkFolderLock();
    WorkFolderLock(const WorkFolderLock&) = delete;
    WorkFolderLock& operator=(const WorkFolderLock&) = delete;

private:
    WorkFolderLock(std::string path, FileDescriptor file)
        : m_path(std::move(path)), m_file(std::move(file)) {}

    std::string m_path;
    FileDescriptor m_file;
};
