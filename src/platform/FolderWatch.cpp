#include "platform/FolderWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/LastError.h"
#include "platform/WideText.h"

namespace {

constexpr std::uint32_t kWatchedChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                          IN_MODIFY | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t kFolderGone = IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF;

constexpr std::size_t kReadBufferSize = 16 * 1024;

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

bool FolderWatch::Rearm() {
    if (m_folderGone.load()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    return true;
}

bool FolderWatch::TakeOverflow() {
    return m_overflowed.exchange(false);
}

bool FolderWatch::Note(std::uint32_t mask) {
    if ((mask & IN_Q_OVERFLOW) != 0) {
        m_overflowed.store(true);
        return true;
    }
    if ((mask & kFolderGone) != 0) {
        m_folderGone.store(true);
        return true;
    }
    return (mask & IN_ISDIR) == 0;
}

bool FolderWatch::ClaimSignal() {
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
            changed = Note(event.mask) || changed;
            offset += sizeof event + event.len;
        }
    }
}
