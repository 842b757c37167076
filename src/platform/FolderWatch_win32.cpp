// ReadDirectoryChangesW with an overlapped read that is always pending: its event is the
// watch's signal. Between two reads the system keeps the changes in a buffer of its own, so
// none is missed while the owner handles the last ones; when that buffer overflows, a read
// finishes with no records and the owner reads the whole folder.
#include "platform/FolderWatch.h"

#include <cstring>

#include "platform/Path.h"

namespace {

// Entries of the folder itself; subfolders appearing or going (DIR_NAME) are left out.
constexpr DWORD kWatchedChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE |
                                  FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_ATTRIBUTES |
                                  FILE_NOTIFY_CHANGE_SECURITY | FILE_NOTIFY_CHANGE_CREATION;
constexpr std::size_t kReadBufferBytes = 64 * 1024;
constexpr std::size_t kMostNames = 1000;

}  // namespace

FolderWatch::FolderWatch(std::wstring path, KernelHandle folder, KernelHandle readDone)
    : m_path(std::move(path)),
      m_folder(std::move(folder)),
      m_readDone(std::move(readDone)),
      m_buffer(kReadBufferBytes / sizeof(DWORD)) {
    m_pending.hEvent = m_readDone.Get();
}

FolderWatch::~FolderWatch() {
    if (m_reading) {
        // The system writes into the buffer until the read is over.
        DWORD count = 0;
        ::CancelIoEx(m_folder.Get(), &m_pending);
        ::GetOverlappedResult(m_folder.Get(), &m_pending, &count, TRUE);
    }
}

std::unique_ptr<FolderWatch> FolderWatch::Open(std::wstring_view folder) {
    KernelHandle handle(::CreateFileW(std::wstring(folder).c_str(), FILE_LIST_DIRECTORY,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    if (!handle.IsValid()) {
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(handle.Get(), &information)) {
        return nullptr;
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        ::SetLastError(ERROR_PATH_NOT_FOUND);  // as for a path through a file
        return nullptr;
    }
    KernelHandle readDone(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!readDone.IsValid()) {
        return nullptr;
    }
    std::unique_ptr<FolderWatch> watch(
        new FolderWatch(std::wstring(folder), std::move(handle), std::move(readDone)));
    if (!watch->StartRead()) {
        return nullptr;
    }
    return watch;
}

bool FolderWatch::StartRead() {
    m_reading = ::ReadDirectoryChangesW(m_folder.Get(), m_buffer.data(),
                                        static_cast<DWORD>(m_buffer.size() * sizeof(DWORD)), FALSE,
                                        kWatchedChanges, nullptr, &m_pending, nullptr) != FALSE;
    if (!m_reading) {
        const DWORD error = ::GetLastError();
        m_folderGone.store(true);
        ::SetEvent(m_readDone.Get());  // the owner learns it at its next Rearm
        ::SetLastError(error);
    }
    return m_reading;
}

bool FolderWatch::TakeChangedNames(std::vector<std::wstring>& names) {
    ReadChanges();
    names.assign(m_changedNames.begin(), m_changedNames.end());
    m_changedNames.clear();
    return !std::exchange(m_namesLost, false);
}

bool FolderWatch::ClaimSignal() {
    return ReadChanges();
}

// Takes every read that has finished, as long as the next one finishes at once: the system
// may hand over what it kept one read at a time.
bool FolderWatch::ReadChanges() {
    bool changed = false;
    DWORD length = 0;
    while (m_reading && ::GetOverlappedResult(m_folder.Get(), &m_pending, &length, FALSE)) {
        m_reading = false;
        changed = NoteRecords(length) || changed;
        StartRead();
    }
    if (m_reading && ::GetLastError() != ERROR_IO_INCOMPLETE) {
        m_reading = false;  // the folder went (deleted, or moved where it cannot be read)
        m_folderGone.store(true);
    }
    return changed || m_folderGone.load();
}

bool FolderWatch::NoteRecords(DWORD length) {
    if (length == 0) {
        m_overflowed.store(true);  // the system's buffer overflowed: names are lost
        LoseNames();
        return true;
    }
    bool changed = false;
    const auto* bytes = reinterpret_cast<const char*>(m_buffer.data());
    for (std::size_t offset = 0; offset < length;) {
        FILE_NOTIFY_INFORMATION record;
        std::memcpy(&record, bytes + offset, offsetof(FILE_NOTIFY_INFORMATION, FileName));
        std::wstring name(record.FileNameLength / sizeof(wchar_t), L'\0');
        std::memcpy(name.data(), bytes + offset + offsetof(FILE_NOTIFY_INFORMATION, FileName),
                    record.FileNameLength);
        changed = Note(record.Action, name) || changed;
        if (record.NextEntryOffset == 0) {
            break;
        }
        offset += record.NextEntryOffset;
    }
    return changed;
}

// A subfolder is reported as modified when an entry inside it changes, and some systems report
// subfolders made or renamed as well; none of that is a change here. A removed entry cannot be
// told apart any more.
bool FolderWatch::Note(DWORD action, const std::wstring& name) {
    if (action != FILE_ACTION_REMOVED && action != FILE_ACTION_RENAMED_OLD_NAME) {
        const DWORD attributes = ::GetFileAttributesW(JoinPath(m_path, name).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return false;
        }
    }
    NoteName(name);
    return true;
}

void FolderWatch::NoteName(std::wstring_view name) {
    if (m_namesLost) {
        return;
    }
    m_changedNames.emplace(name);
    if (m_changedNames.size() > kMostNames) {
        LoseNames();
    }
}

void FolderWatch::LoseNames() {
    m_changedNames.clear();
    m_namesLost = true;
}
