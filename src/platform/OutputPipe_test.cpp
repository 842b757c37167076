#include "platform/OutputPipe.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/SpawnedProcess.h"
#include "platform/Wait.h"
#include "platform/WideText.h"

namespace {

constexpr DWORD kHangGuardMs = 60000;
constexpr std::size_t kBound = 16 * 1024;

std::string Numbers(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += std::to_string(i) + "\n";
    }
    return text;
}

// What the program wrote, as a pipe keeping the last kBound bytes took it.
OutputTail Captured(const std::wstring& commandLine) {
    auto pipe = OutputPipe::Open(kBound);
    EXPECT_NE(pipe, nullptr);
    auto process = SpawnedProcess::Start(commandLine, L"", pipe.get());
    EXPECT_NE(process, nullptr);
    pipe->CloseWriteEnd();
    while (WaitOne(*pipe, kHangGuardMs) == WAIT_OBJECT_0 && pipe->Drain()) {
    }
    EXPECT_EQ(WaitOne(*process, kHangGuardMs), WAIT_OBJECT_0);
    return pipe->Tail();
}

TEST(OutputPipeTest, KeepsTheLastBytesOfBothStreamsInOrder) {
    struct Row {
        const wchar_t* commandLine;
        std::string written;
    };
    const Row rows[] = {
        {L"/bin/true", ""},
        {L"/bin/sh -c 'echo out; echo err >&2; echo out'", "out\nerr\nout\n"},
        {L"seq 1 3000", Numbers(3000)},      // less than the bound
        {L"seq 1 400000", Numbers(400000)},  // megabytes, mostly thrown away unread
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.commandLine));
        const OutputTail tail = Captured(row.commandLine);
        const std::size_t kept = std::min(row.written.size(), kBound);
        EXPECT_EQ(tail.TotalBytes(), row.written.size());
        EXPECT_EQ(tail.Bytes(), row.written.substr(row.written.size() - kept));
    }
}

}  // namespace
