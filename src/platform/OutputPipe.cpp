#include "platform/OutputPipe.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/LastError.h"

namespace {

// A larger pipe lets a fast writer go on while we are busy elsewhere; refused (a user's pipes
// may hold only so much), the default size does.
constexpr int kPipeBytes = 1 << 20;
constexpr std::size_t kReadBytes = 64 * 1024;
// Bytes one Drain takes at most before it lets its caller look at its other waits.
constexpr std::size_t kDrainLimit = 4 * kPipeBytes;

}  // namespace

OutputPipe::OutputPipe(FileDescriptor read, FileDescriptor write, std::size_t keptBytes)
    : m_read(std::move(read)),
      m_write(std::move(write)),
      m_sink(::open("/dev/null", O_WRONLY | O_CLOEXEC)),
      m_tail(keptBytes),
      m_capacity(static_cast<std::size_t>(std::max(::fcntl(m_write.Get(), F_GETPIPE_SZ), 0))) {}

std::unique_ptr<OutputPipe> OutputPipe::Open(std::size_t keptBytes) {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        SetLastError(Win32ErrorFromErrno(errno));
        return nullptr;
    }
    FileDescriptor read(ends[0]);
    FileDescriptor write(ends[1]);
    ::fcntl(read.Get(), F_SETFL, O_NONBLOCK);  // only our end: the program's writes may block
    ::fcntl(write.Get(), F_SETPIPE_SZ, kPipeBytes);
    return std::unique_ptr<OutputPipe>(
        new OutputPipe(std::move(read), std::move(write), std::min(keptBytes, kReadBytes)));
}

bool OutputPipe::Drain() {
    char buffer[kReadBytes];
    std::size_t& taken = m_lastDrained;
    taken = 0;
    while (taken < kDrainLimit) {
        if (const std::size_t dropped = DiscardExcess(); dropped > 0) {
            taken += dropped;
            continue;
        }
        const ssize_t count = ::read(m_read.Get(), buffer, sizeof buffer);
        if (count > 0) {
            m_tail.Append({buffer, static_cast<std::size_t>(count)});
            taken += static_cast<std::size_t>(count);
        } else if (count == 0) {
            return false;
        } else if (errno == EAGAIN) {
            return true;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// Spliced into /dev/null, the excess never leaves the kernel. What stays is the tail's bound,
// which the next read takes whole (the bound is at most one read).
std::size_t OutputPipe::DiscardExcess() {
    int waiting = 0;
    if (!m_sink.IsValid() || ::ioctl(m_read.Get(), FIONREAD, &waiting) != 0 ||
        static_cast<std::size_t>(waiting) <= m_tail.Bound()) {
        return 0;
    }
    const ssize_t dropped =
        ::splice(m_read.Get(), nullptr, m_sink.Get(), nullptr,
                 static_cast<std::size_t>(waiting) - m_tail.Bound(), SPLICE_F_NONBLOCK);
    if (dropped <= 0) {
        return 0;
    }
    m_tail.Skip(static_cast<std::uint64_t>(dropped));
    return static_cast<std::size_t>(dropped);
}
