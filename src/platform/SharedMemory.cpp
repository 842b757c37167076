#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <optional>

#include "platform/GuardedObject.h"
#include "platform/LastError.h"
#include "platform/WideText.h"

namespace {

// Opening races only with a last holder that is removing the name; a few rounds settle it.
constexpr int kOpenAttempts = 100;
// The shared hold is refused only while a closing last holder removes the name, an instant;
// a process that keeps the object locked longer cannot stall us.
constexpr auto kHoldLockLimit = std::chrono::milliseconds(1000);

std::optional<std::string> SystemName(std::wstring_view name, SharedMemory::Kind kind) {
    if (name.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return std::nullopt;
    }
    std::string systemName = kind == SharedMemory::Kind::Mutex ? "/zyn.mutex." : "/zyn.section.";
    for (const char c : WideToUtf8(name)) {
        systemName += c == '/' ? '\\' : c;  // the only character a system name cannot hold
    }
    if (systemName.size() > NAME_MAX) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return std::nullopt;
    }
    return systemName;
}

bool SameFile(int first, int second) {
    struct stat a {};
    struct stat b {};
    return ::fstat(first, &a) == 0 && ::fstat(second, &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

// Whether `systemName` still names the object open as `file` (a closing last holder may have
// removed the name after we opened it).
bool StillNamed(const std::string& systemName, int file) {
    const FileDescriptor named(::shm_open(systemName.c_str(), O_RDONLY | O_CLOEXEC, 0));
    return named.IsValid() && SameFile(named.Get(), file);
}

// The object under `systemName`, open and held with a shared lock; invalid with the last-error
// value set.
FileDescriptor OpenHeld(const std::string& systemName, const ObjectAccess& access) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        FileDescriptor file = OpenGuardedObject(ObjectSpace::SharedMemory, systemName, access);
        if (!file.IsValid()) {
            return file;
        }
        if (const DWORD error = LockGuardedObject(file.Get(), false, kHoldLockLimit);
            error != ERROR_SUCCESS) {
            SetLastError(error);
            return FileDescriptor();
        }
        if (StillNamed(systemName, file.Get())) {
            return file;
        }
    }
    SetLastError(ERROR_SHARING_VIOLATION);
    return FileDescriptor();
}

bool EnsureSize(int file, std::size_t size) {
    struct stat status {};
    if (::fstat(file, &status) != 0 || (static_cast<std::size_t>(status.st_size) < size &&
                                        ::ftruncate(file, static_cast<off_t>(size)) != 0)) {
        SetLastError(Win32ErrorFromErrno(errno));
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<SharedMemory> SharedMemory::Open(std::wstring_view name, std::size_t size,
                                                 const ObjectAccess& access, Kind kind) {
    if (size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::optional<std::string> systemName = SystemName(name, kind);
    if (!systemName) {
        return nullptr;
    }
    FileDescriptor file = OpenHeld(*systemName, access);
    if (!file.IsValid() || !EnsureSize(file.Get(), size)) {
        return nullptr;
    }
    void* address = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file.Get(), 0);
    if (address == MAP_FAILED) {
        SetLastError(Win32ErrorFromErrno(errno));
        return nullptr;
    }
    return std::unique_ptr<SharedMemory>(
        new SharedMemory(std::move(*systemName), std::move(file), address, size));
}

SharedMemory::~SharedMemory() {
    ::munmap(m_address, m_size);
    // Only the last holder gets the exclusive lock; while it holds it nobody can take hold of
    // this object, so removing the name cannot strand a new user.
    if (::flock(m_file.Get(), LOCK_EX | LOCK_NB) == 0 && StillNamed(m_systemName, m_file.Get())) {
        ::shm_unlink(m_systemName.c_str());
    }
}
