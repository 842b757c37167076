#include "platform/WorkFolderLock.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

// A holder that closes removes the file between our open and our lock; a few rounds settle it.
constexpr int kAttempts = 8;
// The byte that is locked: far beyond the note, so that the note stays readable to others.
constexpr DWORD kLockedByteHigh = 0x40000000;

OVERLAPPED AtLockedByte() {
    OVERLAPPED at{};
    at.OffsetHigh = kLockedByteHigh;
    return at;
}

bool Lock(HANDLE file, DWORD flags) {
    OVERLAPPED at = AtLockedByte();
    return ::LockFileEx(file, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != FALSE;
}

void Unlock(HANDLE file) {
    OVERLAPPED at = AtLockedByte();
    ::UnlockFileEx(file, 0, 1, 0, &at);
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    return ::GetFileInformationByHandle(a, &first) && ::GetFileInformationByHandle(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

KernelHandle OpenForLooking(const std::wstring& path, DWORD access) {
    return KernelHandle(
        ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool StillNamesFile(const std::wstring& path, HANDLE file) {
    const KernelHandle named = OpenForLooking(path, 0);
    return named.IsValid() && SameFile(named.Get(), file);
}

// The holder's note: its process id, then " leaving" once it is letting go. Written over the
// old note, then cut to length, so that a reader never meets an empty file.
void WriteNote(HANDLE file, bool leaving) {
    const std::string text =
        std::to_string(::GetCurrentProcessId()) + (leaving ? " leaving\n" : "\n");
    OVERLAPPED start{};
    DWORD written = 0;
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(text.size());
    // Only a courtesy to whoever finds the folder taken; the lock holds without it.
    if (::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, &start)) {
        ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
        ::SetEndOfFile(file);
    }
}

WorkFolderLock::HolderInfo ReadNote(HANDLE file) {
    char text[64] = {};
    OVERLAPPED start{};
    DWORD length = 0;
    if (!::ReadFile(file, text, sizeof(text) - 1, &length, &start) || length == 0) {
        return {true, false, 0};
    }
    char* end = nullptr;
    const unsigned long processId = std::strtoul(text, &end, 10);
    return {true, std::strncmp(end, " leaving\n", 9) == 0, static_cast<DWORD>(processId)};
}

bool IsFree(HANDLE file) {
    if (!Lock(file, 0)) {
        return false;
    }
    Unlock(file);
    return true;
}

// WAIT_TIMEOUT while the process runs, WAIT_OBJECT_0 once it has ended (its files may still be
// open for a moment), WAIT_FAILED when there is no such process.
DWORD ProcessState(DWORD processId) {
    const KernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    return process.IsValid() ? ::WaitForSingleObject(process.Get(), 0) : WAIT_FAILED;
}

}  // namespace

std::unique_ptr<WorkFolderLock> WorkFolderLock::Acquire(std::wstring_view lockFilePath) {
    const std::wstring path(lockFilePath);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        KernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
        if (!file.IsValid()) {
            if (::GetLastError() == ERROR_ACCESS_DENIED) {
                continue;  // a holder's file on its way out
            }
            return nullptr;  // ERROR_PATH_NOT_FOUND for a missing folder
        }
        if (!Lock(file.Get(), LOCKFILE_EXCLUSIVE_LOCK)) {
            ::SetLastError(ERROR_SHARING_VIOLATION);
            return nullptr;
        }
        if (StillNamesFile(path, file.Get())) {
            WriteNote(file.Get(), false);
            return std::unique_ptr<WorkFolderLock>(new WorkFolderLock(std::move(file)));
        }
    }
    ::SetLastError(ERROR_SHARING_VIOLATION);
    return nullptr;
}

// Marked through our own handle, the file goes as the handle closes, with the lock: whatever
// file the name may meanwhile stand for is left alone.
WorkFolderLock::~WorkFolderLock() {
    FILE_DISPOSITION_INFO remove{TRUE};
    ::SetFileInformationByHandle(m_file.Get(), FileDispositionInfo, &remove, sizeof remove);
}

void WorkFolderLock::AnnounceLeaving() {
    WriteNote(m_file.Get(), true);
}

// A holder writes its note just after it took the lock, over the note of a holder that died:
// an empty note, or one naming a process that no longer exists, is read again for a moment.
WorkFolderLock::HolderInfo WorkFolderLock::Holder(std::wstring_view lockFilePath) {
    constexpr int kNoteReads = 200;
    constexpr auto kNotePause = std::chrono::milliseconds(1);
    const KernelHandle file = OpenForLooking(std::wstring(lockFilePath), GENERIC_READ);
    if (!file.IsValid() || IsFree(file.Get())) {
        return {};
    }
    for (int read = 0; read < kNoteReads; ++read) {
        HolderInfo note = ReadNote(file.Get());
        const DWORD state = note.processId != 0 ? ProcessState(note.processId) : WAIT_FAILED;
        if (state != WAIT_FAILED) {
            note.leaving = note.leaving || state == WAIT_OBJECT_0;
            return note;
        }
        std::this_thread::sleep_for(kNotePause);
        if (IsFree(file.Get())) {
            return {};
        }
    }
    return {true, false, 0};
}
