// Folder routines, and deletion of single files, for the work folder and its subfolders. Each
// answers false with the system error code in the thread's last-error value (87 for an empty
// path), logs as its own source, and never throws. Thread-safe.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/FileSystem.h"

// Creates the folder and any missing parents; true when it is a folder afterwards. A file in
// its place fails with ERROR_ALREADY_EXISTS. `quiet` leaves the final failure unlogged.
bool CreateDirectoryPath(std::wstring_view path, std::uint32_t mode = kDefaultFolderMode,
                         bool quiet = false);
// Creates the folder and proves that a file can be created in it.
bool CreateTargetDir(std::wstring_view path);
// Removes the folder with everything below it; true when the folder itself is gone. A
// symbolic link is removed, never followed. `force` takes access to what resists deletion.
bool RemoveDirectoryTree(std::wstring_view path, bool logFailures, bool force);
// Deletes a file, taking access to it when refused; `retry` applies the retry rule.
bool DeleteFileEx(std::wstring_view path, bool retry);
bool DirectoryExists(std::wstring_view path);
bool FileExists(std::wstring_view path);
