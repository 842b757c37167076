// The pipe a started program writes its standard output and error to, and its reading end: the
// owner drains it while the program runs and keeps only the tail of what came (OutputTail).
// The program never waits on us for longer than one drain takes: whatever goes beyond the tail
// is thrown away inside the kernel without being copied out, so a program writing gigabytes
// costs little more than one writing to /dev/null, and memory stays bounded.
//
// On Windows the pipe is a named pipe read with overlapped reads: what goes beyond the tail is
// read and dropped there.
//
// Waitable (WaitableObject): signalled while output is waiting or once every writer has closed
// the pipe. After Drain has answered false (the end) it stays signalled; stop waiting on it.
// Ownership: the pipe owns both ends; the write end is closed once the program has it
// (CloseWriteEnd). Not thread-safe: one thread drains at a time.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/OutputTail.h"
#include "platform/WaitableObject.h"
#ifdef _WIN32
#include <vector>

#include "platform/KernelHandle.h"
#else
#include "platform/FileDescriptor.h"
#endif

class OutputPipe final : public WaitableObject {
public:
    // A pipe that keeps the last `keptBytes` (64 KiB at most). Null, with the last-error value set,
    // when the system refuses a pipe.
    static std::unique_ptr<OutputPipe> Open(std::size_t keptBytes);

#ifdef _WIN32
    ~OutputPipe() override;
    // The handle to hand a program as its standard output and error; null once closed.
    void* WriteHandle() const {
        return m_write.Get();
    }
#else
    // The descriptor to hand a program as its standard output and error; -1 once closed.
    int WriteDescriptor() const {
        return m_write.Get();
    }
#endif
    // Closes our copy of the write end, so that the end of the output is seen when the
    // program (and whatever it started) has closed its own.
    void CloseWriteEnd() {
        m_write.Reset();
    }

    // Takes what the pipe holds now, without waiting; at most a few pipe-fulls, so that a
    // program that writes without pause cannot keep the caller here. False once the output has
    // ended (every writer closed the pipe) or can no longer be read.
    bool Drain();
    // Whether the last Drain found less than half a pipe-full: the output comes slowly enough
    // that the drainer may let it gather for a moment, rather than wake for every write.
    bool ComesSlowly() const {
        return m_lastDrained < m_capacity / 2;
    }
    const OutputTail& Tail() const {
        return m_tail;
    }

#ifdef _WIN32
    void* SignalHandle() const override {
        return m_readDone.Get();
    }
#else
    int SignalDescriptor() const override {
        return m_read.Get();
    }
#endif
    bool ClaimSignal() override {
        return true;
    }

private:
#ifdef _WIN32
    OutputPipe(KernelHandle read, KernelHandle write, KernelHandle readDone, std::size_t keptBytes);

    // Starts the next read; false once the output has ended.
    bool StartRead();
    // Takes a finished read; false while it is still pending or once the output has ended.
    bool FinishRead(std::size_t& count);

    KernelHandle m_read;
    KernelHandle m_write;
    KernelHandle m_readDone;  // the pending read's event; set for good once the output ended
    OVERLAPPED m_pending{};
    std::vector<char> m_buffer;
    bool m_reading = false;
    bool m_ended = false;
#else
    OutputPipe(FileDescriptor read, FileDescriptor write, std::size_t keptBytes);

    // Discards all but the tail's bound of the bytes waiting in the pipe; how many it dropped.
    std::size_t DiscardExcess();

    FileDescriptor m_read;
    FileDescriptor m_write;
    FileDescriptor m_sink;  // /dev/null, where the excess goes; -1 when it cannot be opened
#endif
    OutputTail m_tail;
    std::size_t m_capacity;  // bytes the pipe holds
    std::size_t m_lastDrained = 0;
};
