// The file-system calls of the library, on wide paths (UTF-8 at the system), answering the
// system error code of a failure (ERROR_SUCCESS, 0, on success) instead of throwing or setting
// the last-error value, so that each caller decides what to report. Every descriptor opened
// here is close-on-exec and closed before the call returns. Thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ZynTaskSchedulerLib/SystemErrors.h"
#include "ZynTaskSchedulerLib/Types.h"

struct FileStatus {
    bool isDirectory = false;
    bool isRegularFile = false;
    bool isSymbolicLink = false;
    bool ownerWritable = false;
    std::uint32_t mode = 0;  // permission bits
    std::uint32_t ownerId = 0;
    std::uint32_t groupId = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNanoseconds = 0;  // since 1970, for change detection
    std::int64_t changedNanoseconds = 0;   // content or attributes; no call can set it back
    std::uint64_t fileId = 0;              // device and inode folded together
};

struct DirectoryEntry {
    std::wstring name;
    bool isDirectory = false;  // the entry itself, not what a link names
};

struct DirectoryEntryStatus {
    std::wstring name;
    bool hasStatus = false;  // false when the entry was gone before its status was read
    FileStatus status;       // of the entry itself (a symbolic link is reported as one)
};

inline constexpr std::uint32_t kDefaultFolderMode = 0755;
inline constexpr std::uint32_t kDefaultFileMode = 0644;

// Status of the entry itself (a symbolic link is reported as one), or with `followLinks` of
// what a link names.
DWORD QueryFileStatus(std::wstring_view path, FileStatus& status, bool followLinks = false);
#ifndef _WIN32
// Status of the file open as `descriptor`.
DWORD QueryOpenFileStatus(int descriptor, FileStatus& status);
#endif

// Reads a whole regular file: no symbolic link, device or pipe, at most `maxBytes`
// (ERROR_FILE_INVALID for anything else), without blocking on the open.
DWORD ReadRegularFile(std::wstring_view path, std::string& bytes, std::size_t maxBytes);

// Writes `parts` one after the other into a temporary file beside `path` (".<name>.XXXXXX",
// locked while it is written), then renames it over `path`: readers see the old content or the
// new, never a mix. `durable` flushes the file before the rename and the folder after it. The
// file keeps the permission bits of the one it replaces, or gets kDefaultFileMode.
DWORD ReplaceFileAtomically(std::wstring_view path, const std::vector<std::string_view>& parts,
                            bool durable);

// Whether `name` has the form ReplaceFileAtomically gives its temporaries.
bool IsTemporaryName(std::wstring_view name);
// Whether `name` is a temporary of ReplaceFileAtomically whose writer is gone (its lock is
// free, and it is older than a writer takes between making and locking it), so that it can be
// removed.
bool IsAbandonedTemporary(std::wstring_view folder, std::wstring_view name);

// Appends `data` at the end of the file, creating it (mode `mode`) when missing; links are not
// followed. One write call, so records of several writers do not mix within a line.
DWORD AppendToFile(std::wstring_view path, std::string_view data,
                   std::uint32_t mode = kDefaultFileMode);
// Renames, refusing (ERROR_ALREADY_EXISTS) to replace an existing target.
DWORD RenameNoReplace(std::wstring_view from, std::wstring_view to);
// Renames, replacing an existing file of the target's name.
DWORD RenameFile(std::wstring_view from, std::wstring_view to);

DWORD MakeDirectory(std::wstring_view path, std::uint32_t mode = kDefaultFolderMode);
DWORD RemoveEmptyDirectory(std::wstring_view path);
DWORD RemoveFile(std::wstring_view path);
// Opens `path` for writing, creating it when missing, and closes it again.
DWORD TouchFile(std::wstring_view path);
DWORD ListDirectory(std::wstring_view path, std::vector<DirectoryEntry>& entries);
// The entries with their status, read through the open folder: cheaper than a status query by
// path per entry in a large folder.
DWORD ListDirectoryWithStatus(std::wstring_view path, std::vector<DirectoryEntryStatus>& entries);

// Adds the owner's write permission (the platform's read-only attribute cleared).
DWORD MakeOwnerWritable(std::wstring_view path);
// Makes the process's user the owner and gives the owner full access; ERROR_ACCESS_DENIED
// unless the process may change owners.
DWORD TakeOwnership(std::wstring_view path);

// Whether a file operation refused with `error` may succeed if tried again shortly. Here only
// a file busy for the moment qualifies (ERROR_SHARING_VIOLATION): permissions and ownership do
// not change by themselves, so access denied is final at once.
bool IsTransientFileError(DWORD error);

#ifdef _WIN32
#include <windows.h>  // Sleep
#else
void Sleep(DWORD milliseconds);
#endif
