#include "platform/GuardedObject.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/LastError.h"
#include "platform/ProcessInfo.h"

namespace {

// Never blocks on a pipe left at the name; never follows a link left there.
constexpr int kOpenFlags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
// Before the group and mode are set, the creator alone may use a new object.
constexpr mode_t kCreatorOnly = 0600;
// Each round races only with another process removing or replacing the object; an attacker
// who keeps putting objects back as fast as we remove them is refused after a few.
constexpr int kOpenAttempts = 20;
constexpr std::uint32_t kRootUserId = 0;
constexpr std::uint32_t kOwnerBits = 0700;
// A lock freed by one writer is often taken again by the same writer within a fraction of a
// millisecond: attempts this close together give every waiter its fair chance at it.
constexpr auto kLockPause = std::chrono::microseconds(250);

int OpenName(ObjectSpace space, const std::string& name, int flags) {
    return space == ObjectSpace::SharedMemory ? ::shm_open(name.c_str(), flags, kCreatorOnly)
                                              : ::open(name.c_str(), flags, kCreatorOnly);
}

bool RemoveName(ObjectSpace space, const std::string& name) {
    const int result =
        space == ObjectSpace::SharedMemory ? ::shm_unlink(name.c_str()) : ::unlink(name.c_str());
    return result == 0 || errno == ENOENT;
}

// A process outside the folder's group cannot give an object that group; the object then
// stays its owner's alone.
bool Claim(int file, const ObjectAccess& access) {
    const bool inGroup = ::fchown(file, static_cast<uid_t>(-1), access.Group()) == 0;
    return ::fchmod(file, inGroup ? access.Mode() : access.Mode() & kOwnerBits) == 0;
}

bool IsRoot() {
    return GetEffectiveUserId() == kRootUserId;
}

bool MayReplace(std::uint32_t ownerId) {
    return IsRoot() || ownerId == GetEffectiveUserId();
}

FileDescriptor Failure(DWORD error) {
    SetLastError(error);
    return FileDescriptor();
}

FileDescriptor CreateExclusively(ObjectSpace space, const std::string& name,
                                 const ObjectAccess& access) {
    FileDescriptor file(OpenName(space, name, kOpenFlags | O_CREAT | O_EXCL));
    if (file.IsValid() && !Claim(file.Get(), access)) {
        const int error = errno;
        RemoveName(space, name);
        errno = error;
        return FileDescriptor();
    }
    return file;
}

}  // namespace

FileDescriptor OpenGuardedObject(ObjectSpace space, const std::string& name,
                                 const ObjectAccess& access) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (FileDescriptor created = CreateExclusively(space, name, access); created.IsValid()) {
            return created;
        }
        if (errno != EEXIST) {
            return Failure(Win32ErrorFromErrno(errno));
        }
        FileDescriptor existing(OpenName(space, name, kOpenFlags));
        if (!existing.IsValid()) {
            const int error = errno;
            if (error == ENOENT) {
                continue;  // removed since we looked
            }
            // A link at the name: nobody we trust puts one there, and only root may remove it.
            if (error == ELOOP && IsRoot() && RemoveName(space, name)) {
                continue;
            }
            return Failure(error == ELOOP ? ERROR_ACCESS_DENIED : Win32ErrorFromErrno(error));
        }
        FileStatus status;
        if (const DWORD error = QueryOpenFileStatus(existing.Get(), status);
            error != ERROR_SUCCESS) {
            return Failure(error);
        }
        if (access.Admits(status)) {
            return existing;
        }
        if (!MayReplace(status.ownerId) || !RemoveName(space, name)) {
            return Failure(ERROR_ACCESS_DENIED);
        }
    }
    return Failure(ERROR_ACCESS_DENIED);
}

DWORD LockGuardedObject(int file, bool exclusive, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (::flock(file, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) {
            return ERROR_SUCCESS;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return Win32ErrorFromErrno(errno);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return ERROR_LOCK_VIOLATION;
        }
        std::this_thread::sleep_for(kLockPause);
    }
}
