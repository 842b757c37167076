#include "platform/WorkFolderLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

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

// The holder's note: its process id, then " leaving" once it is letting go. Written over the
// old note, then cut to length, so that a reader never meets an empty file; only the first line
// counts, so the tail of a longer note being cut away is never read.
void WriteNote(int file, bool leaving) {
    const std::string text = std::to_string(::getpid()) + (leaving ? " leaving\n" : "\n");
    // Only a courtesy to whoever finds the folder taken; the lock holds without it.
    [[maybe_unused]] const bool written =
        ::pwrite(file, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()) &&
        ::ftruncate(file, static_cast<off_t>(text.size())) == 0;
}

WorkFolderLock::HolderInfo ReadNote(int file) {
    char text[64] = {};
    const ssize_t length = ::pread(file, text, sizeof(text) - 1, 0);
    if (length <= 0) {
        return {true, false, 0};
    }
    char* end = nullptr;
    const unsigned long processId = std::strtoul(text, &end, 10);
    return {true, std::strncmp(end, " leaving\n", 9) == 0, static_cast<DWORD>(processId)};
}

bool IsFree(int file) {
    return ::flock(file, LOCK_SH | LOCK_NB) == 0;
}

bool ProcessExists(DWORD processId) {
    return ::kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
}

// Whether the process is ending (killed, say): the system closes its files, and with them lets
// its lock go, only after it has given back its memory, which for a large process takes a while.
bool IsEnding(DWORD processId) {
    constexpr unsigned long kExiting = 0x4;  // the kernel's PF_EXITING
    std::ifstream stat("/proc/" + std::to_string(processId) + "/stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t afterName = line.rfind(") ");
    if (afterName == std::string::npos) {
        return false;
    }
    std::istringstream fields(line.substr(afterName + 2));
    std::string state;
    std::string skipped;
    unsigned long flags = 0;
    fields >> state >> skipped >> skipped >> skipped >> skipped >> skipped >> flags;
    return state == "Z" || state == "X" || (flags & kExiting) != 0;
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
            WriteNote(file.Get(), false);
            return std::unique_ptr<WorkFolderLock>(new WorkFolderLock(path, std::move(file)));
        }
    }
    SetLastError(ERROR_SHARING_VIOLATION);
    return nullptr;
}

// The path names another file only if someone removed ours and a claimant made a new one
// since: that file is the new holder's, and removing it would let a third one in beside it.
WorkFolderLock::~WorkFolderLock() {
    if (StillNamesFile(m_path, m_file.Get())) {
        ::unlink(m_path.c_str());
    }
}

void WorkFolderLock::AnnounceLeaving() {
    WriteNote(m_file.Get(), true);
}

// A holder writes its note just after it took the lock, over the note of a holder that died:
// an empty note, or one naming a process that no longer exists, is read again for a moment.
WorkFolderLock::HolderInfo WorkFolderLock::Holder(std::wstring_view lockFilePath) {
    constexpr int kNoteReads = 200;
    constexpr auto kNotePause = std::chrono::milliseconds(1);
    const std::string path = WideToUtf8(lockFilePath);
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!file.IsValid() || IsFree(file.Get())) {
        return {};
    }
    for (int read = 0; read < kNoteReads; ++read) {
        HolderInfo note = ReadNote(file.Get());
        if (note.processId != 0 && ProcessExists(note.processId)) {
            note.leaving = note.leaving || IsEnding(note.processId);
            return note;
        }
        std::this_thread::sleep_for(kNotePause);
        if (IsFree(file.Get())) {
            return {};
        }
    }
    return {true, false, 0};
}
