// The pipe a started program writes its standard output and error to, and its reading end: the
// owner drains it while the program runs and keeps only the tail of what came (OutputTail).
// The program never waits on us for longer than one drain takes: whatever goes beyond the tail
// is thrown away inside the kernel without being copied out, so a program writing gigabytes
// costs little more than one writing to /dev/null, and memory stays bounded.
//
// Waitable (WaitableObject): signalled while output is waiting or once every writer has closed
// the pipe. After Drain has answered false (the end) it stays signalled; stop waiting on it.
// Ownership: the pipe owns both ends; the write end is closed once the program has it
// (CloseWriteEnd). Not thread-safe: one thread drains at a time.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/FileDescriptor.h"
#include "platform/OutputTail.h"
#include "platform/WaitableObject.h"

class OutputPipe final : public WaitableObject {
public:
    // A pipe that keeps the last `keptBytes` (64 KiB at most). Null, with the last-error value set,
    // when the system refuses a pipe.
    static std::unique_ptr<OutputPipe> Open(std::size_t keptBytes);

    // The descriptor to hand a program as its standard output and error; -1 once closed.
    int WriteDescriptor() const { return m_write.Get(); }
    // Closes our copy of the write end, so that the end of the output is seen when the
    // program (and whatever it started) has closed its own.
    void CloseWriteEnd() { m_write.Reset(); }

    // Takes what the pipe holds now, without waiting; at most a few pipe-fulls, so that a
    // program that writes without pause cannot keep the caller here. False once the output has
    // ended (every writer closed the pipe) or can no longer be read.
    bool Drain();
    // Whether the last Drain found less than half a pipe-full: the output comes slowly enough
    // that the drainer may let it gather for a moment, rather than wake for every write.
    bool ComesSlowly() const { return m_lastDrained < m_capacity / 2; }
    const OutputTail& Tail() const { return m_tail; }

    int SignalDescriptor() const override { return m_read.Get(); }
    bool ClaimSignal() override { return true; }

private:
    OutputPipe(FileDescriptor read, FileDescriptor write, std::size_t keptBytes);

    // Discards all but the tail's bound of the bytes waiting in the pipe; how many it dropped.
    std::size_t DiscardExcess();

    FileDescriptor m_read;
    FileDescriptor m_write;
    FileDescriptor m_sink;  // /dev/null, where the excess goes; -1 when it cannot be opened
    OutputTail m_tail;
    std::size_t m_capacity;  // bytes the pipe holds
    std::size_t m_lastDrained = 0;
};
