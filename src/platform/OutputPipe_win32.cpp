// A named pipe of our own, unique to this process, read with overlapped reads so that its
// reading end can be waited on; anonymous pipes cannot be.
#include "platform/OutputPipe.h"

#include <algorithm>
#include <atomic>
#include <string>

namespace {

constexpr DWORD kPipeBytes = 64 * 1024;
constexpr std::size_t kReadBytes = 64 * 1024;
// Bytes one Drain takes at most before it lets its caller look at its other waits.
constexpr std::size_t kDrainLimit = 4 * kPipeBytes;

std::wstring UniquePipeName() {
    static std::atomic<unsigned> made{0};
    return L"\\\\.\\pipe\\zyn-output-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(made++) + L"-" + std::to_wstring(::GetTickCount64());
}

}  // namespace

OutputPipe::OutputPipe(KernelHandle read, KernelHandle write, KernelHandle readDone,
                       std::size_t keptBytes)
    : m_read(std::move(read)),
      m_write(std::move(write)),
      m_readDone(std::move(readDone)),
      m_buffer(kReadBytes),
      m_tail(keptBytes),
      m_capacity(kPipeBytes) {
    m_pending.hEvent = m_readDone.Get();
}

OutputPipe::~OutputPipe() {
    if (m_reading) {
        // The system writes into the buffer until the read is over.
        DWORD count = 0;
        ::CancelIoEx(m_read.Get(), &m_pending);
        ::GetOverlappedResult(m_read.Get(), &m_pending, &count, TRUE);
    }
}

std::unique_ptr<OutputPipe> OutputPipe::Open(std::size_t keptBytes) {
    const std::wstring name = UniquePipeName();
    KernelHandle read(::CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
        kPipeBytes, 0, nullptr));
    if (!read.IsValid()) {
        return nullptr;
    }
    KernelHandle write(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    KernelHandle readDone(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!write.IsValid() || !readDone.IsValid()) {
        return nullptr;
    }
    // Our own end opened the pipe already; the server end still has to take the connection.
    OVERLAPPED connecting{};
    connecting.hEvent = readDone.Get();
    if (!::ConnectNamedPipe(read.Get(), &connecting) && ::GetLastError() != ERROR_PIPE_CONNECTED) {
        return nullptr;
    }
    std::unique_ptr<OutputPipe> pipe(new OutputPipe(
        std::move(read), std::move(write), std::move(readDone), std::min(keptBytes, kReadBytes)));
    pipe->StartRead();
    return pipe;
}

bool OutputPipe::Drain() {
    m_lastDrained = 0;
    while (!m_ended && m_lastDrained < kDrainLimit) {
        std::size_t count = 0;
        if (!FinishRead(count)) {
            break;
        }
        m_tail.Append({m_buffer.data(), count});
        m_lastDrained += count;
        StartRead();
    }
    return !m_ended;
}

bool OutputPipe::StartRead() {
    if (m_ended) {
        return false;
    }
    // The system clears the event as the read begins and sets it when the read is over.
    if (::ReadFile(m_read.Get(), m_buffer.data(), static_cast<DWORD>(m_buffer.size()), nullptr,
                   &m_pending) ||
        ::GetLastError() == ERROR_IO_PENDING) {
        m_reading = true;
        return true;
    }
    m_ended = true;  // every writer has gone (ERROR_BROKEN_PIPE), or the pipe cannot be read
    ::SetEvent(m_readDone.Get());
    return false;
}

bool OutputPipe::FinishRead(std::size_t& count) {
    if (!m_reading) {
        return false;
    }
    DWORD read = 0;
    if (::GetOverlappedResult(m_read.Get(), &m_pending, &read, FALSE)) {
        m_reading = false;
        count = read;
        return true;
    }
    if (::GetLastError() != ERROR_IO_INCOMPLETE) {
        m_reading = false;
        m_ended = true;
        ::SetEvent(m_readDone.Get());
    }
    return false;
}
