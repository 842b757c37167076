#include "platform/OutputPipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/ProcessInfo.h"
#include "platform/SpawnedProcess.h"
#include "platform/Wait.h"
#include "platform/WideText.h"
#ifdef _WIN32
#include "support/ChildRole.h"
#endif

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

#ifdef _WIN32
// Writes the numbers from 1 to args[0] to standard output, one a line, as bytes: the system has
// no program that writes megabytes of known text.
ZYN_CHILD_ROLE(WriteNumbers) {
    const std::string text = Numbers(std::stoi(args.at(0)));
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    for (std::size_t done = 0; done < text.size();) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 4096));
        if (!::WriteFile(output, text.data() + done, chunk, &written, nullptr)) {
            return 1;
        }
        done += written;
    }
    return 0;
}

std::wstring NumbersProgram(int count) {
    return L"\"" + CurrentProcessImagePath() + L"\" --zyn-child=WriteNumbers " +
           std::to_wstring(count);
}
#else
std::wstring NumbersProgram(int count) {
    return L"seq 1 " + std::to_wstring(count);
}
#endif

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
        std::wstring commandLine;
        std::string written;
    };
    const Row rows[] = {
#ifdef _WIN32
        {L"cmd.exe /c exit 0", ""},
        {L"cmd.exe /c echo out&echo err 1>&2&echo out",
         "out\r\nerr \r\nout\r\n"},  // cmd keeps the blank
#else
        {L"/bin/true", ""},
        {L"/bin/sh -c 'echo out; echo err >&2; echo out'", "out\nerr\nout\n"},
#endif
        {NumbersProgram(3000), Numbers(3000)},      // less than the bound
        {NumbersProgram(400000), Numbers(400000)},  // megabytes, mostly thrown away unread
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
