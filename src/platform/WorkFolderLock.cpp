#include "platform/WorkFolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/LastError.h"
#include "platform/WideText.h"

namespace {

// A holder that closes removes the file between our open and our lock; a few rounds settle it.
constexpr int kAttempts = 8;

bool StillNamesFile(const std::string& path, int file) {
    struct stat named {};
    struct stat held {};
    return ::stat(path.c_str(), &named) == 0 && ::fstat(file, &held) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

void WriteProcessId(int file) {
    const std::string text = std::to_string(::getpid()) + "\n";
    // Only a courtesy to whoever finds the folder taken; the lock holds without it.
    [[maybe_unused]] const bool written =
        ::ftruncate(file, 0) == 0 &&
        ::pwrite(file, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

DWORD ReadProcessId(int file) {
    char text[32] = {};
    const ssize_t length = ::pread(file, text, sizeof(text) - 1, 0);
    if (length <= 0) {
        return 0;
    }
    return static_cast<DWORD>(std::strtoul(text, nullptr, 10));
}

}  // namespace

std::unique_ptr<WorkFolderLock> WorkFolderLock::Acquire(std::wstring_view lockFilePath) {
    const std::string path = WideToUtf8(lockFilePath);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        FileDescriptor file(
            ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
        if (!file.IsValid()) {
            SetLastError(Win32ErrorFromErrno(errno, errno == ENOENT));
            return nullptr;
        }
        if (::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) {
            SetLastError(errno == EWOULDBLOCK ? ERROR_SHARING_VIOLATION
                                              : Win32ErrorFromErrno(errno));
            return nullptr;
        }
        if (StillNamesFile(path, file.Get())) {
            WriteProcessId(file.Get());
            return std::unique_ptr<WorkFolderLock>(new WorkFolderLock(path, std::move(file)));
        }
    }
    SetLastError(ERROR_SHARING_VIOLATION);
    return nullptr;
}

WorkFolderLock::~WorkFolderLock() {
    ::unlink(m_path.c_str());
}

WorkFolderLock::HolderInfo WorkFolderLock::Holder(std::wstring_view lockFilePath) {
    const std::string path = WideToUtf8(lockFilePath);
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!file.IsValid() || ::flock(file.Get(), LOCK_SH | LOCK_NB) == 0) {
        return {};
    }
    return {true, ReadProcessId(file.Get())};
}
