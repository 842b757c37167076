#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <memory>
#include <string_view>

#include "platform/FileDescriptor.h"
#include "platform/LastError.h"
#include "platform/Path.h"
#include "platform/TemporaryFile.h"
#include "platform/WideText.h"

namespace {

std::string ToSystemPath(std::wstring_view path) {
    return WideToUtf8(path);
}

bool FolderExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// ENOENT says "file not found" when the folder exists and "path not found" when it does not.
DWORD ErrorForPath(int errnoValue, std::wstring_view path) {
    if (errnoValue != ENOENT) {
        return Win32ErrorFromErrno(errnoValue);
    }
    const std::wstring parent = ParentPath(path);
    const bool parentMissing = !parent.empty() && !FolderExists(ToSystemPath(parent));
    return Win32ErrorFromErrno(errnoValue, parentMissing);
}

DWORD LastErrno() {
    return Win32ErrorFromErrno(errno);
}

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::int64_t ModifiedNanoseconds(const struct stat& info) {
    return Nanoseconds(info.st_mtim);
}

void FillStatus(const struct stat& info, FileStatus& status) {
    status.isDirectory = S_ISDIR(info.st_mode);
    status.isRegularFile = S_ISREG(info.st_mode);
    status.isSymbolicLink = S_ISLNK(info.st_mode);
    status.ownerWritable = (info.st_mode & S_IWUSR) != 0;
    status.mode = info.st_mode & 07777;
    status.ownerId = info.st_uid;
    status.groupId = info.st_gid;
    status.size = static_cast<std::uint64_t>(info.st_size);
    status.modifiedNanoseconds = ModifiedNanoseconds(info);
    status.changedNanoseconds = Nanoseconds(info.st_ctim);
    status.fileId = (static_cast<std::uint64_t>(info.st_dev) << 40) ^ info.st_ino;
}

DWORD WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return LastErrno();
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return ERROR_SUCCESS;
}

DWORD FlushFolder(const std::string& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.IsValid()) {
        return LastErrno();
    }
    return ::fsync(fd.Get()) == 0 ? ERROR_SUCCESS : LastErrno();
}

std::uint32_t ModeToKeep(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        return info.st_mode & 07777;
    }
    return kDefaultFileMode;
}

// Writes, flushes and renames an already created and locked temporary.
DWORD FillAndRename(int fd, const std::string& temporary, const std::string& target,
                    const std::vector<std::string_view>& parts, bool durable) {
    if (::fchmod(fd, ModeToKeep(target)) != 0) {
        return LastErrno();
    }
    for (std::string_view part : parts) {
        if (const DWORD error = WriteAll(fd, part); error != ERROR_SUCCESS) {
            return error;
        }
    }
    if (durable && ::fsync(fd) != 0) {
        return LastErrno();
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        return LastErrno();
    }
    return ERROR_SUCCESS;
}

}  // namespace

DWORD QueryFileStatus(std::wstring_view path, FileStatus& status, bool followLinks) {
    if (path.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    struct stat info {};
    const std::string systemPath = ToSystemPath(path);
    const int result =
        followLinks ? ::stat(systemPath.c_str(), &info) : ::lstat(systemPath.c_str(), &info);
    if (result != 0) {
        return ErrorForPath(errno, path);
    }
    FillStatus(info, status);
    return ERROR_SUCCESS;
}

DWORD QueryOpenFileStatus(int descriptor, FileStatus& status) {
    struct stat info {};
    if (::fstat(descriptor, &info) != 0) {
        return Win32ErrorFromErrno(errno);
    }
    FillStatus(info, status);
    return ERROR_SUCCESS;
}

DWORD ReadRegularFile(std::wstring_view path, std::string& bytes, std::size_t maxBytes) {
    FileDescriptor fd(::open(ToSystemPath(path).c_str(),
                             O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
    if (!fd.IsValid()) {
        return errno == ELOOP ? ERROR_FILE_INVALID : ErrorForPath(errno, path);
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) {
        return LastErrno();
    }
    if (!S_ISREG(info.st_mode) || static_cast<std::uint64_t>(info.st_size) > maxBytes) {
        return ERROR_FILE_INVALID;
    }
    std::string content(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t filled = 0;
    while (filled < content.size()) {
        const ssize_t got = ::read(fd.Get(), content.data() + filled, content.size() - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return LastErrno();
        }
        if (got == 0) {
            return ERROR_HANDLE_EOF;  // shrank while read: a short read
        }
        filled += static_cast<std::size_t>(got);
    }
    bytes = std::move(content);
    return ERROR_SUCCESS;
}

DWORD ReplaceFileAtomically(std::wstring_view path, const std::vector<std::string_view>& parts,
                            bool durable) {
    if (path.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::wstring folder = ParentPath(path);
    const std::string target = ToSystemPath(path);
    std::string temporary = ToSystemPath(JoinPath(folder, L"." + BaseName(path) + L".XXXXXX"));
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.IsValid()) {
        return ErrorForPath(errno, path);
    }
    // The lock tells a folder scan that this temporary is still being written.
    ::flock(fd.Get(), LOCK_EX);
    const DWORD error = FillAndRename(fd.Get(), temporary, target, parts, durable);
    if (error != ERROR_SUCCESS) {
        ::unlink(temporary.c_str());
        return error;
    }
    if (durable && !folder.empty()) {
        return FlushFolder(ToSystemPath(folder));
    }
    return ERROR_SUCCESS;
}

bool IsAbandonedTemporary(std::wstring_view folder, std::wstring_view name) {
    if (!IsTemporaryName(name)) {
        return false;
    }
    FileDescriptor fd(::open(ToSystemPath(JoinPath(folder, name)).c_str(),
                             O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat info {};
    if (!fd.IsValid() || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto age = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() -
                     ModifiedNanoseconds(info);
    return age > kTemporaryGraceNanoseconds && ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0;
}

DWORD AppendToFile(std::wstring_view path, std::string_view data, std::uint32_t mode) {
    FileDescriptor fd(::open(ToSystemPath(path).c_str(),
                             O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                             mode));
    if (!fd.IsValid()) {
        return ErrorForPath(errno, path);
    }
    return WriteAll(fd.Get(), data);
}

DWORD RenameNoReplace(std::wstring_view from, std::wstring_view to) {
    if (::renameat2(AT_FDCWD, ToSystemPath(from).c_str(), AT_FDCWD, ToSystemPath(to).c_str(),
                    RENAME_NOREPLACE) != 0) {
        return ErrorForPath(errno, from);
    }
    return ERROR_SUCCESS;
}

DWORD RenameFile(std::wstring_view from, std::wstring_view to) {
    if (::rename(ToSystemPath(from).c_str(), ToSystemPath(to).c_str()) != 0) {
        return ErrorForPath(errno, from);
    }
    return ERROR_SUCCESS;
}

DWORD MakeDirectory(std::wstring_view path, std::uint32_t mode) {
    if (path.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    if (::mkdir(ToSystemPath(path).c_str(), mode) != 0) {
        return Win32ErrorFromErrno(errno, errno == ENOENT);
    }
    return ERROR_SUCCESS;
}

DWORD RemoveEmptyDirectory(std::wstring_view path) {
    if (path.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    return ::rmdir(ToSystemPath(path).c_str()) == 0 ? ERROR_SUCCESS : ErrorForPath(errno, path);
}

DWORD RemoveFile(std::wstring_view path) {
    if (path.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string systemPath = ToSystemPath(path);
    if (::unlink(systemPath.c_str()) == 0) {
        return ERROR_SUCCESS;
    }
    // unlink answers EISDIR (Linux) or EPERM (POSIX) for a folder; both mean "not a file".
    return errno == EISDIR || (errno == EPERM && FolderExists(systemPath))
               ? ERROR_ACCESS_DENIED
               : ErrorForPath(errno, path);
}

DWORD TouchFile(std::wstring_view path) {
    if (path.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    FileDescriptor fd(::open(ToSystemPath(path).c_str(),
                             O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                             kDefaultFileMode));
    return fd.IsValid() ? ERROR_SUCCESS : ErrorForPath(errno, path);
}

namespace {

struct DirectoryCloser {
    void operator()(DIR* folder) const { ::closedir(folder); }
};

// Calls `visit(folderDescriptor, entry)` for every entry but "." and "..".
template <class Visit>
DWORD VisitDirectory(std::wstring_view path, Visit visit) {
    const std::unique_ptr<DIR, DirectoryCloser> folder(::opendir(ToSystemPath(path).c_str()));
    if (!folder) {
        return ErrorForPath(errno, path);
    }
    while (const dirent* entry = ::readdir(folder.get())) {
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..") {
            visit(::dirfd(folder.get()), *entry);
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace

DWORD ListDirectory(std::wstring_view path, std::vector<DirectoryEntry>& entries) {
    entries.clear();
    return VisitDirectory(path, [&](int folder, const dirent& entry) {
        bool isDirectory = entry.d_type == DT_DIR;
        if (entry.d_type == DT_UNKNOWN) {
            struct stat info {};
            isDirectory = ::fstatat(folder, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                          S_ISDIR(info.st_mode);
        }
        entries.push_back({Utf8ToWideLossy(entry.d_name), isDirectory});
    });
}

DWORD ListDirectoryWithStatus(std::wstring_view path, std::vector<DirectoryEntryStatus>& entries) {
    entries.clear();
    return VisitDirectory(path, [&](int folder, const dirent& entry) {
        DirectoryEntryStatus& added = entries.emplace_back();
        added.name = Utf8ToWideLossy(entry.d_name);
        struct stat info {};
        added.hasStatus = ::fstatat(folder, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0;
        if (added.hasStatus) {
            FillStatus(info, added.status);
        }
    });
}

DWORD MakeOwnerWritable(std::wstring_view path) {
    const std::string systemPath = ToSystemPath(path);
    struct stat info {};
    if (::lstat(systemPath.c_str(), &info) != 0) {
        return ErrorForPath(errno, path);
    }
    if (S_ISLNK(info.st_mode) || (info.st_mode & S_IWUSR) != 0) {
        return ERROR_SUCCESS;  // a link carries no permissions of its own
    }
    return ::chmod(systemPath.c_str(), (info.st_mode & 07777) | S_IWUSR) == 0 ? ERROR_SUCCESS
                                                                              : LastErrno();
}

DWORD TakeOwnership(std::wstring_view path) {
    const std::string systemPath = ToSystemPath(path);
    if (::lchown(systemPath.c_str(), ::geteuid(), ::getegid()) != 0) {
        return ErrorForPath(errno, path);
    }
    return MakeOwnerWritable(path);
}

bool IsTransientFileError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION;
}

void Sleep(DWORD milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1'000'000};
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}
