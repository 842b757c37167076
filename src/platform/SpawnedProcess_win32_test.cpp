// The Windows side of SpawnedProcess: exit codes, failed starts, the working folder, and a
// termination that reaches what the program started.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "platform/KernelHandle.h"
#include "platform/SpawnedProcess.h"
#include "platform/Wait.h"
#include "platform/WideText.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace {

// Only guards against a hang; no test depends on how long anything takes.
constexpr DWORD kHangGuardMs = 60000;
constexpr DWORD kTerminated = 20;

std::wstring TestProgram() {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    return L"\"" + std::wstring(path, length) + L"\"";
}

ZYN_CHILD_ROLE(SleepForever) {
    ::Sleep(INFINITE);
    return 0;
}

// Starts this program again as SleepForever, writes its process id to the file args[0], and
// sleeps.
ZYN_CHILD_ROLE(StartGrandchildAndSleep) {
    ChildProcess grandchild("SleepForever");
    std::ofstream(args.at(0)) << grandchild.Pid();
    ::Sleep(INFINITE);
    return 0;
}

std::unique_ptr<SpawnedProcess> StartOrFail(const std::wstring& commandLine,
                                            const std::wstring& workingDirectory = L"") {
    auto process = SpawnedProcess::Start(commandLine, workingDirectory);
    EXPECT_NE(process, nullptr) << "error " << ::GetLastError();
    return process;
}

DWORD ExitCodeOf(SpawnedProcess& process) {
    DWORD exitCode = 0;
    EXPECT_TRUE(process.ExitCode(exitCode)) << "error " << ::GetLastError();
    return exitCode;
}

DWORD WaitForExitCode(SpawnedProcess& process) {
    EXPECT_EQ(WaitOne(process, kHangGuardMs), WAIT_OBJECT_0);
    return ExitCodeOf(process);
}

TEST(SpawnedProcessTest, ReportsTheProgramsExitCode) {
    for (const DWORD code : {0u, 3u, 255u}) {
        auto process = StartOrFail(L"cmd.exe /c exit " + std::to_wstring(code));
        ASSERT_NE(process, nullptr);
        EXPECT_EQ(WaitForExitCode(*process), code);
        EXPECT_EQ(process->EndingSignal(), 0);
    }
}

TEST(SpawnedProcessTest, RunningProgramReadsStillActiveUntilTerminated) {
    auto process = StartOrFail(TestProgram() + L" --zyn-child=SleepForever");
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(ExitCodeOf(*process), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(WaitOne(*process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(process->Terminate(kTerminated));
    EXPECT_EQ(ExitCodeOf(*process), kTerminated);
    ASSERT_TRUE(process->Terminate(kTerminated + 1));  // already ended: nothing changes
    EXPECT_EQ(ExitCodeOf(*process), kTerminated);
}

TEST(SpawnedProcessTest, TerminatingAnEndedProgramKeepsItsExitCode) {
    auto process = StartOrFail(L"cmd.exe /c exit 3");
    ASSERT_NE(process, nullptr);
    ASSERT_EQ(WaitOne(*process, kHangGuardMs), WAIT_OBJECT_0);
    ASSERT_TRUE(process->Terminate(kTerminated));
    EXPECT_EQ(ExitCodeOf(*process), 3u);
}

TEST(SpawnedProcessTest, TerminateEndsWhatTheProgramStarted) {
    TempFolder folder;
    const std::wstring report = folder / L"grandchild";
    auto process =
        StartOrFail(TestProgram() + L" --zyn-child=StartGrandchildAndSleep \"" + report + L"\"");
    ASSERT_NE(process, nullptr);
    DWORD grandchildId = 0;
    for (int tries = 0; tries < 6000 && grandchildId == 0; ++tries) {
        std::ifstream(WideToUtf8(report)) >> grandchildId;
        if (grandchildId == 0) {
            ::Sleep(10);
        }
    }
    ASSERT_NE(grandchildId, 0u) << "the program never started its own";
    const KernelHandle grandchild(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, grandchildId));
    ASSERT_TRUE(grandchild.IsValid()) << "error " << ::GetLastError();
    ASSERT_TRUE(process->Terminate(kTerminated));
    EXPECT_EQ(ExitCodeOf(*process), kTerminated);
    ASSERT_EQ(::WaitForSingleObject(grandchild.Get(), kHangGuardMs), WAIT_OBJECT_0);
    DWORD grandchildCode = 0;
    EXPECT_TRUE(::GetExitCodeProcess(grandchild.Get(), &grandchildCode));
    EXPECT_EQ(grandchildCode, kTerminated);
}

TEST(SpawnedProcessTest, FailedStartsReportTheError) {
    TempFolder folder;
    const struct {
        const char* what;
        std::wstring commandLine;
        std::wstring workingDirectory;
        DWORD error;
    } rows[] = {
        {"no words", L"  ", L"", ERROR_INVALID_PARAMETER},
        {"a missing program", L"zyn-no-such-program.exe", L"", ERROR_FILE_NOT_FOUND},
        {"a missing folder", L"cmd.exe /c exit 0", folder / L"missing", ERROR_DIRECTORY},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ::SetLastError(0);
        EXPECT_EQ(SpawnedProcess::Start(row.commandLine, row.workingDirectory), nullptr);
        EXPECT_EQ(::GetLastError(), row.error);
    }
}

TEST(SpawnedProcessTest, ProgramRunsInTheWorkingDirectory) {
    TempFolder folder;
    auto process = StartOrFail(L"cmd.exe /c echo made > made.txt", folder.Path());
    ASSERT_NE(process, nullptr);
    ASSERT_EQ(WaitForExitCode(*process), 0u);
    std::string line;
    std::getline(std::ifstream(WideToUtf8(folder / L"made.txt")), line);
    EXPECT_EQ(line.substr(0, 4), "made");
}

}  // namespace
