#include "platform/FolderWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <utility>

#include "platform/LastError.h"
#include "platform/WideText.h"

namespace {

constexpr std::uint32_t kWatchedChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                          IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                                          IN_ONLYDIR;
constexpr std::uint32_t kFolderGone = IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF;

constexpr std::size_t kReadBufferSize = 16 * 1024;
// Beyond this many names, reading the whole folder costs less than looking at each.
constexpr std::size_t kMostNames = 1000;

}  // namespace

std::unique_ptr<FolderWatch> FolderWatch::Open(std::wstring_view folder) {
    FileDescriptor notify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!notify.IsValid() ||
        ::inotify_add_watch(notify.Get(), WideToUtf8(folder).c_str(), kWatchedChanges) < 0) {
        SetLastError(Win32ErrorFromErrno(errno));
        return nullptr;
    }
    return std::unique_ptr<FolderWatch>(new FolderWatch(std::move(notify)));
}

bool FolderWatch::TakeChangedNames(std::vector<std::wstring>& names) {
    ReadChanges();
    std::set<std::string> taken;
    bool lost = false;
    {
        const std::lock_guard lock(m_namesLock);
        taken.swap(m_changedNames);
        lost = std::exchange(m_namesLost, false);
    }
    names.clear();
    for (const std::string& name : taken) {
        names.push_back(Utf8ToWideLossy(name));
    }
    return !lost;
}

bool FolderWatch::Note(std::uint32_t mask, std::string_view name) {
    if ((mask & IN_Q_OVERFLOW) != 0) {
        m_overflowed.store(true);
        LoseNames();
        return true;
    }
    if ((mask & kFolderGone) != 0) {
        m_folderGone.store(true);
        return true;
    }
    if ((mask & IN_ISDIR) != 0) {
        return false;
    }
    if (!name.empty()) {
        NoteName(name);
    }
    return true;
}

void FolderWatch::NoteName(std::string_view name) {
    const std::lock_guard lock(m_namesLock);
    if (m_namesLost) {
        return;
    }
    m_changedNames.emplace(name);
    if (m_changedNames.size() > kMostNames) {
        m_changedNames.clear();
        m_namesLost = true;
    }
}

void FolderWatch::LoseNames() {
    const std::lock_guard lock(m_namesLock);
    m_changedNames.clear();
    m_namesLost = true;
}

bool FolderWatch::ClaimSignal() {
    return ReadChanges();
}

bool FolderWatch::ReadChanges() {
    alignas(inotify_event) char buffer[kReadBufferSize];
    bool changed = false;
    for (;;) {
        const ssize_t length = ::read(m_notify.Get(), buffer, sizeof buffer);
        if (length <= 0) {
            return changed;  // drained (EAGAIN), or another waiter drained it first
        }
        for (std::size_t offset = 0; offset < static_cast<std::size_t>(length);) {
            inotify_event event;
            std::memcpy(&event, buffer + offset, sizeof event);
            // The name ends with at least one zero within its length.
            const char* name = event.len == 0 ? "" : buffer + offset + sizeof event;
            changed = Note(event.mask, name) || changed;
            offset += sizeof event + event.len;
        }
    }
}
