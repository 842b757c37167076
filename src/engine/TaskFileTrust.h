// Which task documents the engine lets into its task lists. A task document names a command
// line that the engine runs as its own user, so only a file nobody else can have written is
// taken: a regular file (no link, pipe or device) owned by the process's user or by root, and
// writable by neither group nor others. A refused file is neither loaded nor set aside as
// invalid; it stays where it is until its owner fixes it, and the first scan afterwards takes it.
//
// Refusals are logged as warnings under "CZynTasksList", and told to the observer if there is one,
// once per file and reason: a rescan that finds the same file refused for the same reason stays
// quiet. A file that was admitted, or that
// left the folder, is forgotten, so a later refusal is logged again.
//
// The engine owns one, shared by all its task lists. Thread-safe (a lock of its own, taken last:
// callers may hold the engine's main lock). Nothing here fails: a file that cannot be examined is
// refused without a word, as one that is gone.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/FileSystem.h"
#include "support/AtlCriticalSection.h"
#include "support/ThreadAnnotations.h"

class TaskFileTrust {
public:
    enum class Refusal { None, Missing, NotRegularFile, ForeignOwner, WritableByOthers };
    // Told the name of a refused file and why, called by the scanning thread with no lock of
    // this object held.
    using Observer = std::function<void(std::wstring_view name, const std::wstring& why)>;

    // Set once, before the first scan.
    void SetObserver(Observer observer) { m_observer = std::move(observer); }

    // Why a file of status `status` (null: the file is gone) may not be loaded by a process of
    // effective user `userId` (None when it may).
    static Refusal Judge(const FileStatus* status, std::uint32_t userId);
    static bool IsTrusted(const std::wstring& path);

    // Whether a scan may load the file `name` of `folder`, judged `refusal` (its owner
    // `ownerId`); a refusal not logged before is logged.
    bool Admit(std::wstring_view folder, std::wstring_view name, Refusal refusal,
               std::uint32_t ownerId);
    // Called at the end of a scan of the whole folder with every path it refused: the others
    // are forgotten.
    void KeepOnly(const std::vector<std::wstring>& refused);
    // Forgets the file at `path`, which is gone.
    void Forget(const std::wstring& path);

private:
    // Notes the refusal; true when it was not the one last noted for that file.
    bool IsNews(const std::wstring& path, Refusal refusal);

    CAtlCriticalSection m_lock;
    std::unordered_map<std::wstring, Refusal> m_logged GUARDED_BY(m_lock);
    Observer m_observer;
};
