// A watch on the entries of one folder, not of its subfolders: a file created, deleted or
// renamed in it, a file's content written or its size changed, its permissions, owner or times
// changed. Subfolders appearing or going do not count. The watch is signalled while changes are
// pending; the wait it satisfies takes them all, and changes made after that signal the next
// wait, so none is missed while the owner handles the last ones. The watch also keeps the names
// of the entries that changed, for an owner that looks only at those.
//
// One thread at a time waits on the watch and calls Rearm, TakeOverflow and TakeChangedNames
// (the owner's); it is made and destroyed by its owner. On Windows the watch is a directory
// change read that is always pending: the system keeps what changes while none is.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/LastError.h"
#include "platform/WaitableObject.h"
#ifdef _WIN32
#include "platform/KernelHandle.h"
#else
#include "platform/FileDescriptor.h"
#endif

class FolderWatch final : public WaitableObject {
public:
    // Null, with the last-error value set, when `folder` is not a folder that can be watched.
    static std::unique_ptr<FolderWatch> Open(std::wstring_view folder);

    // Called after the owner handled a change, before it waits again. False, with
    // ERROR_PATH_NOT_FOUND, once the folder itself was deleted or moved away: no change will
    // ever come again.
    bool Rearm() {
        if (m_folderGone.load()) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return false;
        }
        return true;
    }
    // Whether the system dropped changes since the last call because too many came at once;
    // the owner then reads the whole folder again instead of trusting what it knew.
    bool TakeOverflow() { return m_overflowed.exchange(false); }
    // The names of the entries that changed since the last call, each once, the changes still
    // pending included (they no longer signal). False when names were lost, because the system
    // dropped changes or too many came at once to be worth naming: the owner then reads the
    // whole folder.
    bool TakeChangedNames(std::vector<std::wstring>& names);

#ifdef _WIN32
    ~FolderWatch() override;
    void* SignalHandle() const override {
        return m_readDone.Get();
    }
#else
    int SignalDescriptor() const override {
        return m_notify.Get();
    }
#endif
    bool ClaimSignal() override;

private:
#ifdef _WIN32
    FolderWatch(std::wstring path, KernelHandle folder, KernelHandle readDone);

    // Asks for the next changes; false when the folder can no longer be watched.
    bool StartRead();
    // Notes the changes of the finished reads and starts the next; true when one is for the
    // owner.
    bool ReadChanges();
    // Notes the records of one read of `length` bytes; true when one is for the owner.
    bool NoteRecords(DWORD length);
    // Notes one record; true when it is a change the owner must see.
    bool Note(DWORD action, const std::wstring& name);
    void NoteName(std::wstring_view name);
    void LoseNames();

    const std::wstring m_path;
    KernelHandle m_folder;
    KernelHandle m_readDone;  // set when the pending read has finished
    OVERLAPPED m_pending{};
    std::vector<DWORD> m_buffer;  // the system's records are DWORD-aligned
    bool m_reading = false;
    std::set<std::wstring> m_changedNames;  // the owner's thread only, as is the next
    bool m_namesLost = false;
#else
    explicit FolderWatch(FileDescriptor notify) : m_notify(std::move(notify)) {}

    // Notes what the system reported about the entry `name` (empty: the folder itself); true
    // when it is a change the owner must see.
    bool Note(std::uint32_t mask, std::string_view name);
    void NoteName(std::string_view name);
    void LoseNames();
    // Reads every pending change; true when one of them is for the owner.
    bool ReadChanges();

    FileDescriptor m_notify;
    std::mutex m_namesLock;
    std::set<std::string> m_changedNames;  // guarded by m_namesLock, as is the next
    bool m_namesLost = false;
#endif
    std::atomic<bool> m_overflowed{false};
    std::atomic<bool> m_folderGone{false};
};
