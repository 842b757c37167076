// The engine's watch on its work folder, kept open whenever the system allows it. A watch that
// cannot be opened (the system's limit on watches reached, say) or that was lost (the folder was
// moved away) is tried again by the owner at every cycle, and until one is open the owner reads
// the whole folder at every cycle (at least once a minute), so that changes are still seen, if
// later; an engine never waits silently without one. Going without a watch and getting one
// back are each logged once.
//
// No lock of its own: the engine uses it under its main lock. Current hands the watch out
// shared, so that a wait in progress keeps it while it is replaced. Nothing here throws.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/FolderWatch.h"

class WorkFolderWatch {
public:
    // Opens a watch on a folder; null, with the last-error value set, when it cannot.
    using Opener = std::function<std::unique_ptr<FolderWatch>(std::wstring_view folder)>;

    // Records are logged as `source`; `open` is FolderWatch::Open, unless a test fails it.
    WorkFolderWatch(const wchar_t* source, Opener open);

    // Watches `folder` from now on, or, when that fails, notes that it goes without a watch.
    void Watch(const std::wstring& folder);
    // Tries again to open the watch of the folder when there is none; true when one was opened
    // now, after which the owner reads the folder whole once, for what it missed meanwhile.
    bool Reopen();
    // Drops a watch that will report nothing more, its folder gone; Reopen tries again.
    void Lose();
    // Stops watching any folder.
    void Close();

    std::shared_ptr<FolderWatch> Current() const { return m_watch; }
    // Whether a folder is set but not watched: the owner reads it whole at every cycle.
    bool IsLacking() const { return !m_folder.empty() && !m_watch; }

private:
    void Open();

    const wchar_t* const m_source;
    const Opener m_open;
    std::wstring m_folder;
    std::shared_ptr<FolderWatch> m_watch;
    bool m_lackReported = false;
};
